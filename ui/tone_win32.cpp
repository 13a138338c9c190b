// The platform's tone on Windows: Beep, the pitch and length as asked.
// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/tone.h"

#include <windows.h>
// clang-format on

namespace veltra::ui {

void PLATFORMTONE(int nHz, int nMs) {
  Beep(static_cast<DWORD>(nHz), static_cast<DWORD>(nMs));
}

} // namespace veltra::ui
