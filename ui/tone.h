// The tone service: a short tone of a given pitch and length, asked for before question boxes.
#pragma once

#include <functional>

namespace veltra::ui {

using ToneService = std::function<void(int nHz, int nMs)>;

// Installs the service (an empty function restores the default, the platform's own tone).
// Returns the previous service.
ToneService SETTONESERVICE(ToneService bService);

void TONE(int nHz, int nMs);

// The platform's own tone: Beep on Windows, the desktop bell on Qt.
void PLATFORMTONE(int nHz, int nMs);

} // namespace veltra::ui
