// Key state from the X server (XQueryKeymap on the display Qt uses). It also sees keys that
// never reach the program, such as the F4 of an Alt+F4 that the window manager takes.
#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/keysym.h>
#include <optional>

namespace veltra::ui {
namespace {

// Key symbols for a virtual-key code (up to three, 0 ends the list).
struct KeySyms {
  KeySym a[3] = {0, 0, 0};
};

KeySyms SymsFor(int nVk) {
  if (nVk >= 'A' && nVk <= 'Z') {
    return {{static_cast<KeySym>(XK_a + (nVk - 'A'))}};
  }
  if (nVk >= '0' && nVk <= '9') {
    return {{static_cast<KeySym>(XK_0 + (nVk - '0'))}};
  }
  if (nVk >= 112 && nVk <= 123) {
    return {{static_cast<KeySym>(XK_F1 + (nVk - 112))}};
  }
  switch (nVk) {
  case 8:
    return {{XK_BackSpace}};
  case 9:
    return {{XK_Tab, XK_ISO_Left_Tab}};
  case 13:
    return {{XK_Return, XK_KP_Enter}};
  case 16:
    return {{XK_Shift_L, XK_Shift_R}};
  case 17:
    return {{XK_Control_L, XK_Control_R}};
  case 18:
    return {{XK_Alt_L, XK_Alt_R, XK_ISO_Level3_Shift}};
  case 27:
    return {{XK_Escape}};
  case 32:
    return {{XK_space}};
  case 33:
    return {{XK_Prior}};
  case 34:
    return {{XK_Next}};
  case 35:
    return {{XK_End}};
  case 36:
    return {{XK_Home}};
  case 37:
    return {{XK_Left}};
  case 38:
    return {{XK_Up}};
  case 39:
    return {{XK_Right}};
  case 40:
    return {{XK_Down}};
  case 45:
    return {{XK_Insert}};
  case 46:
    return {{XK_Delete}};
  default:
    return {};
  }
}

Display* QtDisplay() {
  auto* pApp = qGuiApp;
  if (pApp == nullptr || QGuiApplication::platformName() != QLatin1String("xcb")) {
    return nullptr;
  }
  auto* pX11 = pApp->nativeInterface<QNativeInterface::QX11Application>();
  return pX11 != nullptr ? pX11->display() : nullptr;
}

} // namespace

std::optional<bool> X11KEYDOWN(int nVirtualKey) {
  Display* pDisplay = QtDisplay();
  if (pDisplay == nullptr) {
    return std::nullopt;
  }
  char aKeys[32] = {};
  XQueryKeymap(pDisplay, aKeys);
  for (const KeySym nSym : SymsFor(nVirtualKey).a) {
    if (nSym == 0) {
      break;
    }
    const KeyCode nCode = XKeysymToKeycode(pDisplay, nSym);
    if (nCode != 0 && (aKeys[nCode / 8] & (1 << (nCode % 8))) != 0) {
      return true;
    }
  }
  return false;
}

} // namespace veltra::ui
