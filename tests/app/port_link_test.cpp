// The port link and the program flow in-process, under the offscreen platform: the real
// dialog, log control and popups, a real pseudo-terminal playing the device, and the file
// chooser answered by the test.
#include "app/port_help.h"
#include "app/port_link.h"
#include "app/program_flow.h"
#include "app/transfer_loop.h"
#include "runtime/profile.h"
#include "serial/comm_port.h"
#include "serial/comm_port_testing.h"
#include "tests/serial/serial_test_support.h"
#include "tests/ui/ui_test_util.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace veltra::app {
namespace {

using ui::test::WhenModal;
using veltra::test::Pty;
using veltra::test::RandomBytes;
using veltra::test::TempDir;

struct Popup {
  std::string cTitle;
  std::string cText;
};

// Records the next message box and answers it.
void AnswerPopup(Popup& oSeen) {
  WhenModal<QMessageBox>([&oSeen](QMessageBox* p) {
    oSeen.cTitle = p->windowTitle().toStdString();
    oSeen.cText = p->text().toStdString();
    p->accept();
  });
}

// Runs fBody inside a shown dialog, as the program's start callback would, with the port
// link set up by the init callback.
int RunLinked(const std::string& cPort, const std::function<void(ui::TDialog&, int)>& fBody) {
  ui::test::DialogWatchdog oWatchdog(15000);
  ui::TDialog oDlg;
  oDlg.New({.cCaption = "link", .nStyle = 0, .nWidth = 200, .nHeight = 200});
  int nComm = -1;
  oDlg.bStart = [&] {
    fBody(oDlg, nComm);
    oDlg.End();
  };
  oDlg.Activate({.bInit = [&](ui::TDialog& o) {
    nComm = APRICOM(o, cPort);
    if (nComm < 0) {
      o.End();
    }
  }});
  return nComm;
}

class PortLink : public ::testing::Test {
protected:
  void SetUp() override { RESETTRANSFERSTATE(); }
  void TearDown() override { RESETTRANSFERSTATE(); }
};

// A made-up device tree of USB adapters, which the port listing reads in place of /sys, /dev
// and /proc while it lives; nPorts of them at first (ttyUSB0 reports a product name holding
// control bytes).
class FakePorts {
public:
  explicit FakePorts(int nPorts) {
    for (int i = 0; i < nPorts; ++i) {
      Add("ttyUSB" + std::to_string(i), i == 0 ? "UART\x1B[2J\x07" : "UART");
    }
    std::filesystem::create_directories(Root() + "/proc");
    ::setenv("VELTRA_SYSFS", (Root() + "/sys").c_str(), 1);
    ::setenv("VELTRA_DEVFS", (Root() + "/dev").c_str(), 1);
    ::setenv("VELTRA_PROCFS", (Root() + "/proc").c_str(), 1);
  }
  ~FakePorts() {
    for (const char* c : {"VELTRA_SYSFS", "VELTRA_DEVFS", "VELTRA_PROCFS"}) {
      ::unsetenv(c);
    }
  }
  FakePorts(const FakePorts&) = delete;
  FakePorts& operator=(const FakePorts&) = delete;
  // An adapter's sysfs entry, then (with lNode) its device node as a plain file.
  void Add(const std::string& cName, const std::string& cProduct, bool lNode = true) const {
    namespace fs = std::filesystem;
    const std::string cDevice = Root() + "/sys/devices/d/" + cName;
    fs::create_directories(cDevice + "/tty/" + cName);
    fs::create_directories(Root() + "/sys/class/tty");
    fs::create_directory_symlink(cDevice, cDevice + "/tty/" + cName + "/device");
    std::ofstream(cDevice + "/idVendor") << "0403\n";
    std::ofstream(cDevice + "/idProduct") << "6001\n";
    std::ofstream(cDevice + "/manufacturer") << "Acme\n";
    std::ofstream(cDevice + "/product") << cProduct << "\n";
    fs::create_directory_symlink(cDevice + "/tty/" + cName, Root() + "/sys/class/tty/" + cName);
    fs::create_directories(Dev());
    if (lNode) {
      std::ofstream(Dev() + cName) << "";
    }
  }
  std::string Root() const { return m_oRoot.Str(); }
  std::string Dev() const { return Root() + "/dev/"; }

private:
  TempDir m_oRoot;
};

std::vector<std::string> SplitLines(const std::string& c) {
  std::vector<std::string> a;
  std::istringstream in(c);
  for (std::string cLine; std::getline(in, cLine);) {
    a.push_back(cLine);
  }
  return a;
}

// The popup keeps its first line as it always was, then says why, lists the ports present
// (20 of them, then how many more, with what devices report made harmless), where the
// settings file is and the line to put in it, naming a port that is there and is not the one
// that failed. A port another program holds is left to it.
TEST_F(PortLink, PortThatCannotBeOpenedIsReportedWithWhyThePortsThereAndWhatToWrite) {
  const FakePorts oPorts(23);
  Pty oBusy;
  const int nHolder = serial::OPENCOMM(oBusy.SlavePath());
  ASSERT_GE(nHolder, 0);
  struct Case {
    std::string cPort;
    std::string cReason;
    std::string cLine;
  };
  const Case aCases[] = {
      {"/dev/veltra-no-such-port",
       "Motivo: la porta non esiste. L'adattatore è collegato? Il nome della porta è scritto "
       "giusto?",
       "Porta=ttyUSB0"},
      {oPorts.Dev() + "ttyUSB0", "Motivo: il dispositivo non è una porta seriale.",
       "Porta=ttyUSB1"},
      {oBusy.SlavePath(),
       "Motivo: la porta è già in uso da un altro programma. Chiudi quel programma e riprova.",
       "Porta=ttyUSB0"},
  };
  for (const Case& c : aCases) {
    Popup oSeen;
    AnswerPopup(oSeen);
    bool lStarted = false;
    EXPECT_EQ(RunLinked(c.cPort, [&](ui::TDialog&, int) { lStarted = true; }), -1);
    EXPECT_FALSE(lStarted) << "the window never shows, so nothing is served";
    EXPECT_EQ(oSeen.cTitle, "Attenzione");
    const std::vector<std::string> aLines = SplitLines(oSeen.cText);
    ASSERT_EQ(aLines.size(), 30U) << oSeen.cText;
    EXPECT_EQ(aLines[0], "Errore di apertura della porta di comunicazione (" + c.cPort + ").");
    EXPECT_EQ(aLines[2], c.cReason);
    EXPECT_EQ(aLines[4], "Porte presenti:");
    EXPECT_EQ(aLines[5], "  " + oPorts.Dev() + "ttyUSB0  Acme UART\\x1B[2J\\x07 (0403:6001)");
    EXPECT_EQ(aLines[6], "  " + oPorts.Dev() + "ttyUSB1  Acme UART (0403:6001)");
    EXPECT_EQ(aLines[24], "  " + oPorts.Dev() + "ttyUSB19  Acme UART (0403:6001)");
    EXPECT_EQ(aLines[25], "  ... e altre 3");
    EXPECT_EQ(aLines[27], "File delle impostazioni: " +
                              (std::filesystem::current_path() / "VELTRA.INI").string());
    EXPECT_EQ(aLines[29], c.cLine);
  }
  EXPECT_TRUE(serial::CLOSECOMM(nHolder));
}

TEST_F(PortLink, LineIs115200With8N2AndOneNotificationMovesEveryWaitingByte) {
  Pty oPty;
  // Opened before the program takes the port exclusively, to read its line back.
  const int nSlave = ::open(oPty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GE(nSlave, 0);
  termios oLine{};
  // Noise past the 1000-byte read, then the command: it must arrive with no further byte.
  const std::string cBurst = RandomBytes(4500, 7) + "T";
  std::string cFirst;
  const int nComm = RunLinked(oPty.SlavePath(), [&](ui::TDialog& oDlg, int nPort) {
    ASSERT_EQ(::tcgetattr(nSlave, &oLine), 0);
    // The ring fills while notification is off (the rest waits in the driver)...
    serial::ENABLECOMMNOTIFICATION(nPort, 0, 1, -1);
    oPty.Send(cBurst);
    ASSERT_TRUE(serial::test::PumpUntil([&] { return serial::COMMRECEIVED(nPort) >= 2000; }));
    // ...then arming announces them: every byte arrives in order, none waits for another.
    serial::ENABLECOMMNOTIFICATION(nPort, oDlg.hWnd, 1, -1);
    serial::test::PumpUntil([&] { return cReceived.size() >= cBurst.size(); });
    cFirst = std::string(cReceived.View());
  });
  ::close(nSlave);
  ASSERT_GE(nComm, 0);
  EXPECT_TRUE(serial::CLOSECOMM(nComm));
  EXPECT_EQ(::cfgetospeed(&oLine), static_cast<speed_t>(B115200));
  EXPECT_EQ(::cfgetispeed(&oLine), static_cast<speed_t>(B115200));
  EXPECT_EQ(oLine.c_cflag & (CSIZE | PARENB | CSTOPB), static_cast<tcflag_t>(CS8 | CSTOPB))
      << "8 data bits, no parity, 2 stop bits";
  EXPECT_EQ(cFirst.size(), cBurst.size());
  EXPECT_TRUE(cFirst == cBurst);
}

TEST(PortLinkHint, TellsWhatToDoForTheCommonFailures) {
  EXPECT_EQ(OPENFAILUREHINT("/dev/ttyUSB0", EACCES),
            "veltra: cannot open /dev/ttyUSB0: Permission denied (add your user to the dialout "
            "group, then log in again)");
  EXPECT_NE(OPENFAILUREHINT("/dev/ttyUSB9", ENOENT).find("plugged in"), std::string::npos);
  EXPECT_NE(OPENFAILUREHINT("/dev/ttyUSB0", EBUSY).find("another program"), std::string::npos);
  EXPECT_EQ(OPENFAILUREHINT("/dev/ttyS0", serial::ECOMMCONSOLE).substr(0, 56),
            "veltra: cannot open /dev/ttyS0: it is the system console");
}

// The line the popup suggests names a port a transfer can use: never the console, one another
// program holds or one this user may not open, wherever they stand in the list; with none
// there, it says so and gives an example.
TEST(PortOpenHelp, SuggestsOnlyAFreePortThisUserMayOpenAndNeverTheConsole) {
  std::vector<serial::PortInfo> aPorts(4);
  for (std::size_t i = 0; i < aPorts.size(); ++i) {
    aPorts[i].cName = i < 3 ? "ttyS" + std::to_string(i) : "ttyUSB0";
    aPorts[i].cPath = "/dev/" + aPorts[i].cName;
  }
  aPorts[0].lConsole = true;
  aPorts[1].cHeldBy = "picocom (pid 4242)";
  aPorts[2].lAccessible = false;
  const std::string cHelp = PORTOPENHELP("/dev/veltra-gone", ENOENT, aPorts, "/x/VELTRA.INI");
  EXPECT_EQ(cHelp.substr(cHelp.rfind("\r\n") + 2), "Porta=ttyUSB0") << cHelp;
  EXPECT_EQ(cHelp.find("ttyS0"), std::string::npos) << "the console is not even listed";
  const std::string cNone = PORTOPENHELP("/dev/ttyUSB0", EBUSY, {}, "/x/VELTRA.INI");
  EXPECT_NE(cNone.find("\r\nNessuna porta seriale trovata.\r\n"), std::string::npos) << cNone;
  EXPECT_EQ(cNone.substr(cNone.rfind("\r\n") + 2), "Porta=ttyUSB0") << "an example";
}

// The whole main flow in this process: chooser, settings, window, link, loop, close.
class ProgramFlow : public ::testing::Test {
protected:
  void SetUp() override {
    RESETTRANSFERSTATE();
    m_cOld = std::filesystem::current_path();
    std::filesystem::current_path(m_cDir);
  }
  void TearDown() override {
    std::filesystem::current_path(m_cOld);
    RESETTRANSFERSTATE();
  }
  // Picks cPath in the file chooser once it shows.
  static void Choose(const std::string& cPath) {
    WhenModal<QFileDialog>([cPath](QFileDialog* p) {
      p->selectFile(QString::fromStdString(cPath));
      QMetaObject::invokeMethod(p, "accept");
    });
  }
  std::filesystem::path m_cOld;
  const TempDir m_oDir;
  const std::string m_cDir = m_oDir.Str();
};

// Plays the device once the program has the port open (the master end reports a hang-up until
// then, and bytes sent into a closed line would be lost, as on a real one): a "T" for each of
// aAnswers, that many bytes of answer read into cLine, then "E".
std::thread PlayDevice(const Pty& oPty, std::vector<std::size_t> aAnswers, std::string& cLine) {
  return std::thread([&oPty, aAnswers, &cLine] {
    EXPECT_TRUE(oPty.WaitOpened());
    std::this_thread::sleep_for(std::chrono::milliseconds(100)); // the port's set-up
    for (const std::size_t n : aAnswers) {
      oPty.Send("T");
      cLine += oPty.Receive(n);
    }
    oPty.Send("E");
  });
}

TEST_F(ProgramFlow, ServesTheChosenImageAndLogsEveryBlockInOrder) {
  Pty oPty;
  std::ofstream("VELTRA.INI") << "[Impostazioni]\r\nPorta=" << oPty.SlavePath() << "\r\n";
  const std::string cImage = RandomBytes(3 * 5120, 11);
  std::ofstream(m_cDir + "/disk.mgt", std::ios::binary) << cImage;

  std::string cLine;
  std::thread oDevice = PlayDevice(oPty, {5121, 5121, 5121}, cLine);

  // What the log shows when the window goes away, and the window's caption.
  std::string cLog, cCaption;
  QObject oSpy;
  auto* pTimer = new QTimer(&oSpy);
  QObject::connect(pTimer, &QTimer::timeout, [&] {
    for (QWidget* p : QApplication::topLevelWidgets()) {
      if (auto* pLog = p->findChild<QPlainTextEdit*>(); pLog != nullptr && p->isVisible()) {
        cLog = pLog->toPlainText().toStdString();
        cCaption = p->windowTitle().toStdString();
      }
    }
  });
  pTimer->start(1);
  Choose(m_cDir + "/disk.mgt");
  ui::test::DialogWatchdog oWatchdog(20000);
  MAIN({});
  oDevice.join();

  EXPECT_EQ(cLine.size(), 3u * 5121u);
  std::string cExpected;
  for (int n = 0; n < 3; ++n) {
    cExpected += '\0' + cImage.substr(static_cast<std::size_t>(n) * 5120, 5120);
  }
  EXPECT_TRUE(cLine == cExpected);
  EXPECT_EQ(cCaption, BANNER() + "(" + oPty.SlavePath() + ":115200,N,8,2)");
  EXPECT_EQ(cLog, "Waiting command (ESC to exit)...\n"
                  "Sending track 0, side 0\n"
                  "Sending track 0, side 1\n"
                  "Sending track 1, side 0\n");
  EXPECT_EQ(runtime::GETPVPROFSTRING("Impostazioni", "Porta", "", "VELTRA.INI"), oPty.SlavePath());
}

// A port that cannot be opened: after its popup the picker lists the ports (the console and a
// port another program holds shown but not choosable), follows an adapter plugged in while it
// is open and selects it; Return writes it to the settings file, keeping the file's other
// lines and line ends, and the image named on the command line is served over it.
TEST_F(ProgramFlow, PortThatCannotBeOpenedOffersThePortsAndServesTheOneChosen) {
  namespace fs = std::filesystem;
  const FakePorts oPorts(0);
  oPorts.Add("ttyS0", "Console");
  oPorts.Add("ttyUSB0", "Held");
  const std::string cDev = oPorts.Dev();
  const std::string cProc = oPorts.Root() + "/proc";
  fs::create_directories(cProc + "/812/fd");
  std::ofstream(cProc + "/consoles") << "ttyS0                -W- (EC p a)    4:64\n";
  std::ofstream(cProc + "/812/comm") << "picocom\n";
  fs::create_symlink(cDev + "ttyUSB0", cProc + "/812/fd/3");
  std::ofstream("VELTRA.INI") << "; mio\r\n[Impostazioni]\r\nPorta=" << cDev
                              << "ttyUSB9\r\nAltro=1\r\n";
  std::ofstream("disk.mgt", std::ios::binary) << std::string(5120, 'x');

  Pty oPty;
  std::string cLine;
  std::thread oDevice = PlayDevice(oPty, {5121}, cLine);

  Popup oSeen;
  std::vector<std::pair<std::string, bool>> aBefore, aAfter;
  QString cHeading;
  WhenModal<QMessageBox>([&](QMessageBox* pBox) {
    oSeen.cText = pBox->text().toStdString();
    pBox->accept();
    WhenModal<QDialog>([&](QDialog* p) {
      const auto Rows = [p] {
        std::vector<std::pair<std::string, bool>> a;
        auto* pList = p->findChild<QListWidget*>();
        for (int i = 0; i < pList->count(); ++i) {
          a.emplace_back(pList->item(i)->text().toStdString(),
                         i == pList->currentRow() && pList->item(i)->flags() != Qt::NoItemFlags);
        }
        return a;
      };
      EXPECT_EQ(p->windowTitle().toStdString(), "Porta seriale");
      aBefore = Rows();
      // The adapter plugged in: its sysfs entry, its stable name, then its device node.
      oPorts.Add("ttyACM0", "Cable", false);
      fs::create_directories(cDev + "serial/by-id");
      fs::create_symlink("../../ttyACM0", cDev + "serial/by-id/usb-Acme_Cable-if00");
      fs::create_symlink(oPty.SlavePath(), cDev + "ttyACM0");
      EXPECT_TRUE(QTest::qWaitFor([&] { return Rows().size() == 3; }, 5000));
      aAfter = Rows();
      QTest::keyClick(p, Qt::Key_Return);
    });
  });
  MAIN({"disk.mgt"});
  oDevice.join();

  EXPECT_EQ(oSeen.cText.substr(0, 49), "Errore di apertura della porta di comunicazione (");
  EXPECT_EQ(aBefore, (std::vector<std::pair<std::string, bool>>{
                         {cDev + "ttyS0   Acme Console   (console del sistema, non per i "
                                 "trasferimenti)",
                          false},
                         {cDev + "ttyUSB0   Acme Held   (in uso: picocom (pid 812))", false}}));
  ASSERT_EQ(aAfter.size(), 3u);
  EXPECT_EQ(aAfter[0], std::pair(cDev + "ttyACM0   usb-Acme_Cable-if00   Acme Cable", true));
  std::ostringstream oIni;
  oIni << std::ifstream("VELTRA.INI", std::ios::binary).rdbuf();
  EXPECT_EQ(oIni.str(), "; mio\r\n[Impostazioni]\r\nPorta=" + cDev +
                            "serial/by-id/usb-Acme_Cable-if00\r\nAltro=1\r\n");
  EXPECT_TRUE(cLine == '\0' + std::string(5120, 'x'));
}

// On a private session bus: the launcher entry's progress follows the blocks sent (half,
// then all of a two-block image), and when the device ends a notification says how it went.
TEST_F(ProgramFlow, ProgressAndTheOutcomeReachTheSessionBus) {
  using namespace std::chrono_literals;
  harness::Child oBus({"dbus-daemon", "--session", "--nofork", "--print-address=1"});
  const std::optional<std::string> cAddress = oBus.ReadLine(10s);
  if (!cAddress) {
    GTEST_SKIP() << "no dbus-daemon: run scripts/deps";
  }
  harness::Child oMonitor({"dbus-monitor", "--address", *cAddress});
  ASSERT_TRUE(oMonitor.ReadLine(10s).has_value()) << "dbus-monitor did not start";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", cAddress->c_str(), 1);

  Pty oPty;
  std::ofstream("VELTRA.INI") << "[Impostazioni]\nPorta=" << oPty.SlavePath() << "\n";
  std::ofstream("disk.mgt", std::ios::binary) << std::string(5120 + 100, 'y');
  std::string cLine;
  // The second answer: the 0x00 and the image's last 100 bytes.
  std::thread oDevice = PlayDevice(oPty, {5121, 101}, cLine);
  ui::test::DialogWatchdog oWatchdog(20000);
  MAIN({"disk.mgt"});
  oDevice.join();
  std::string cSeen;
  for (auto c = oMonitor.ReadLine(5s); c; c = oMonitor.ReadLine(2s)) {
    cSeen += *c + "\n";
    if (c->find("string \"2 blocchi in 0:0") != std::string::npos) {
      break;
    }
  }
  ::unsetenv("DBUS_SESSION_BUS_ADDRESS");

  const auto Find = [&](const std::string& c, std::size_t nFrom = 0) {
    const std::size_t n = cSeen.find(c, nFrom);
    EXPECT_NE(n, std::string::npos) << c << " not on the bus:\n" << cSeen;
    return n == std::string::npos ? nFrom : n;
  };
  std::size_t n = Find("interface=com.canonical.Unity.LauncherEntry; member=Update");
  n = Find("string \"application://veltra.desktop\"", n);
  n = Find("double 0.5", n);
  n = Find("double 1", n);
  n = Find("member=Notify", n);
  n = Find("string \"VELTRA: disco inviato\"", n);
  Find("string \"2 blocchi in 0:0", n);
}

// An argument that cannot be the image is named in a popup with why, then the chooser asks.
TEST_F(ProgramFlow, ArgumentThatIsNoReadableFileIsNamedThenTheChooserAsks) {
  std::filesystem::create_directory("cartella.mgt");
  for (const auto& [cArg, cWhy] : {std::pair{std::string("manca.mgt"), "il file non esiste"},
                                   std::pair{std::string("cartella.mgt"), "una cartella"}}) {
    Popup oSeen;
    AnswerPopup(oSeen);
    bool lChooserShown = false;
    WhenModal<QFileDialog>([&](QFileDialog* p) {
      lChooserShown = p->isVisible();
      p->reject();
    });
    MAIN({cArg});
    EXPECT_NE(oSeen.cText.find("Immagine non aperta: " + cArg), std::string::npos) << oSeen.cText;
    EXPECT_NE(oSeen.cText.find(cWhy), std::string::npos) << oSeen.cText;
    EXPECT_TRUE(lChooserShown);
    EXPECT_FALSE(std::filesystem::exists("VELTRA.INI"));
  }
}

} // namespace
} // namespace veltra::app
