// What veltra-send does for each of its actions. Each returns the exit status.
#pragma once

#include "send/exit_status.h"

#include <optional>
#include <string>
#include <vector>

namespace veltra::send {

// Serves the device from each of aImages in turn (the next one from the device's first request
// after it ended the one before) on the port cPort, or the one VELTRA.INI in the current
// folder names (read as VELTRA reads it, never written). With nWaitSeconds, a port that does
// not exist yet is waited for (0: without a bound). The first exit status that is not 0. On
// the user-interface thread.
int SENDIMAGES(const std::vector<std::string>& aImages, const std::optional<std::string>& cPort,
               const std::optional<unsigned>& nWaitSeconds);

// Says for each image whether it is a whole disk and what a transfer would send; 0 when all
// are, else the first other status.
int CHECKIMAGES(const std::vector<std::string>& aImages);

// The serial ports present, one per line; 0.
int LISTPORTS();

} // namespace veltra::send
