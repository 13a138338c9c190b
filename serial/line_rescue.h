// The last way to put the serial lines back: from a signal handler that ends the process at
// once, or at an exit from deep inside, when closing the ports the ordinary way cannot run
// (their worker threads, their locks). Linux only.
#pragma once

namespace veltra::serial {

// Puts every open port's line settings back as they were when it was opened. Async-signal-
// safe: it only reads what the open published and calls tcsetattr.
void RESTOREALLLINES();

} // namespace veltra::serial
