// TControl: what every control of a dialog has: its id from the shared counter, its parent,
// its rectangle and style, and the get/set binding to a program variable.
#pragma once

#include "ui/window.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::ui {

class TDialog;

// Hands out control ids: 101 first, then on; after 30000 comes 100.
int NEXTCONTROLID();

// A get/set callback bound to cText: called with no value it returns cText, called with a
// value it stores it in cText and returns it. cText must outlive the control.
std::function<std::optional<std::string>(std::optional<std::string>)> BINDTEXT(std::string& cText);

class TControl : public TWindow {
public:
  // Called with no value it returns the variable, called with a value it stores it.
  using SetGet = std::function<std::optional<std::string>(std::optional<std::string>)>;

  TDialog* oWnd = nullptr; // parent
  SetGet bSetGet;
  int nId = 0;
  int nTop = 0;
  int nLeft = 0;
  int nBottom = 0;
  int nRight = 0;
  uint32_t nStyle = 0;
  uint32_t nExStyle = 0;
  std::function<bool()> bValid;
  std::function<bool()> bWhen;
  std::optional<std::string> cMsg;
  bool lUpdate = false;

  ~TControl() override;

  std::optional<std::string> VarGet() const;
  std::optional<std::string> VarPut(std::string cValue);

  // The window class of the control's item in a dialog template.
  virtual std::string_view ClassName() const = 0;
  // Creates the control's window inside the running dialog, from its item (id, rectangle).
  virtual void BuildItem(TDialog& oDlg) = 0;
  // Binds the control to its item in the dialog ("Non defined Id" when there is none).
  virtual void Initiate(TDialog& oDlg) = 0;
  // Moves the control's window (client-area coordinates of the parent, pixels).
  virtual void Move(int nX, int nY, int nWidth, int nHeight) = 0;
  virtual void SetFocus() = 0;
  // The dialog's window is going away: the control loses its window and handle.
  virtual void Detach();
  virtual void LostFocus() {}

  // Esc goes on to the parent, so Esc in a control ends the dialog.
  std::optional<long> KeyDown(int nKey, long nFlags) override;
};

} // namespace veltra::ui
