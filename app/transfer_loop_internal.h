// Puts the loop's module variables back to their start values: for tests, and for a front end
// that serves several disks one after the other.
#pragma once

namespace veltra::app {

void RESETTRANSFERSTATE();

} // namespace veltra::app
