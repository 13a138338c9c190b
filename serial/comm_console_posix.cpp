// Consoles and the controlling terminal on Linux: the consoles the kernel lists, compared by
// device number, and the terminal whose session is ours. Also what is no serial line at all:
// anything but a character device of a terminal driver the kernel lists.
#include "serial/comm_console.h"
#include "serial/comm_port.h"
#include "serial/port_list.h"

#include <cstdio>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace veltra::serial {
namespace {

std::mutex g_listMutex;
std::string g_cConsoles = "/proc/consoles";

// The device numbers of the listed consoles: from the major:minor column when the kernel
// gives one, otherwise from /dev/NAME. /dev/console itself always counts.
std::vector<dev_t> ConsoleDevices() {
  std::string cPath;
  {
    std::lock_guard oLock(g_listMutex);
    cPath = g_cConsoles;
  }
  std::vector<dev_t> aDevices{::makedev(5, 1)};
  std::ifstream oList(cPath);
  std::string cLine;
  while (std::getline(oList, cLine)) {
    std::istringstream oWords(cLine);
    std::string cName, cWord, cLast;
    oWords >> cName;
    while (oWords >> cWord) {
      cLast = cWord;
    }
    unsigned nMajor = 0, nMinor = 0;
    char cEnd = 0;
    if (std::sscanf(cLast.c_str(), "%u:%u%c", &nMajor, &nMinor, &cEnd) == 2) {
      aDevices.push_back(::makedev(nMajor, nMinor));
      continue;
    }
    struct stat oStat {};
    if (!cName.empty() && ::stat(("/dev/" + cName).c_str(), &oStat) == 0 &&
        S_ISCHR(oStat.st_mode)) {
      aDevices.push_back(oStat.st_rdev);
    }
  }
  return aDevices;
}

// Whether the device number belongs to a terminal driver: /proc/tty/drivers lists each with its
// major number and its range of minor numbers ("usbserial /dev/ttyUSB 188 0-511 serial";
// pseudo-terminals are listed too). No value when the list cannot be read.
std::optional<bool> IsTerminalDevice(dev_t nDevice) {
  std::ifstream oList(PORTROOTS().cProc + "/tty/drivers");
  if (!oList) {
    return std::nullopt;
  }
  std::string cLine;
  while (std::getline(oList, cLine)) {
    std::istringstream oWords(cLine);
    std::string cDriver, cName, cMinors;
    unsigned nMajor = 0;
    if (!(oWords >> cDriver >> cName >> nMajor >> cMinors) || nMajor != major(nDevice)) {
      continue;
    }
    unsigned nFirst = 0, nLast = 0;
    char cEnd = 0;
    const int nFields = std::sscanf(cMinors.c_str(), "%u-%u%c", &nFirst, &nLast, &cEnd);
    if (nFields == 1) {
      nLast = nFirst;
    }
    if ((nFields == 1 || nFields == 2) && minor(nDevice) >= nFirst && minor(nDevice) <= nLast) {
      return true;
    }
  }
  return false;
}

int Refusal(const struct stat& oStat) {
  if (!S_ISCHR(oStat.st_mode)) {
    return 0;
  }
  if (oStat.st_rdev == ::makedev(5, 0)) {
    return ECOMMOWNTERMINAL; // /dev/tty: the controlling terminal, whatever it is
  }
  for (const dev_t nConsole : ConsoleDevices()) {
    if (oStat.st_rdev == nConsole) {
      return ECOMMCONSOLE;
    }
  }
  return 0;
}

} // namespace

int PathRefusal(const std::string& cPath) {
  struct stat oStat {};
  if (::stat(cPath.c_str(), &oStat) != 0) {
    return 0; // missing or out of reach: the open says why
  }
  // Nothing but a terminal driver's device is ever opened: a plain file, a FIFO or another
  // device (a watchdog acts on its open) is refused before the open could do anything.
  if (!S_ISCHR(oStat.st_mode) || !IsTerminalDevice(oStat.st_rdev).value_or(true)) {
    return ENOTTY;
  }
  return Refusal(oStat);
}

int DeviceRefusal(int nFd) {
  struct stat oStat {};
  if (::fstat(nFd, &oStat) == 0) {
    if (const int nWhy = Refusal(oStat); nWhy != 0) {
      return nWhy;
    }
  }
  // The kernel gives a terminal's session only to a process of that session: success means
  // it is our controlling terminal.
  pid_t nSession = 0;
  if (::ioctl(nFd, TIOCGSID, &nSession) == 0 && nSession == ::getsid(0)) {
    return ECOMMOWNTERMINAL;
  }
  return 0;
}

std::string SetConsolesList(std::string cPath) {
  std::lock_guard oLock(g_listMutex);
  return std::exchange(g_cConsoles, std::move(cPath));
}

} // namespace veltra::serial
