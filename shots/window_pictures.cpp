// Writes the README's screenshots under a private Xvfb with openbox: the program's window with
// a few log lines (dialog.png) and the popup for a port that cannot be opened (popup.png), with
// the help it gives on a machine with one USB adapter, into the folder given.
#include "app/port_help.h"
#include "harness/process.h"
#include "serial/message_pump.h"
#include "ui/dialog.h"
#include "ui/multiget.h"
#include "ui/popmsg.h"
#include "ui/window_qt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cerrno>
#include <cstdio>

namespace {

// Lets the window manager decorate and place the window, then grabs it with its frame.
bool Grab(QWidget* pWindow, const QString& cFile) {
  QElapsedTimer oClock;
  oClock.start();
  while (oClock.elapsed() < 1500) {
    veltra::serial::SYSWAIT(20);
  }
  const QRect oFrame = pWindow->frameGeometry();
  const QPixmap oShot = QGuiApplication::primaryScreen()->grabWindow(
      0, oFrame.x(), oFrame.y(), oFrame.width(), oFrame.height());
  const bool lOk = oShot.save(cFile, "PNG");
  std::printf("%s %s (%dx%d)\n", lOk ? "wrote" : "FAILED", qPrintable(cFile), oShot.width(),
              oShot.height());
  return lOk;
}

} // namespace

int main(int argc, char** argv) {
  using namespace veltra::ui;
  const QString cDir = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("docs");
  veltra::harness::Display oX;
  if (!oX.Start()) {
    std::fprintf(stderr, "no X server: Xvfb, openbox or xdotool missing\n");
    return 2;
  }
  qputenv("DISPLAY", QByteArray::fromStdString(oX.Name()));
  qputenv("QT_QPA_PLATFORM", "xcb");
  QApplication oApp(argc, argv);

  bool lOk = true;
  std::string cText;
  TDialog oDlg;
  oDlg.New({.cCaption = "VELTRA 1.00 (c) 2026 VLT  (COM1:115200,N,8,2)",
            .nStyle = 0,
            .nWidth = 500,
            .nHeight = 500});
  oDlg.lModify = false;
  oDlg.lHelpIcon = false;
  TMultiGet oGet;
  oGet.New({.nRow = 0, .nCol = 0, .bSetGet = BINDTEXT(cText), .lReadOnly = true});
  auto fMessage = [&](const std::string& cLine) {
    oGet.VarPut(*oGet.VarGet() + cLine + "\r\n");
    oGet.Refresh(false);
    oGet.GoBottom();
  };
  oDlg.bStart = [&] {
    fMessage("Waiting command (ESC to exit)...");
    for (int i = 0; i < 5; ++i) {
      fMessage("Sending track " + std::to_string(i / 2) + ", side " + std::to_string(i % 2));
    }
    lOk = Grab(WIDGETOF(oDlg), cDir + "/dialog.png") && lOk;
    QTimer::singleShot(0, [&] {
      auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (pBox == nullptr) {
        lOk = false;
        return;
      }
      lOk = Grab(pBox, cDir + "/popup.png") && lOk;
      pBox->accept();
    });
    std::vector<veltra::serial::PortInfo> aPorts(2);
    aPorts[0].cName = "ttyS0";
    aPorts[0].cPath = "/dev/ttyS0";
    aPorts[0].lConsole = true;
    aPorts[1].cName = "ttyUSB0";
    aPorts[1].cPath = "/dev/ttyUSB0";
    aPorts[1].cById = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A12345-if00-port0";
    aPorts[1].cVendor = "FTDI";
    aPorts[1].cProduct = "FT232R USB UART";
    aPorts[1].cUsbId = "0403:6001";
    POPMSG("Errore di apertura della porta di comunicazione (ttyUSB1).\r\n\r\n" +
               veltra::app::PORTOPENHELP("/dev/ttyUSB1", ENOENT, aPorts, "/home/utente/VELTRA.INI"),
           1);
    oDlg.End();
  };
  QTimer::singleShot(30000, [] { ENDALLDIALOGS(); });
  oDlg.Activate({.lCentered = true, .bInit = [&](TDialog& d) { d.SetControl(oGet); }});
  return lOk ? 0 : 1;
}
