// The allocator's settings for this program, with glibc's mallopt.
#include "runtime/startup.h"

#include <malloc.h>

namespace veltra::runtime {

void TUNEHEAP() {
  // Blocks up to 32 MiB come from the heap and stay there once freed. The allocator would
  // otherwise map each block above its moving threshold on its own and unmap it when freed;
  // a text that grows by one line at a time (the log) is then copied into fresh pages every
  // time, a page fault per 4 KiB.
  constexpr int kKeepBytes = 32 << 20;
  mallopt(M_MMAP_THRESHOLD, kKeepBytes);
  mallopt(M_TRIM_THRESHOLD, kKeepBytes);
}

} // namespace veltra::runtime
