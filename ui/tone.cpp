// The tone service: the installed one, or the platform's own tone.
#include "ui/tone.h"

#include <utility>

namespace veltra::ui {
namespace {

ToneService& Service() {
  static ToneService bService;
  return bService;
}

} // namespace

ToneService SETTONESERVICE(ToneService bService) {
  return std::exchange(Service(), std::move(bService));
}

void TONE(int nHz, int nMs) {
  if (Service()) {
    Service()(nHz, nMs);
  } else {
    PLATFORMTONE(nHz, nMs);
  }
}

} // namespace veltra::ui
