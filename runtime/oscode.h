// The platform's part of the system error numbering (OSCODEFROMERRNO): the errno values that
// only one platform's C library has.
#pragma once

namespace veltra::runtime::detail {

// The number for an errno value that only this platform has; 0 when it has no rule for it.
int PLATFORMOSCODE(int nErrno);

} // namespace veltra::runtime::detail
