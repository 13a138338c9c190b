// For tests: puts the loop's module variables back to their start values.
#pragma once

namespace veltra::app {

void RESETTRANSFERSTATE();

} // namespace veltra::app
