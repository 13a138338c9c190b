// TDialog on Qt Widgets: the modal run (QDialog::exec), initiation before the window is shown,
// the start callback queued from the first paint, End with its deferred close, and the keys
// and close requests that reach the dialog.
#include "ui/dialog_qt.h"

#include "ui/codepage.h"
#include "ui/control.h"
#include "ui/dialog_run.h"
#include "ui/key_state_qt.h"
#include "ui/ui_error.h"
#include "ui/window_qt.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QThread>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace veltra::ui {

class DialogWidget : public QDialog {
public:
  DialogWidget(TDialog& oDlg, QWidget* pOwner) : QDialog(pOwner), oDlg_(oDlg) {}

  void reject() override {
    RUNGUARDED([&] { oDlg_.HandleEvent(WM_COMMAND, IDCANCEL, 0); });
  }
  void accept() override {}

protected:
  void keyPressEvent(QKeyEvent* pEvent) override {
    pEvent->accept();
    const int nVk = VKFROMQTKEY(pEvent->key());
    RUNGUARDED([&] {
      if (nVk == VK_RETURN) {
        oDlg_.HandleEvent(WM_COMMAND, IDOK, 0);
      } else if (nVk != 0) {
        oDlg_.HandleEvent(WM_KEYDOWN, nVk, 0);
      }
    });
  }

  // A close request (the window manager's close, Alt+F4) is never taken as it is: the dialog
  // decides, through End(2) and its valid callback.
  void closeEvent(QCloseEvent* pEvent) override {
    pEvent->ignore();
    RUNGUARDED([&] {
      if (!oDlg_.HandleEvent(WM_CLOSE, 0, 0)) {
        oDlg_.HandleEvent(WM_COMMAND, IDCANCEL, 0);
      }
    });
  }

  void paintEvent(QPaintEvent* pEvent) override {
    QDialog::paintEvent(pEvent);
    if (oDlg_.bPainted) {
      RUNGUARDED([&] { oDlg_.bPainted(oDlg_); });
    }
  }

  void resizeEvent(QResizeEvent* pEvent) override {
    QDialog::resizeEvent(pEvent);
    oDlg_.ReSize();
  }

  void mousePressEvent(QMouseEvent* pEvent) override {
    const auto& bClick = pEvent->button() == Qt::RightButton ? oDlg_.bRClicked : oDlg_.bLClicked;
    if (bClick) {
      const QPoint oPos = pEvent->position().toPoint();
      RUNGUARDED([&] { bClick(oPos.y(), oPos.x(), 0); });
    }
    QDialog::mousePressEvent(pEvent);
  }

private:
  TDialog& oDlg_;
};

// One modal run of a dialog: its window, the first-paint watch, and the end request.
class DialogRun : public QObject {
public:
  DialogRun(TDialog& oDlg, QWidget* pOwner) : oDlg_(oDlg) {
    pWidget_ = new DialogWidget(oDlg, pOwner); // NOLINT: deleted in the destructor
    oDlg_.pRun_ = this;
    oDlg_.Peer().pWidget = pWidget_;
    OpenRuns().push_back(&oDlg_);
  }

  ~DialogRun() override {
    std::erase(OpenRuns(), &oDlg_);
    for (TControl* pControl : oDlg_.aControls) {
      pControl->Detach();
    }
    oDlg_.ReleaseWindow();
    oDlg_.pRun_ = nullptr;
    delete pWidget_;
  }

  DialogRun(const DialogRun&) = delete;
  DialogRun& operator=(const DialogRun&) = delete;

  DialogWidget* Widget() const { return pWidget_; }
  bool Ended() const { return lEnded_; }

