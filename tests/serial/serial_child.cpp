// A program the serial suite runs as a child process, to see what a whole process does with
// a port: `serial_child return|exit1 PTY` opens PTY, arms notification for a window, says
// "ready", waits (without handling events) until a byte has come and then returns from main
// or calls exit(1); `serial_child ctty PTY` makes PTY its controlling terminal in a session of
// its own and prints the errno of opening it by name and as /dev/tty.
#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "serial/event_loop.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

using namespace veltra::serial;

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  const std::string cMode = argv[1];
  const std::string cPty = argv[2];
  if (cMode == "ctty") {
    const int nFd = ::setsid() < 0 ? -1 : ::open(cPty.c_str(), O_RDWR);
    if (nFd < 0 || ::ioctl(nFd, TIOCSCTTY, 0) != 0) {
      std::printf("no controlling terminal: %s\n", std::strerror(errno));
      return 3;
    }
    for (const std::string& cName : {cPty, std::string("/dev/tty")}) {
      errno = 0;
      const int nComm = OPENCOMM(cName);
      std::printf("%s %d\n", nComm < 0 ? "refused" : "opened", errno);
    }
    return 0;
  }
  const int hWnd = REGISTERRECEIVER([](int, int) {});
  const int nComm = OPENCOMM(cPty);
  if (nComm < 0 || !ENABLECOMMNOTIFICATION(nComm, hWnd, 1, -1)) {
    return 2;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  // The worker stores the byte and then waits for its notification to be handled, which
  // this thread never does.
  const auto tEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (COMMRECEIVED(nComm) == 0 && std::chrono::steady_clock::now() < tEnd) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (cMode == "exit1") {
    std::exit(1);
  }
  return 0;
}
