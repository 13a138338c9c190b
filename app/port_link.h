// The port link: opens and configures the serial port named in the settings, ties its
// receive notification to the window, and moves received bytes into the receive buffer.
#pragma once

#include "app/port_line.h"

#include <string>

namespace veltra::ui {
class TDialog;
}

namespace veltra::app {

// Opens the port at 115200 baud, 8N2, and arms notification for oDlg. The port handle, or -1
// after a popup has told the user what failed (the port is then closed again); pFailed, when
// given, receives the step that failed.
int APRICOM(ui::TDialog& oDlg, const std::string& cPort, LineStep* pFailed = nullptr);

} // namespace veltra::app
