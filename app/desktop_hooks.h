// Connects the runtime services to the desktop: popups through the message box, the mail
// report through the desktop's URL opener, the unrecoverable-error box, the quit request
// through the message pump, and the window classes' errors through the error handler.
#pragma once

namespace veltra::app {

void INSTALLDESKTOPHOOKS();

// The platform's part: the desktop's URL opener and the unrecoverable-error box.
void INSTALLPLATFORMHOOKS();

} // namespace veltra::app
