// What the dialog class shares between its platform-free part and the platform's running
// window: the end request, and the state kept for all dialogs.
#pragma once

#include "ui/dialog.h"

namespace veltra::ui {

// End was accepted: the running window closes with nCode. During initiation it is then never
// shown; from inside the start callback it closes once that callback has returned.
void ENDRUN(DialogRun& oRun, int nCode);

int& DIALOGCOUNT();       // dialogs inside Activate
bool& MODALLOOPRUNNING(); // a modal loop runs
bool DIALOGESC();         // Esc closes dialogs
bool CENTERONPARENT();    // centred dialogs are centred on their owner

} // namespace veltra::ui
