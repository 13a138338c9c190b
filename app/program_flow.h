// The program's own entry: choose the image, read the port name, load the image, run the one
// window with its port link and transfer loop, and close the port when the window has gone.
#pragma once

#include "app/port_line.h"
#include "app/settings_names.h"
#include "app/transfer_loop.h"

#include <string>
#include <vector>

namespace veltra::ui {
class TDialog;
class TMultiGet;
} // namespace veltra::ui

namespace veltra::app {

// "VELTRA 1.00 " with the year and maker notice, and two blanks.
std::string BANNER();

// The transfer loop's surroundings: the real port write, pump, pause and key test, the log
// control oGet and the window oDlg that owns it.
TransferBinding BINDTRANSFER(ui::TDialog& oDlg, ui::TMultiGet& oGet);

// The one window over cPort: the dialog with its log, the port link set up in its init
// callback and the transfer loop run from its start callback; the port closed when it has
// gone. The step of the line's set-up that failed, LineStep::None when the port opened.
LineStep RUNWINDOW(const std::string& cPort);

// The first command-line argument, when it names a readable plain file, is the image and the
// chooser is skipped; the others are ignored.
void MAIN(const std::vector<std::string>& aArgs);

} // namespace veltra::app
