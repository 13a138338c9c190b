// The guard that carries an exception thrown by a callback (a break or quit of the error
// handler) past the toolkit's event dispatch, which it must not cross.
#pragma once

#include <functional>

namespace veltra::ui {

// Runs fn. An exception leaving it is kept, every running dialog is ended, and the Activate
// that ran the modal loop rethrows it.
void RUNGUARDED(const std::function<void()>& fn);

// Rethrows and clears the kept exception, if any.
void RETHROWPENDING();
bool EXCEPTIONPENDING();

} // namespace veltra::ui
