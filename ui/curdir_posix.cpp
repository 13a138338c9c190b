// The current-directory helpers on a system without drive letters: the drive is the root "/".
#include "ui/file_chooser.h"

#include <cerrno>
#include <unistd.h>

namespace veltra::ui {

std::string CURDRIVE() {
  return "/";
}

std::string CURDIR() {
  std::string cDir(256, '\0');
  while (getcwd(cDir.data(), cDir.size()) == nullptr) {
    if (errno != ERANGE) {
      return "";
    }
    cDir.resize(cDir.size() * 2);
  }
  cDir.resize(cDir.find('\0'));
  if (!cDir.empty() && cDir.front() == '/') {
    cDir.erase(0, 1);
  }
  if (!cDir.empty() && cDir.back() == '/') {
    cDir.pop_back();
  }
  return cDir;
}

std::string CURDIRPATH() {
  const std::string cDrive = CURDRIVE();
  return (cDrive == "/" ? std::string() : cDrive + ":") + "/" + CURDIR();
}

} // namespace veltra::ui
