// The port link: opens and configures the serial port named in the settings, ties its
// receive notification to the window, and moves received bytes into the receive buffer.
#pragma once

#include <string>

namespace veltra::ui {
class TDialog;
}

namespace veltra::app {

// Opens the port at 115200 baud, 8N2, and arms notification for oDlg. The port handle, or -1
// after a popup has told the user what failed (the port is then closed again).
int APRICOM(ui::TDialog& oDlg, const std::string& cPort);

// Moves the waiting bytes (at most 1000) into the transfer loop's receive buffer.
void CONNECT(int nComm);

// At most 1000 bytes received on the port, exactly as many as were waiting.
std::string RECEIVESTR(int nComm);

// One line for standard error saying which device could not be opened and what to do about
// it, from the reason OPENCOMM left in errno (the system's, or ECOMMCONSOLE / ECOMMOWNTERMINAL).
std::string OPENFAILUREHINT(const std::string& cDevice, int nErrno);

} // namespace veltra::app
