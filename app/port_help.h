// What the port popup says after its first line when a port cannot be opened: why, in plain
// words; the serial ports present, as the system names them; and where the settings file is,
// with the line to put in it. For a person who never sees standard error.
#pragma once

#include "serial/port_list.h"

#include <cstddef>
#include <string>
#include <vector>

namespace veltra::app {

// Ports listed at most; the rest are counted.
inline constexpr std::size_t kPortsShown = 20;

// The help for cDevice, which OPENCOMM refused with nErrno, given the ports present and the
// full path of the settings file. Lines end in CR LF; what devices and paths report is shown
// with control bytes (and the popup's own marks) as \xNN.
std::string PORTOPENHELP(const std::string& cDevice, int nErrno,
                         const std::vector<serial::PortInfo>& aPorts,
                         const std::string& cSettingsPath);

} // namespace veltra::app
