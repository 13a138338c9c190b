// Writes the README's screenshots under a private Xvfb with openbox: the program's window with
// a few log lines (dialog.png) and a type-1 popup (popup.png), into the folder given.
#include "serial/message_pump.h"
#include "tests/support/process.h"
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
  veltra::test::Display oX;
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
    POPMSG("Errore di apertura della porta di comunicazione (COM3).", 1);
    oDlg.End();
  };
  QTimer::singleShot(30000, [] { ENDALLDIALOGS(); });
  oDlg.Activate({.lCentered = true, .bInit = [&](TDialog& d) { d.SetControl(oGet); }});
  return lOk ? 0 : 1;
}
