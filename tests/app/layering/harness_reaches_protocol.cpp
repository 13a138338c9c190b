// Compiled with harness/'s include path: the protocol's values are there.
#include "app/protocol.h"
