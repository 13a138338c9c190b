// The application-wide key tracker and GETASYNCKEYSTATE's choice of source.
#include "ui/key_state_qt.h"

#include "serial/message_pump.h"

#include <QApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>
#include <bitset>
#include <optional>

namespace veltra::ui {

// Key state read from the X server; no value when the application does not run on X11.
std::optional<bool> X11KEYDOWN(int nVirtualKey);

namespace {

// Holds which virtual keys are down. A key event passes several objects on its way (the
// window, the focus widget, its parents); press and release set and clear one bit, so seeing
// the same event twice changes nothing.
class KeyTracker : public QObject {
public:
  std::bitset<256> aDown;

  bool eventFilter(QObject* pObject, QEvent* pEvent) override {
    switch (pEvent->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      const auto* pKey = static_cast<QKeyEvent*>(pEvent);
      if (pKey->isAutoRepeat()) {
        break;
      }
      const bool lDown = pEvent->type() == QEvent::KeyPress;
      if (lDown && !pKey->text().isEmpty()) {
        NOTELASTKEY(pKey->text().at(0).unicode());
      }
      if (IsSuperKey(pKey->key()) && lSuperDown != lDown) {
        lSuperDown = lDown;
        serial::WAKEWAIT();
      }
      Set(VKFROMQTKEY(pKey->key()), lDown);
      break;
    }
    case QEvent::ApplicationStateChange:
      // A waiting loop picks its bound from where the keys go (see KEYSTATEFROMEVENTS).
      serial::WAKEWAIT();
      break;
    case QEvent::Hide:
    case QEvent::WindowDeactivate:
      // A key that closes or leaves a window never delivers its release to us.
      if (pObject->isWidgetType() && static_cast<QWidget*>(pObject)->isWindow()) {
        const Qt::WindowType nType = static_cast<QWidget*>(pObject)->windowType();
        if (nType == Qt::Window || nType == Qt::Dialog) {
          ReleaseAll();
        }
      }
      break;
    case QEvent::ApplicationDeactivate:
      ReleaseAll();
      break;
    default:
      break;
    }
    return false;
  }

  // A window manager takes its shortcuts (the F4 of Alt+F4, say) before they reach the
  // focused window; they all start with a modifier, and the modifier itself does reach us.
  bool ModifierHeld() const { return lSuperDown || aDown.test(VK_MENU) || aDown.test(VK_CONTROL); }

private:
  static bool IsSuperKey(int nQtKey) {
    return nQtKey == Qt::Key_Meta || nQtKey == Qt::Key_Super_L || nQtKey == Qt::Key_Super_R ||
           nQtKey == Qt::Key_Hyper_L || nQtKey == Qt::Key_Hyper_R;
  }

  bool lSuperDown = false;

  void Set(int nVk, bool lDown) {
    if (nVk <= 0 || nVk >= 256 || aDown.test(nVk) == lDown) {
      return;
    }
    aDown.set(nVk, lDown);
    serial::WAKEWAIT();
  }
  void ReleaseAll() {
    if (aDown.any() || lSuperDown) {
      aDown.reset();
      lSuperDown = false;
      serial::WAKEWAIT();
    }
  }
};

QPointer<KeyTracker>& Tracker() {
  static QPointer<KeyTracker> pTracker;
  return pTracker;
}

} // namespace

int VKFROMQTKEY(int nQtKey) {
  if ((nQtKey >= Qt::Key_A && nQtKey <= Qt::Key_Z) ||
      (nQtKey >= Qt::Key_0 && nQtKey <= Qt::Key_9)) {
    return nQtKey; // same codes as ASCII upper case and digits
  }
  if (nQtKey >= Qt::Key_F1 && nQtKey <= Qt::Key_F12) {
    return VK_F1 + (nQtKey - Qt::Key_F1);
  }
  switch (nQtKey) {
  case Qt::Key_Backspace:
    return VK_BACK;
  case Qt::Key_Tab:
  case Qt::Key_Backtab:
    return VK_TAB;
  case Qt::Key_Return:
  case Qt::Key_Enter:
    return VK_RETURN;
  case Qt::Key_Shift:
    return VK_SHIFT;
  case Qt::Key_Control:
    return VK_CONTROL;
  case Qt::Key_Alt:
  case Qt::Key_AltGr:
    return VK_MENU;
  case Qt::Key_Escape:
    return VK_ESCAPE;
  case Qt::Key_Space:
    return VK_SPACE;
  case Qt::Key_PageUp:
    return VK_PRIOR;
  case Qt::Key_PageDown:
    return VK_NEXT;
  case Qt::Key_End:
    return VK_END;
  case Qt::Key_Home:
    return VK_HOME;
  case Qt::Key_Left:
    return VK_LEFT;
  case Qt::Key_Up:
    return VK_UP;
  case Qt::Key_Right:
    return VK_RIGHT;
  case Qt::Key_Down:
    return VK_DOWN;
  case Qt::Key_Insert:
    return VK_INSERT;
  case Qt::Key_Delete:
    return VK_DELETE;
  default:
    return 0;
  }
}

void INSTALLKEYTRACKER() {
  if (Tracker() != nullptr || QCoreApplication::instance() == nullptr) {
    return;
  }
  Tracker() = new KeyTracker; // NOLINT: parented to the application
  Tracker()->setParent(QCoreApplication::instance());
  QCoreApplication::instance()->installEventFilter(Tracker());
}

bool TRACKEDKEYDOWN(int nVirtualKey) {
  return Tracker() != nullptr && nVirtualKey > 0 && nVirtualKey < 256 &&
         Tracker()->aDown.test(nVirtualKey);
}

bool KEYSTATEFROMEVENTS() {
  INSTALLKEYTRACKER();
  return Tracker() != nullptr && QGuiApplication::applicationState() == Qt::ApplicationActive &&
         !Tracker()->ModifierHeld();
}

bool GETASYNCKEYSTATE(int nVirtualKey) {
  // While every press and release reaches the tracker, it answers alone: a query of the X
  // server is a round trip, paid on every turn of a polling loop.
  if (!KEYSTATEFROMEVENTS()) {
    if (const std::optional<bool> lX11 = X11KEYDOWN(nVirtualKey)) {
      return *lX11;
    }
  }
  return TRACKEDKEYDOWN(nVirtualKey);
}

// The pump's own last-key record is meant to take this over; until it exists, it lives here.
} // namespace veltra::ui
