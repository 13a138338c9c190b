// Win32 ports under Wine, over a null-modem cable between two pseudo-terminals: the port under
// test is COM5, and the test plays the device on COM6 with plain Win32 calls. COM1 and every
// other port point nowhere in the test prefix. The promises every platform keeps are the
// port contract (port_contract.h); here are the ways of Windows: names, errors, the line an
// earlier program left.
#include <windows.h>

#include "serial/comm_notify.h"
#include "serial/comm_port.h"
#include "serial/comm_port_win32.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <tuple>
#include <vector>

namespace veltra::serial::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr const char* kPort = "\\\\.\\COM5";
constexpr const char* kFarEnd = "\\\\.\\COM6";

// A port opened with plain Win32 calls, as another program would.
HANDLE OpenDirectly(const char* cName) {
  return ::CreateFileA(cName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OVERLAPPED, nullptr);
}

// The device's side of the cable.
class FarEnd {
public:
  FarEnd() : m_h(OpenDirectly(kFarEnd)) {}
  ~FarEnd() {
    if (Open()) {
      ::CloseHandle(m_h);
    }
  }
  FarEnd(const FarEnd&) = delete;
  FarEnd& operator=(const FarEnd&) = delete;

  bool Open() const { return m_h != INVALID_HANDLE_VALUE; }

  void Send(const std::string& cData) const {
    OVERLAPPED ov{};
    ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    DWORD nDone = 0;
    if (::WriteFile(m_h, cData.data(), static_cast<DWORD>(cData.size()), nullptr, &ov) ||
        ::GetLastError() == ERROR_IO_PENDING) {
      ::GetOverlappedResult(m_h, &ov, &nDone, TRUE);
    }
    ::CloseHandle(ov.hEvent);
  }

  // Exactly nCount bytes, or fewer after tLimit.
  std::string Receive(std::size_t nCount, std::chrono::milliseconds tLimit = 5s) const {
    std::string cOut;
    const auto tEnd = Clock::now() + tLimit;
    while (cOut.size() < nCount && Clock::now() < tEnd) {
      DWORD nErrors = 0;
      COMSTAT oStat{};
      ::ClearCommError(m_h, &nErrors, &oStat);
      if (oStat.cbInQue == 0) {
        ::Sleep(2);
        continue;
      }
      std::string cChunk(oStat.cbInQue, '\0');
      OVERLAPPED ov{};
      ov.hEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
      DWORD nRead = 0;
      if (::ReadFile(m_h, cChunk.data(), oStat.cbInQue, nullptr, &ov) ||
          ::GetLastError() == ERROR_IO_PENDING) {
        ::GetOverlappedResult(m_h, &ov, &nRead, TRUE);
      }
      ::CloseHandle(ov.hEvent);
      cOut.append(cChunk.data(), nRead);
    }
    return cOut;
  }

private:
  HANDLE m_h;
};

// COM5 opened by OPENCOMM and configured as the program does; closed at the end unless the
// test closed it.
struct OpenPort {
  int nComm = OPENCOMM(kPort, 16384, 16384);
  OpenPort() {
    std::string cDcb;
    BUILDCOMMDCB("115200,N,8,2", cDcb);
    lConfigured = SETCOMMSTATE(nComm, cDcb);
  }
  ~OpenPort() { CLOSECOMM(nComm); }
  OpenPort(const OpenPort&) = delete;
  OpenPort& operator=(const OpenPort&) = delete;
  bool lConfigured = false;
};

std::string RandomBytes(std::size_t nCount, unsigned nSeed) {
  std::mt19937 oGen(nSeed);
  std::string c(nCount, '\0');
  for (char& ch : c) {
    ch = static_cast<char>(oGen() & 0xFF);
  }
  return c;
}

} // namespace
} // namespace veltra::serial::test

// After the helpers it uses.
#include "tests/serial/port_contract.h"

namespace veltra::serial::test {
namespace {

// COM5 and COM6 joined by the cable of tests/wine/run. Wine's ports over pseudo-terminals
// report no output queue, so a short count may take in bytes the terminals still held.
class NullModemLine {
public:
  bool Ready() const { return m_oFar.Open(); }
  std::string Port() const { return kPort; }
  void Send(const std::string& c) const { m_oFar.Send(c); }
  std::string Receive(std::size_t n, std::chrono::milliseconds t) const {
    return m_oFar.Receive(n, t);
  }
  // Pulls the cable out, as a USB adapter is: the process that joins the two terminals ends,
  // so both close.
  void Pull() const {
    const char* cCable = std::getenv("VELTRA_CABLE_PID");
    ASSERT_NE(cCable, nullptr) << "run through tests/wine/run with VELTRA_NULLMODEM=1";
    std::string cPull = std::string("Z:\\bin\\kill ") + cCable;
    STARTUPINFOA oStart{};
    oStart.cb = sizeof oStart;
    PROCESS_INFORMATION oProcess{};
    ASSERT_TRUE(::CreateProcessA(nullptr, cPull.data(), nullptr, nullptr, FALSE, 0, nullptr,
                                 nullptr, &oStart, &oProcess));
    ::WaitForSingleObject(oProcess.hProcess, 5000);
    ::CloseHandle(oProcess.hThread);
    ::CloseHandle(oProcess.hProcess);
  }
  static constexpr std::size_t kStallBytes = 400000;
  static constexpr bool kCountIsExact = false;