  // The window's frame, size and the controls' windows, as the template describes them.
  void Build(QWidget* pOwner) {
    const FrameLook oLook = FRAMEFORSTYLE(oDlg_.nStyle);
    Qt::WindowFlags nFlags = Qt::Dialog | Qt::CustomizeWindowHint;
    if (oLook.lTitle) {
      nFlags |= Qt::WindowTitleHint;
    } else if (!oLook.lBorder) {
      nFlags |= Qt::FramelessWindowHint;
    }
    if (oLook.lSysMenu) {
      nFlags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    }
    if (oLook.lMinButton) {
      nFlags |= Qt::WindowMinimizeButtonHint;
    }
    if (oLook.lMaxButton) {
      nFlags |= Qt::WindowMaximizeButtonHint;
    }
    pWidget_->setWindowFlags(nFlags);
    const QPoint oOwner = pOwner != nullptr ? pOwner->frameGeometry().topLeft() : QPoint();
    const ClientSize oSize = DIALOGCLIENTSIZE(
        {oDlg_.nTop, oDlg_.nLeft, oDlg_.nBottom, oDlg_.nRight}, oOwner.y(), oOwner.x());
    if (oLook.lResizable) {
      pWidget_->resize(oSize.nWidth, oSize.nHeight);
    } else {
      pWidget_->setFixedSize(oSize.nWidth, oSize.nHeight);
    }
    for (TControl* pControl : std::vector<TControl*>(oDlg_.aControls)) {
      pControl->BuildItem(oDlg_);
    }
  }

  // Initiation, before the window is shown.
  void Initiate() {
    oDlg_.BindWindow();
    pWidget_->setFont(QFONTOF(oDlg_.oFont.value_or(TFont{})));
    for (TControl* pControl : std::vector<TControl*>(oDlg_.aControls)) {
      pControl->Initiate(oDlg_);
    }
    Place();
    pWidget_->setWindowTitle(QString::fromStdU16String(OEMTOUNICODE(oDlg_.cCaption)));
    const auto itFirst = std::find_if(oDlg_.aControls.begin(), oDlg_.aControls.end(),
                                      [](TControl* p) { return (p->nStyle & WS_TABSTOP) != 0; });
    if (itFirst != oDlg_.aControls.end()) {
      (*itFirst)->SetFocus();
    }
    if (oDlg_.bInit) {
      oDlg_.bInit(oDlg_);
    }
    if (oDlg_.lHelpIcon.value_or(true) && FRAMEFORSTYLE(oDlg_.nStyle).lSysMenu) {
      pWidget_->setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    }
    lInitiating_ = false;
  }

  void Exec() {
    QCoreApplication::instance()->installEventFilter(this);
    pWidget_->exec();
    QCoreApplication::instance()->removeEventFilter(this);
  }

  // End accepted: during initiation the run simply never shows the window; while the start
  // callback runs, the window stays until the callback returns.
  void RequestEnd(int nCode) {
    lEnded_ = true;
    if (lInitiating_) {
      return;
    }
    if (lInStart_) {
      lDonePending_ = true;
      return;
    }
    pWidget_->done(nCode);
  }

protected:
  // The first paint of any widget of this window queues the start callback; it then runs
  // from the modal loop once the paint is over, never inside it.
  bool eventFilter(QObject* pObject, QEvent* pEvent) override {
    if (pEvent->type() == QEvent::Paint && !lStartQueued_ && pObject->isWidgetType() &&
        static_cast<QWidget*>(pObject)->window() == pWidget_) {
      lStartQueued_ = true;
      QMetaObject::invokeMethod(
          pWidget_, [this] { RunStart(); }, Qt::QueuedConnection);
    }
    return false;
  }

private:
  void Place() {
    if (!oDlg_.lCentered) {
      pWidget_->move(oDlg_.nLeft, oDlg_.nTop);
      return;
    }
    QRect oRef;
    if ((CENTERONPARENT() || oDlg_.lCenterInWnd) && oDlg_.oWnd != nullptr &&
        WIDGETOF(*oDlg_.oWnd) != nullptr) {
      oRef = WIDGETOF(*oDlg_.oWnd)->window()->frameGeometry();
    } else if (QScreen* pScreen = QGuiApplication::primaryScreen()) {
      oRef = pScreen->geometry();
    }
    const auto [nX, nY] = CENTEREDPOS(oRef.left(), oRef.top(), oRef.width(), oRef.height(),
                                      pWidget_->width(), pWidget_->height());
    pWidget_->setGeometry(nX, nY, pWidget_->width(), pWidget_->height());
  }

