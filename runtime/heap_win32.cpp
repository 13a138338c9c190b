// The allocator's settings on Windows: the process heap needs no tuning for this program (it
// keeps freed blocks for reuse by itself), so there is nothing to set.
#include "runtime/startup.h"

namespace veltra::runtime {

void TUNEHEAP() {}

} // namespace veltra::runtime
