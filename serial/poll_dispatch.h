// The poll loop's one wait, shared by its message pump and its descriptor watches.
// User-interface thread only.
#pragma once

namespace veltra::serial::detail {

// Waits up to nTimeoutMs (0: only looks) until the doorbell rang or a watched descriptor is
// readable. Answers the doorbell first; then, unless lStopAfterDoorbell() holds, runs the
// callback of each watch found readable. A signal that ends the wait early ends the call.
void RunReady(int nTimeoutMs, bool (*lStopAfterDoorbell)());

} // namespace veltra::serial::detail
