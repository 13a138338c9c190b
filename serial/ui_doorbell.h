// A doorbell for the user-interface thread. Any thread rings it (a write to an eventfd: no
// allocation, no call into the event loop); the user-interface thread answers inside its
// event handling: over Qt through a socket notifier, in whatever event loop runs (SYSREFRESH,
// SYSWAIT, a dialog's own loop); over the poll loop in every poll of SYSREFRESH and SYSWAIT.
// Receive workers hand over their notifications this way, and WAKEWAIT reaches the thread
// from elsewhere.
#pragma once

namespace veltra::serial::detail {

void RingUiThread();

// Creates the answering side. Does nothing off the user-interface thread or when already done;
// until it is done, rings wait and are answered then.
void PrepareUiThread();

bool OnUiThread();

// The answer to comm notifications, run on the user-interface thread each time the doorbell
// rang: defined with the comm notification.
void DeliverCommNotifications();

// Linux, for both event loops (ui_doorbell_eventfd.cpp): the eventfd each loop watches, its
// answer (the comm notifications, then a wake request), and the quit request as POSTQUITMESSAGE
// left it: QuitPosted looks, TakeQuitPosted takes it (true once per request).
int DoorbellFd();
void AnswerDoorbell();
bool QuitPosted();
bool TakeQuitPosted();

// Ends the wait of SYSWAIT in progress, or makes the next one return at once. On the
// user-interface thread only; defined by each loop's message pump.
void WakeOnUiThread();

} // namespace veltra::serial::detail
