// The desktop's URL opener (ShellExecuteA), the unrecoverable-error box (MessageBoxA), the
// running program's path and the process error mode, on Windows.
#include <windows.h>

#include "runtime/hooks.h"
#include "runtime/startup.h"

#include <cstdint>
#include <shellapi.h>
#include <vector>

namespace veltra::runtime {

bool OPENURL(const std::string& cUrl) {
  const HINSTANCE hResult =
      ::ShellExecuteA(nullptr, "open", cUrl.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  // Values above 32 mean success.
  return reinterpret_cast<std::intptr_t>(hResult) > 32;
}

bool ERRORBOX(const std::string& cCaption, const std::string& cText) {
  ::MessageBoxA(nullptr, cText.c_str(), cCaption.c_str(), MB_OK | MB_ICONERROR | MB_TASKMODAL);
  return true;
}

int SETERRORMODE(int nMode) {
  return static_cast<int>(::SetErrorMode(static_cast<UINT>(nMode)));
}

std::string GETMODULEFILENAME() {
  std::vector<char> aBuffer(MAX_PATH);
  for (;;) {
    const DWORD nLen =
        ::GetModuleFileNameA(nullptr, aBuffer.data(), static_cast<DWORD>(aBuffer.size()));
    if (nLen == 0) {
      return {};
    }
    if (nLen < aBuffer.size()) {
      return std::string(aBuffer.data(), nLen);
    }
    aBuffer.resize(aBuffer.size() * 2); // the name was cut: try a larger buffer
  }
}

} // namespace veltra::runtime
