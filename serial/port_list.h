// The serial ports present on this machine, for a person looking for the right port name:
// each device path with its stable name, what is plugged in, and whether it can be used.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltra::serial {

// Where the listing looks: the kernel's device tree, the device folder and the process
// folder (for the system consoles and for the programs holding a port).
struct PortRoots {
  std::string cSys = "/sys";
  std::string cDev = "/dev";
  std::string cProc = "/proc";
};

// The defaults, each replaced by VELTRA_SYSFS, VELTRA_DEVFS or VELTRA_PROCFS where set.
PortRoots PORTROOTS();

struct PortInfo {
  std::string cName;   // "ttyUSB0"
  std::string cPath;   // the device path: cDev + "/ttyUSB0"
  std::string cById;   // the name under cDev/serial/by-id that stays across replugs, or empty
  std::string cVendor; // USB adapters: manufacturer and product as the adapter reports them
  std::string cProduct;
  std::string cUsbId;    // "0403:6001"
  bool lConsole = false; // the system console: never to be used for a transfer
  bool lAccessible = true;
  std::string cHeldBy; // "picocom (pid 812)" when another program has the port open
};

// Every port with a device behind it (the placeholders of absent built-in ports are left
// out), in natural name order (ttyS2 before ttyS10).
std::vector<PortInfo> LISTPORTS(const PortRoots& oRoots = PORTROOTS());

// One line: the path, the stable name, vendor and product, then what stands in the way.
std::string FORMATPORT(const PortInfo& oPort);

// What a device reports, fit to be shown: every control byte becomes \xNN.
std::string PRINTABLE(std::string_view cText);

} // namespace veltra::serial
