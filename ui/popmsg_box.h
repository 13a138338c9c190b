// What POPMSG asks of the platform: the modal message box and the one progress box. Texts are
// in the Windows code page with CR LF line breaks.
#pragma once

#include <string_view>

namespace veltra::ui {

// Shows the box with the buttons, icon and default button of nFlags, owned by the active
// window; returns the id of the button that closed it (Esc and the close button count as
// Cancel where there is one, else as the last button).
int SHOWMESSAGEBOX(int nFlags, std::string_view cText, std::string_view cTitle);

bool PROGRESSBOXOPEN();
void PROGRESSBOXCREATE(std::string_view cText, std::string_view cTitle, bool lProgress, bool lPage);
void PROGRESSBOXSETTEXT(std::string_view cText);
void PROGRESSBOXSETPOS(int nPos);
void PROGRESSBOXNEXTPAGE();
// Closes the open progress box, if any.
void PROGRESSBOXCLOSE();

} // namespace veltra::ui
