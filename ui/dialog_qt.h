// Toolkit helpers shared by the dialog and its controls.
#pragma once

#include "ui/dialog.h"

#include <QFont>
#include <QWidget>
#include <optional>

namespace veltra::ui {

// The child widget built for control id nId in the dialog's window; null when there is none.
QWidget* DIALOGITEM(const TDialog& oDlg, int nId);

// The Qt font for a font request; "System" is the desktop's default face.
QFont QFONTOF(const TFont& oFont);

// Widget property holding a control's id.
inline constexpr const char* kControlIdProperty = "veltraControlId";

} // namespace veltra::ui
