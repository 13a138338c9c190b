// Compiled with the transfer loop's include path: its own headers are there.
#include "app/transfer_loop.h"
