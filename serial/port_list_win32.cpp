// The serial ports of a Windows machine: every name COM1 to COM256 that the object manager
// knows (QueryDosDeviceA), with the device it stands for ("\Device\Serial0", a USB adapter's
// own device name). Windows keeps no folder tree to look into, so the roots are not used, and
// whether another program holds a port shows only when it is opened.
#include <windows.h>

#include "serial/port_list.h"

#include <array>
#include <string>

namespace veltra::serial {

PortRoots PORTROOTS() {
  return {};
}

std::vector<PortInfo> LISTPORTS(const PortRoots& /*oRoots*/) {
  std::vector<PortInfo> aPorts;
  std::array<char, 1024> aTarget{};
  for (int n = 1; n <= 256; ++n) {
    const std::string cName = "COM" + std::to_string(n);
    if (::QueryDosDeviceA(cName.c_str(), aTarget.data(), static_cast<DWORD>(aTarget.size())) == 0) {
      continue;
    }
    PortInfo oPort;
    oPort.cName = cName;
    oPort.cPath = cName;
    oPort.cProduct = aTarget.data(); // the first target of the name
    aPorts.push_back(std::move(oPort));
  }
  return aPorts;
}

std::string FORMATPORT(const PortInfo& o) {
  return o.cProduct.empty() ? PRINTABLE(o.cPath) : PRINTABLE(o.cPath + "  " + o.cProduct);
}

} // namespace veltra::serial
