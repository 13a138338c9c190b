// Listing serial ports from sysfs: /sys/class/tty names every terminal; those with a device
// behind them are serial ports, except the built-in ports the kernel keeps as placeholders
// (uart type 0). USB adapters are found by walking up from the port's device to the USB
// device that carries idVendor. Nothing here opens a port: opening raises DTR, which some
// devices take as a reset.
#include "serial/port_list.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>
#include <unistd.h>

namespace veltra::serial {
namespace {

namespace fs = std::filesystem;

std::string FirstLine(const fs::path& oFile) {
  std::ifstream in(oFile);
  std::string c;
  std::getline(in, c);
  while (!c.empty() && std::isspace(static_cast<unsigned char>(c.back())) != 0) {
    c.pop_back();
  }
  return c;
}

// Calls fn for each entry of the folder; a folder that cannot be read, or that goes away
// while it is read (a process ending under /proc), ends the walk quietly.
template <typename Fn> void ForEachEntry(const fs::path& oFolder, Fn fn) {
  std::error_code e;
  for (fs::directory_iterator it(oFolder, e), itEnd; !e && it != itEnd; it.increment(e)) {
    fn(*it);
  }
}

std::string EnvOr(const char* pName, const char* pDefault) {
  const char* p = std::getenv(pName);
  return p != nullptr && *p != '\0' ? p : pDefault;
}

// ttyS2 before ttyS10: names compare by their text, then by their trailing number.
bool NaturalLess(const std::string& a, const std::string& b) {
  const auto Split = [](const std::string& c) {
    std::size_t n = c.size();
    while (n > 0 && std::isdigit(static_cast<unsigned char>(c[n - 1])) != 0) {
      --n;
    }
    const std::string cDigits = c.substr(n);
    return std::pair(c.substr(0, n), cDigits.empty() ? -1L : std::atol(cDigits.c_str()));
  };
  return Split(a) < Split(b);
}

// The USB device above a port's device, if any: the first folder up the tree with idVendor.
void ReadUsb(const fs::path& oSysRoot, const fs::path& oDevice, PortInfo& oPort) {
  std::error_code e;
  const fs::path oRoot = fs::weakly_canonical(oSysRoot, e);
  for (fs::path p = fs::canonical(oDevice, e); !e && p.has_relative_path() && p != oRoot;
       p = p.parent_path()) {
    std::error_code eExists;
    if (fs::exists(p / "idVendor", eExists)) {
      oPort.cVendor = FirstLine(p / "manufacturer");
      oPort.cProduct = FirstLine(p / "product");
      oPort.cUsbId = FirstLine(p / "idVendor") + ":" + FirstLine(p / "idProduct");
      return;
    }
  }
}

// Device name -> its stable name under serial/by-id.
std::map<std::string, std::string> ByIdNames(const fs::path& oDev) {
  std::map<std::string, std::string> aNames;
  ForEachEntry(oDev / "serial" / "by-id", [&](const fs::directory_entry& o) {
    std::error_code e;
    const fs::path oTarget = fs::read_symlink(o.path(), e);
    if (!e) {
      aNames[oTarget.filename().string()] = o.path().string();
    }
  });
  return aNames;
}

// Device path -> "program (pid N)" for the processes whose open files this user may see.
std::map<std::string, std::string> Holders(const fs::path& oProc) {
  std::map<std::string, std::string> aHolders;
  const std::string cSelf = std::to_string(::getpid());
  ForEachEntry(oProc, [&](const fs::directory_entry& oPid) {
    const std::string cPid = oPid.path().filename().string();
    if (cPid.empty() || cPid == cSelf ||
        !std::all_of(cPid.begin(), cPid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      return;
    }
    ForEachEntry(oPid.path() / "fd", [&](const fs::directory_entry& oFd) {
      std::error_code e;
      const fs::path oTarget = fs::read_symlink(oFd.path(), e);
      if (!e && oTarget.is_absolute()) {
        aHolders.emplace(oTarget.string(), FirstLine(oPid.path() / "comm") + " (pid " + cPid + ")");
      }
    });
  });
  return aHolders;
}

std::vector<std::string> Consoles(const fs::path& oProc) {
  std::vector<std::string> aNames;
  std::ifstream in(oProc / "consoles");
  std::string cLine;
  while (std::getline(in, cLine)) {
    const std::size_t nEnd = cLine.find_first_of(" \t");
    aNames.push_back(cLine.substr(0, nEnd));
  }
  return aNames;
}

} // namespace

PortRoots PORTROOTS() {
  return {.cSys = EnvOr("VELTRA_SYSFS", "/sys"),
          .cDev = EnvOr("VELTRA_DEVFS", "/dev"),
          .cProc = EnvOr("VELTRA_PROCFS", "/proc")};
}

std::vector<PortInfo> LISTPORTS(const PortRoots& oRoots) {
  const fs::path oClass = fs::path(oRoots.cSys) / "class" / "tty";
  const auto aById = ByIdNames(oRoots.cDev);
  const auto aHolders = Holders(oRoots.cProc);
  const auto aConsoles = Consoles(oRoots.cProc);
  std::vector<PortInfo> aPorts;
  ForEachEntry(oClass, [&](const fs::directory_entry& o) {
    const fs::path oDevice = o.path() / "device";
    std::error_code eDevice;
    if (!fs::exists(oDevice, eDevice) || FirstLine(o.path() / "type") == "0") {
      return; // a virtual terminal, or a built-in port with no hardware behind it
    }
    PortInfo oPort;
    oPort.cName = o.path().filename().string();
    oPort.cPath = (fs::path(oRoots.cDev) / oPort.cName).string();
    if (const auto it = aById.find(oPort.cName); it != aById.end()) {
      oPort.cById = it->second;
    }
    ReadUsb(oRoots.cSys, oDevice, oPort);
    oPort.lConsole = std::find(aConsoles.begin(), aConsoles.end(), oPort.cName) != aConsoles.end();
    oPort.lAccessible = ::access(oPort.cPath.c_str(), R_OK | W_OK) == 0;
    if (const auto it = aHolders.find(oPort.cPath); it != aHolders.end()) {
      oPort.cHeldBy = it->second;
    }
    aPorts.push_back(std::move(oPort));
  });
  std::sort(aPorts.begin(), aPorts.end(),
            [](const PortInfo& a, const PortInfo& b) { return NaturalLess(a.cName, b.cName); });
  return aPorts;
}

std::string FORMATPORT(const PortInfo& o) {
  std::string cLine = PRINTABLE(o.cPath);
  if (!o.cById.empty()) {
    cLine += "  " + PRINTABLE(o.cById);
  }
  std::string cWhat = o.cVendor;
  if (!o.cProduct.empty()) {
    cWhat += (cWhat.empty() ? "" : " ") + o.cProduct;
  }
  if (!o.cUsbId.empty()) {
    cWhat = cWhat.empty() ? "USB " + o.cUsbId : cWhat + " (" + o.cUsbId + ")";
  }
  if (!cWhat.empty()) {
    cLine += "  " + PRINTABLE(cWhat);
  }
  if (o.lConsole) {
    cLine += "  [system console: not for transfers]";
  } else if (!o.lAccessible) {
    cLine += "  [no access: join the dialout group]";
  }
  if (!o.cHeldBy.empty()) {
    cLine += "  [busy: held by " + PRINTABLE(o.cHeldBy) + "]";
  }
  return cLine;
}

} // namespace veltra::serial
