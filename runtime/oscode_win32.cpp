// The system error numbering on Windows: the C runtime there has no errno values beyond those
// every platform has (no "no medium", no "quota"), and the file calls' own GetLastError codes
// are already in this numbering.
#include "runtime/oscode.h"

namespace veltra::runtime::detail {

int PLATFORMOSCODE(int /*nErrno*/) {
  return 0;
}

} // namespace veltra::runtime::detail
