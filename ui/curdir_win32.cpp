// The current-directory helpers on Windows: drive letters, and "\" for a network path.
// Our headers come before <windows.h>: they declare names that it defines as macros.
// clang-format off
#include "ui/file_chooser.h"

#include <windows.h>
// clang-format on

namespace veltra::ui {
namespace {

// The current directory, "" when it cannot be read or does not fit the 264-byte buffer.
std::string CurrentDirectory() {
  char cDir[264];
  const DWORD n = GetCurrentDirectoryA(sizeof cDir, cDir);
  return n == 0 || n >= sizeof cDir ? std::string() : std::string(cDir, n);
}

} // namespace

std::string CURDRIVE() {
  const std::string cDir = CurrentDirectory();
  if (cDir.size() >= 2 && cDir[1] == ':') {
    const char c = static_cast<char>(cDir[0] & ~0x20); // upper case
    return std::string(1, c >= 'A' && c <= 'Z' ? c : '@');
  }
  return cDir.empty() ? std::string() : cDir.substr(0, 1);
}

std::string CURDIR() {
  std::string cDir = CurrentDirectory();
  if (cDir.size() >= 2 && cDir[1] == ':') {
    cDir.erase(0, 2);
  }
  if (!cDir.empty() && (cDir.front() == '\\' || cDir.front() == '/' || cDir.front() == ':')) {
    cDir.erase(0, 1);
  }
  if (!cDir.empty() && (cDir.back() == '\\' || cDir.back() == '/' || cDir.back() == ':')) {
    cDir.pop_back();
  }
  return cDir;
}

std::string CURDIRPATH() {
  const std::string cDrive = CURDRIVE();
  return (cDrive == "\\" ? std::string() : cDrive + ":") + "\\" + CURDIR();
}

} // namespace veltra::ui
