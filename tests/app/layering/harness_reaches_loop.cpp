// Compiled with harness/'s include path: the rest of app/, which harness/ does not link, must
// not be found.
#include "app/transfer_loop.h"
