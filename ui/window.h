// TWindow, the base of every window object: its handle, the comm-notify callback slot and
// HandleEvent, which turns the few window messages this program meets into method calls.
// The toolkit side (the widget, the receiver behind the handle) lives in a peer object that
// only the platform files see.
#pragma once

#include "serial/comm_notify.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace veltra::ui {

// Window messages dispatched by HandleEvent.
inline constexpr int WM_CLOSE = 0x0010;
using serial::WM_COMMNOTIFY;
inline constexpr int WM_KEYDOWN = 0x0100;
inline constexpr int WM_COMMAND = 0x0111;
using serial::CN_RECEIVE;

// Command ids.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

// Window style bits.
inline constexpr uint32_t WS_POPUP = 0x80000000U;
inline constexpr uint32_t WS_CHILD = 0x40000000U;
inline constexpr uint32_t WS_VISIBLE = 0x10000000U;
inline constexpr uint32_t WS_CAPTION = 0x00C00000U;
inline constexpr uint32_t WS_BORDER = 0x00800000U;
inline constexpr uint32_t WS_DLGFRAME = 0x00400000U;
inline constexpr uint32_t WS_VSCROLL = 0x00200000U;
inline constexpr uint32_t WS_HSCROLL = 0x00100000U;
inline constexpr uint32_t WS_SYSMENU = 0x00080000U;
inline constexpr uint32_t WS_THICKFRAME = 0x00040000U;
inline constexpr uint32_t WS_MINIMIZEBOX = 0x00020000U;
inline constexpr uint32_t WS_MAXIMIZEBOX = 0x00010000U;
inline constexpr uint32_t WS_TABSTOP = 0x00010000U;
inline constexpr uint32_t DS_MODALFRAME = 0x00000080U;
inline constexpr uint32_t WS_EX_CLIENTEDGE = 0x00000200U;

// A font request: face and character height in pixels (negative, as the font objects give it).
// The face "System" stands for the desktop's own default face.
struct TFont {
  std::string cFaceName = "System";
  int nWidth = 0;
  int nHeight = -12;
  bool lBold = false;
  bool lItalic = false;
};

class WindowPeer; // toolkit side, see window_qt.h

class TWindow {
public:
  // Comm-notify callback: port handle and status (always CN_RECEIVE).
  using CommNotifyBlock = std::function<void(int nComm, int nStatus)>;

  int hWnd = 0;
  CommNotifyBlock bCommNotify;

  TWindow();
  virtual ~TWindow();
  TWindow(const TWindow&) = delete;
  TWindow& operator=(const TWindow&) = delete;

  // Calls the method for nMsg. No value means "not handled": the caller applies the default.
  virtual std::optional<long> HandleEvent(int nMsg, long nWParam, long nLParam);

  // Calls bCommNotify with the port handle and the status; false when no callback is set.
  bool CommNotify(int nComm, int nStatus);

  virtual std::optional<long> Close(long nWParam);
  virtual std::optional<long> KeyDown(int nKey, long nFlags);
  virtual std::optional<long> Command(long nWParam, long nLParam);

  WindowPeer& Peer() const { return *oPeer_; }

protected:
  // Gives the window its handle (a receiver on the user-interface thread, registered so that
  // workers can post to it) and takes it away again.
  void BindHandle();
  void ReleaseHandle();

private:
  std::unique_ptr<WindowPeer> oPeer_;
};

// Paints at once what is waiting to be painted in the window (and the rest of its top-level
// window); no other event is handled. Nothing happens for a window without its widget.
void UPDATEWINDOW(const TWindow& oWnd);

} // namespace veltra::ui
