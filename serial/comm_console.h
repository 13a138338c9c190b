// Devices a port must never be: an active system console and the process's own controlling
// terminal. Sending an image there, or answering a command typed there, would be unsafe.
// OPENCOMM refuses them, and so does the device emulator (tools/) for the ports it opens.
#pragma once

#include <string>

namespace veltra::serial {

// ECOMMCONSOLE or ECOMMOWNTERMINAL (comm_port.h) when the device at cPath must not be opened
// as a port, ENOTTY when it is no terminal driver's character device (links followed), 0
// otherwise (also when it cannot be looked at: the open will tell).
int PathRefusal(const std::string& cPath);

// The same for a terminal already open as nFd (the path may have changed since it was looked
// at, and the controlling terminal is told by its descriptor).
int DeviceRefusal(int nFd);

// The list of active consoles, in the form of the kernel's /proc/consoles (a name per line,
// then flags, then major:minor). Tests name a file of their own; returns the previous path.
std::string SetConsolesList(std::string cPath);

} // namespace veltra::serial
