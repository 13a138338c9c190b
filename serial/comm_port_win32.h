// What the Win32 port layer shows of an open port beyond serial/comm_port.h: its device handle,
// for code that looks at the device itself (the Windows suites read back the line settings and
// time-outs a port has set).
#pragma once

#include <windows.h>

namespace veltra::serial::detail {

// The device handle of an open port, still owned by the port; nullptr when the handle is not
// open.
HANDLE DeviceHandle(int nComm);

} // namespace veltra::serial::detail
