// Where the front ends find the port: the settings file in the current folder, its section
// and key, and the port the window writes there when none is named. veltra and veltra-send
// read the very same names.
#pragma once

#include <string_view>

namespace veltra::app {

inline constexpr std::string_view kSettingsFileName = "VELTRA.INI";
// kSettingsFileName in the current folder, as the settings functions take it.
inline constexpr const char* kSettingsFile = ".\\VELTRA.INI";
inline constexpr const char* kSettingsSection = "Impostazioni";
inline constexpr const char* kSettingsPort = "Porta";
inline constexpr const char* kDefaultPort = "COM1";

} // namespace veltra::app
