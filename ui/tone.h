// The tone service: a short tone of a given pitch and length, asked for before question boxes.
#pragma once

#include <functional>

namespace veltra::ui {

using ToneService = std::function<void(int nHz, int nMs)>;

// Installs the service (an empty function restores the default: the desktop bell, since the
// program has no sound output of its own). Returns the previous service.
ToneService SETTONESERVICE(ToneService bService);

void TONE(int nHz, int nMs);

} // namespace veltra::ui
