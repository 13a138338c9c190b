// Compiled with the transfer loop's include path: the window layer, which the loop does not
// link, must not be found.
#include "ui/window.h"
