// The serial ports of a Windows machine, as Device Manager names them: every device of the
// Ports class that is present, with its COM name (PortName in the device's registry key) and
// its friendly name ("USB Serial Port (COM3)"); then every other name COM1 to COM256 that the
// object manager knows (QueryDosDeviceA: virtual ports and drivers outside the class), with
// the device it stands for. Windows keeps no folder tree to look into, so the roots are not
// used, and whether another program holds a port shows only when it is opened.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "serial/port_list.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <string>

namespace veltra::serial {
namespace {

// The Ports (COM and LPT) device setup class, GUID_DEVCLASS_PORTS.
constexpr GUID kPortsClass = {
    0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

// The number of a "COMn" name (any letter case), 0 for any other name.
int ComNumber(const std::string& cName) {
  if (cName.size() < 4 || (cName[0] | 0x20) != 'c' || (cName[1] | 0x20) != 'o' ||
      (cName[2] | 0x20) != 'm' ||
      !std::all_of(cName.begin() + 3, cName.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return 0;
  }
  return std::atoi(cName.c_str() + 3);
}

// A registry or device string of nSize bytes, without the terminating zero it may or may not
// have.
std::string StoredText(const char* pData, DWORD nSize) {
  std::string c(pData, nSize);
  return c.substr(0, c.find('\0'));
}

void AddClassPorts(std::vector<PortInfo>& aPorts) {
  const HDEVINFO hSet = ::SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (hSet == INVALID_HANDLE_VALUE) {
    return;
  }
  SP_DEVINFO_DATA oDevice{};
  oDevice.cbSize = sizeof oDevice;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(hSet, i, &oDevice); ++i) {
    const HKEY hKey =
        ::SetupDiOpenDevRegKey(hSet, &oDevice, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_QUERY_VALUE);
    if (hKey == INVALID_HANDLE_VALUE) {
      continue;
    }
    std::array<char, 256> aName{};
    DWORD nType = 0;
    DWORD nSize = static_cast<DWORD>(aName.size());
    const LSTATUS nStatus = ::RegQueryValueExA(hKey, "PortName", nullptr, &nType,
                                               reinterpret_cast<BYTE*>(aName.data()), &nSize);
    ::RegCloseKey(hKey);
    if (nStatus != ERROR_SUCCESS || nType != REG_SZ) {
      continue;
    }
    PortInfo oPort;
    oPort.cName = StoredText(aName.data(), nSize);
    if (ComNumber(oPort.cName) == 0) {
      continue; // a printer port (LPTn) of the same class
    }
    oPort.cPath = oPort.cName;
    std::array<char, 512> aFriendly{};
    DWORD nNeeded = 0;
    if (::SetupDiGetDeviceRegistryPropertyA(hSet, &oDevice, SPDRP_FRIENDLYNAME, &nType,
                                            reinterpret_cast<BYTE*>(aFriendly.data()),
                                            static_cast<DWORD>(aFriendly.size()), &nNeeded) &&
        nType == REG_SZ) {
      oPort.cProduct = StoredText(aFriendly.data(),
                                  std::min<DWORD>(nNeeded, static_cast<DWORD>(aFriendly.size())));
    }
    aPorts.push_back(std::move(oPort));
  }
  ::SetupDiDestroyDeviceInfoList(hSet);
}

} // namespace

PortRoots PORTROOTS() {
  return {};
}

std::vector<PortInfo> LISTPORTS(const PortRoots& /*oRoots*/) {
  std::vector<PortInfo> aPorts;
  AddClassPorts(aPorts);
  std::array<char, 1024> aTarget{};
  for (int n = 1; n <= 256; ++n) {
    const std::string cName = "COM" + std::to_string(n);
    const bool lKnown = std::any_of(aPorts.begin(), aPorts.end(),
                                    [n](const PortInfo& o) { return ComNumber(o.cName) == n; });
    if (lKnown ||
        ::QueryDosDeviceA(cName.c_str(), aTarget.data(), static_cast<DWORD>(aTarget.size())) == 0) {
      continue;
    }
    PortInfo oPort;
    oPort.cName = cName;
    oPort.cPath = cName;
    oPort.cProduct = aTarget.data(); // the first target of the name
    aPorts.push_back(std::move(oPort));
  }
  std::stable_sort(aPorts.begin(), aPorts.end(), [](const PortInfo& a, const PortInfo& b) {
    return ComNumber(a.cName) < ComNumber(b.cName);
  });
  return aPorts;
}

std::string FORMATPORT(const PortInfo& o) {
  return o.cProduct.empty() ? PRINTABLE(o.cPath) : PRINTABLE(o.cPath + "  " + o.cProduct);
}

} // namespace veltra::serial
