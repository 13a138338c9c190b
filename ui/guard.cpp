// The kept exception of a guarded callback.
#include "ui/guard.h"

#include "ui/dialog.h"

#include <exception>
#include <utility>

namespace veltra::ui {
namespace {

std::exception_ptr g_pPending; // user-interface thread only

} // namespace

void RUNGUARDED(const std::function<void()>& fn) {
  try {
    fn();
  } catch (...) {
    if (!g_pPending) {
      g_pPending = std::current_exception();
    }
    ENDALLDIALOGS();
  }
}

void RETHROWPENDING() {
  if (g_pPending) {
    std::rethrow_exception(std::exchange(g_pPending, nullptr));
  }
}

bool EXCEPTIONPENDING() {
  return static_cast<bool>(g_pPending);
}

} // namespace veltra::ui