  void RunStart() {
    if (lEnded_ || !oDlg_.bStart) {
      return;
    }
    const TDialog::Block bStart = std::exchange(oDlg_.bStart, nullptr);
    lInStart_ = true;
    RUNGUARDED(bStart);
    lInStart_ = false;
    if (lDonePending_) {
      lDonePending_ = false;
      pWidget_->done(oDlg_.nResult.value_or(IDCANCEL));
    }
  }

  TDialog& oDlg_;
  QPointer<DialogWidget> pWidget_;
  bool lInitiating_ = true;
  bool lInStart_ = false;
  bool lStartQueued_ = false;
  bool lEnded_ = false;
  bool lDonePending_ = false;
};

void TDialog::Activate(ActivateArgs oArgs) {
  DialogActivation oActivation(*this);
  QWidget* pOwner = nullptr;
  if (oWnd != nullptr && WIDGETOF(*oWnd) != nullptr) {
    pOwner = WIDGETOF(*oWnd)->window();
  } else if (oActivation.Nested()) {
    pOwner = QApplication::activeWindow();
  }
  if (!oActivation.Arm(std::move(oArgs))) {
    return;
  }
  // Windows exist only on the user-interface thread of a widget application.
  if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr ||
      QThread::currentThread() != QCoreApplication::instance()->thread()) {
    nResult = 65535;
    DIALOGBOXERROR(cCaption);
    return;
  }
  INSTALLKEYTRACKER();

  DialogRun oRun(*this, pOwner);
  const bool lWasRunning = std::exchange(MODALLOOPRUNNING(), true);
  struct Loop {
    bool lWas;
    ~Loop() { MODALLOOPRUNNING() = lWas; }
  } oLoop{lWasRunning};

  oRun.Build(pOwner);
  oRun.Initiate();
  if (!oRun.Ended() && !EXCEPTIONPENDING()) {
    oRun.Exec();
  }
  if (!nResult) {
    nResult = IDCANCEL;
  }
  RETHROWPENDING();
}

// The client control covers the client area, its frame just outside the edges.
void TDialog::ReSize() {
  QWidget* pWidget = WIDGETOF(*this);
  if (oClient != nullptr && pWidget != nullptr) {
    oClient->Move(-1, -1, pWidget->width() + 2, pWidget->height() + 3);
  }
}

void FOCUSNEXTCONTROL(TDialog& oDlg) {
  if (QWidget* pWidget = WIDGETOF(oDlg)) {
    QWidget* pFocus = pWidget->focusWidget();
    (pFocus != nullptr ? pFocus : pWidget)->nextInFocusChain()->setFocus(Qt::TabFocusReason);
  }
}

void TDialog::BindWindow() {
  BindHandle();
}

void TDialog::ReleaseWindow() {
  ReleaseHandle();
  Peer().pWidget = nullptr;
}

void ENDRUN(DialogRun& oRun, int nCode) {
  oRun.RequestEnd(nCode);
}

QWidget* DIALOGITEM(const TDialog& oDlg, int nId) {
  QWidget* pWidget = WIDGETOF(oDlg);
  if (pWidget == nullptr) {
    return nullptr;
  }
  for (QWidget* pChild : pWidget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (pChild->property(kControlIdProperty).toInt() == nId) {
      return pChild;
    }
  }
  return nullptr;
}

QFont QFONTOF(const TFont& oFont) {
  QFont oQFont = QApplication::font();
  if (oFont.cFaceName != "System") {
    oQFont.setFamily(QString::fromStdU16String(ANSITOUNICODE(oFont.cFaceName)));
  }
  if (oFont.nHeight != 0) {
    oQFont.setPixelSize(oFont.nHeight < 0 ? -oFont.nHeight : oFont.nHeight);
  }
  oQFont.setBold(oFont.lBold);
  oQFont.setItalic(oFont.lItalic);
  return oQFont;
}

} // namespace veltra::ui