  // A message-only window that reads the port inside each notification, as the program's
  // callback does.
  class Window {
  public:
    Window() {
      WNDCLASSA oClass{};
      oClass.lpfnWndProc = Proc;
      oClass.hInstance = ::GetModuleHandleA(nullptr);
      oClass.lpszClassName = "VeltraTestNotify";
      ::RegisterClassA(&oClass);
      m_hWnd = ::CreateWindowExA(0, oClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 oClass.hInstance, nullptr);
      ::SetWindowLongPtrA(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~Window() { ::DestroyWindow(m_hWnd); }
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    int hWnd() const { return static_cast<int>(reinterpret_cast<std::intptr_t>(m_hWnd)); }
    std::vector<Told> aTold;

  private:
    static LRESULT CALLBACK Proc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam) {
      auto* pSelf = reinterpret_cast<Window*>(::GetWindowLongPtrA(hWnd, GWLP_USERDATA));
      if (nMsg == WM_COMMNOTIFY && pSelf != nullptr) {
        std::string cBuffer(1000, ' ');
        cBuffer.resize(static_cast<std::size_t>(READCOMM(static_cast<int>(wParam), cBuffer)));
        pSelf->aTold.push_back({static_cast<int>(wParam), static_cast<int>(lParam), cBuffer});
        return 0;
      }
      return ::DefWindowProcA(hWnd, nMsg, wParam, lParam);
    }
    HWND m_hWnd = nullptr;
  };

private:
  FarEnd m_oFar;
};

} // namespace

INSTANTIATE_TYPED_TEST_SUITE_P(PortContract, PortContract, NullModemLine);

namespace {

TEST(Win32CommPort, AFailedOpenSaysWhyInErrno) {
  OpenPort oHeld;
  ASSERT_GE(oHeld.nComm, 0);
  EXPECT_TRUE(oHeld.lConfigured);
  const struct {
    const char* cName;
    int nErrno;
  } aCases[] = {
      {"\\\\.\\COM300", ENOENT}, // no such port
      {"", ENOENT},
      {"\\\\.\\COM<5>", ENOTTY},        // no port's name
      {"C:\\windows\\win.ini", ENOTTY}, // a plain file: image bytes never go there
      {kPort, EBUSY},                   // held already, by this process
      {"COM5", EBUSY},                  // the same port by its short name
  };
  for (const auto& o : aCases) {
    errno = 0;
    EXPECT_EQ(OPENCOMM(o.cName), -1) << o.cName;
    EXPECT_EQ(errno, o.nErrno) << o.cName << ": " << std::strerror(errno);
  }
  EXPECT_EQ(OPENCOMM("\\\\.\\COM1"), -1) << "COM1 points nowhere";
  errno = 0;
  EXPECT_EQ(OPENCOMM("\\\\.\\NUL"), -1) << "a device that is no port is never opened";
  EXPECT_EQ(errno, ENOTTY);
  EXPECT_TRUE(CLOSECOMM(oHeld.nComm));
  const int nAgain = OPENCOMM(kPort);
  EXPECT_GE(nAgain, 0) << "a closed port can be opened again";
  CLOSECOMM(nAgain);
}

// "\\.\\\.\COM5" is what the program opens for Porta=\\.\COM5: it puts the prefix before
// any name.
TEST(Win32CommPort, ThePortOpensByItsNameWithOrWithoutTheDevicePrefix) {
  FarEnd oFar;
  ASSERT_TRUE(oFar.Open());
  for (const std::string cName : {"COM5", "\\\\.\\COM5", "\\\\.\\\\\\.\\COM5"}) {
    EXPECT_EQ(COMMDEVICEPATH(cName), kPort) << cName;
    const int nComm = OPENCOMM(cName);
    ASSERT_GE(nComm, 0) << cName;
    EXPECT_EQ(WRITECOMM(nComm, cName), static_cast<long>(cName.size()));
    EXPECT_EQ(oFar.Receive(cName.size()), cName);
    CLOSECOMM(nComm);
  }
}

// The fields of a port's state that an earlier program is likely to have set otherwise.
auto LineFields(HANDLE hDevice) {
  DCB oDcb{};
  oDcb.DCBlength = sizeof oDcb;
  COMMTIMEOUTS o{};
  EXPECT_TRUE(::GetCommState(hDevice, &oDcb));
  EXPECT_TRUE(::GetCommTimeouts(hDevice, &o));
  return std::tuple<DWORD, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD>(
      oDcb.BaudRate, oDcb.StopBits, DWORD{oDcb.fOutX}, DWORD{oDcb.fInX}, o.ReadIntervalTimeout,
      o.ReadTotalTimeoutMultiplier, o.ReadTotalTimeoutConstant, o.WriteTotalTimeoutMultiplier,
      o.WriteTotalTimeoutConstant);
}

// An earlier program left COM5 at 9600 baud with one stop bit, XON/XOFF and time-outs of its
// own. The port's own handle is read through a duplicate, which stays open after CLOSECOMM.
TEST(Win32CommPort, ALineLeftByAnEarlierProgramIsOursWhileOpenAndPutBackAtClose) {
  HANDLE hEarlier = OpenDirectly(kPort);
  ASSERT_NE(hEarlier, INVALID_HANDLE_VALUE);
  DCB oDcb{};
  oDcb.DCBlength = sizeof oDcb;
  ASSERT_TRUE(::GetCommState(hEarlier, &oDcb));
  oDcb.BaudRate = 9600;
  oDcb.StopBits = ONESTOPBIT;
  oDcb.fOutX = TRUE;
  oDcb.fInX = TRUE;
  COMMTIMEOUTS oTimeouts{50, 10, 100, 20, 300};
  ASSERT_TRUE(::SetCommState(hEarlier, &oDcb));
  ASSERT_TRUE(::SetCommTimeouts(hEarlier, &oTimeouts));
  ::CloseHandle(hEarlier);
  // What the next open finds. Windows keeps the time-outs with the port; Wine gives each open
  // its own, so there they are Wine's first ones.
  HANDLE hLook = OpenDirectly(kPort);
  ASSERT_NE(hLook, INVALID_HANDLE_VALUE);
  const auto oFound = LineFields(hLook);
  ::CloseHandle(hLook);
  ASSERT_EQ(std::get<0>(oFound), 9600U);

  OpenPort oPort;
  ASSERT_GE(oPort.nComm, 0);
  ASSERT_TRUE(oPort.lConfigured);
  HANDLE hPort = nullptr;
  ASSERT_TRUE(::DuplicateHandle(::GetCurrentProcess(), detail::DeviceHandle(oPort.nComm),
                                ::GetCurrentProcess(), &hPort, 0, FALSE, DUPLICATE_SAME_ACCESS));
  EXPECT_EQ(LineFields(hPort), std::make_tuple(DWORD{115200}, TWOSTOPBITS, DWORD{0}, DWORD{0},
                                               MAXDWORD, DWORD{0}, DWORD{0}, DWORD{0}, DWORD{0}));
  EXPECT_TRUE(CLOSECOMM(oPort.nComm));
  EXPECT_EQ(LineFields(hPort), oFound);
  ::CloseHandle(hPort);
}

// A line without modem control (a three-wire cable's driver, a virtual port) refuses DTR; the
// transfer needs none, so the port opens and carries bytes both ways. The tests' preload
// passes the pseudo-terminal's own refusal through while the file it names exists.
TEST(Win32CommPort, ALineThatRefusesModemControlIsStillUsed) {
  const char* pFlag = std::getenv("VELTRA_REFUSE_MODEM_LINES");
  ASSERT_NE(pFlag, nullptr) << "tests/wine/run names the flag file";
  const std::string cFlag = std::string("Z:") + pFlag;
  const HANDLE hFlag = ::CreateFileA(cFlag.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(hFlag, INVALID_HANDLE_VALUE);
  ::CloseHandle(hFlag);
  {
    const OpenPort oPort;
    ASSERT_GE(oPort.nComm, 0) << std::strerror(errno);
    EXPECT_TRUE(oPort.lConfigured);
    FarEnd oFar;
    ASSERT_TRUE(oFar.Open());
    EXPECT_EQ(WRITECOMM(oPort.nComm, "T"), 1);
    EXPECT_EQ(oFar.Receive(1), "T");
    oFar.Send("E");
    EXPECT_EQ(ReadAll(oPort.nComm, 1), "E");
  }
  ::DeleteFileA(cFlag.c_str());
}

} // namespace
} // namespace veltra::serial::test
