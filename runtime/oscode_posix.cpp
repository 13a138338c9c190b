// The errno values of the system error numbering that only the Linux C library has.
#include "runtime/oscode.h"

#include <cerrno>

namespace veltra::runtime::detail {

int PLATFORMOSCODE(int nErrno) {
  switch (nErrno) {
  case ENOMEDIUM:
    return 21;
  case EDQUOT:
    return 112;
  default:
    return 0;
  }
}

} // namespace veltra::runtime::detail
