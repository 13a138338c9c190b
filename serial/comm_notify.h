// Receive notification: the comm-notify message a port's receive worker sends to a window
// after each batch of received bytes, and the call that chooses that window. Platform-free:
// on Windows the message is the window message WM_COMMNOTIFY itself; on Linux it travels as
// the Qt event of comm_notify_qt.h over Qt's event loop, and as a call of the receiver
// (event_loop.h) over the poll loop.
#pragma once

// <windows.h> defines both names below as macros of the same values; they are dropped here so
// that these constants are the one definition. Win32 files include <windows.h> first.
#undef WM_COMMNOTIFY
#undef CN_RECEIVE

namespace veltra::serial {

// The comm-notify message: wParam is the port handle, lParam is always CN_RECEIVE.
inline constexpr int WM_COMMNOTIFY = 68;
inline constexpr int CN_RECEIVE = 1;

// Makes hWnd the window that the port's worker tells after each batch; 0 turns notification
// off. On Windows hWnd is the window's HWND as an integer (window handles fit in 32 bits).
// Triggers are ignored. Returns true, or false when nComm names no open port.
bool ENABLECOMMNOTIFICATION(int nComm, int hWnd, int nInTrigger, int nOutTrigger);

} // namespace veltra::serial
