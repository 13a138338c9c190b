// The platform's tone on Windows: Beep, the pitch and length as asked.
#include "ui/tone.h"

#include <windows.h>

namespace veltra::ui {

void PLATFORMTONE(int nHz, int nMs) {
  Beep(static_cast<DWORD>(nHz), static_cast<DWORD>(nMs));
}

} // namespace veltra::ui
