// The port picker: when the port in the settings cannot be opened, a modal window titled
// "Porta seriale" lists the serial ports instead of leaving the user to edit the settings
// file. Ports that cannot serve a transfer (the system console, a port another program
// holds, a port without access) are listed but cannot be chosen; the list follows adapters
// being plugged in and out while the window is open.
#pragma once

#include "serial/port_list.h"

#include <optional>
#include <string>

namespace veltra::ui {

// Whether the port may be chosen for a transfer.
bool PORTCHOOSABLE(const serial::PortInfo& oPort);

// The name the settings file is to hold for the port: on Linux the stable name under
// /dev/serial/by-id where there is one, else the device path; on Windows "COMn".
std::string PORTSETTING(const serial::PortInfo& oPort);

// The port's line in the list, with what stands in the way of choosing it. Names are kept as
// the system gives them (UTF-8 on Linux, the ANSI code page on Windows); control bytes become
// \xNN.
std::string PORTPICKERLINE(const serial::PortInfo& oPort);

// Shows the picker over the ports found under oRoots (Linux) and waits. The chosen port's
// PORTSETTING, or no value when the user cancelled (Esc, "Annulla", the window closed).
std::optional<std::string> CHOOSEPORT(const serial::PortRoots& oRoots = serial::PORTROOTS());

} // namespace veltra::ui
