// What veltra-send does for each of its actions. Each returns the exit status.
#pragma once

#include "send/exit_status.h"

#include <optional>
#include <string>

namespace veltra::send {

// Serves the device from cImage on the port cPort, or the one VELTRA.INI in the current
// folder names (read as VELTRA reads it, never written). On the user-interface thread.
int SENDIMAGE(const std::string& cImage, const std::optional<std::string>& cPort);

// Says whether cImage is a whole disk and what a transfer would send; 0 when it is.
int CHECKIMAGE(const std::string& cImage);

// The serial ports present, one per line; 0.
int LISTPORTS();

} // namespace veltra::send
