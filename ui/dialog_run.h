// What the dialog class shares between its platform-free part and the platform's running
// window: the end request, and the state kept for all dialogs.
#pragma once

#include "ui/dialog.h"

#include <vector>

namespace veltra::ui {

// End was accepted: the running window closes with nCode. During initiation it is then never
// shown; from inside the start callback it closes once that callback has returned.
void ENDRUN(DialogRun& oRun, int nCode);

// Activate's steps that are the same on every platform, around the platform's owner window
// and modal run. From construction to destruction the dialog counts as running (its last key
// cleared at the start); once armed it is visible until the end.
class DialogActivation {
public:
  explicit DialogActivation(TDialog& oDlg);
  ~DialogActivation();
  DialogActivation(const DialogActivation&) = delete;
  DialogActivation& operator=(const DialogActivation&) = delete;

  // The dialog opens inside another dialog or a modal loop: without an owner window of its
  // own, it is owned by the active window.
  bool Nested() const;
  // Takes Activate's arguments into their fields and asks the when callback; false, with the
  // result IDCANCEL, when the dialog is not to run.
  bool Arm(TDialog::ActivateArgs oArgs);

private:
  TDialog& oDlg_;
  bool lArmed_ = false;
};

// Enter in a dialog: the keyboard focus moves on to the next control of its window.
void FOCUSNEXTCONTROL(TDialog& oDlg);

// The dialogs whose run is pending or running, innermost last (each TDialog::Run() is set):
// each platform's run adds its dialog when it is made and takes it out when it goes.
std::vector<TDialog*>& OpenRuns();

int& DIALOGCOUNT();       // dialogs inside Activate
bool& MODALLOOPRUNNING(); // a modal loop runs
bool DIALOGESC();         // Esc closes dialogs
bool CENTERONPARENT();    // centred dialogs are centred on their owner

} // namespace veltra::ui
