// CGETFILE on Win32: GetOpenFileNameA (GetSaveFileNameA for the save form) with the request's
// filter, title, start folder, flags and file-name buffer. The process's current directory
// is the same after the call as before it, whatever the dialog did.
#include "ui/file_chooser.h"

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

#include <string>

namespace veltra::ui {
namespace {

// The current directory when made, put back when gone. OFN_NOCHANGEDIR does not keep the
// open dialog from moving the current directory (it is documented for the save dialog
// only), and the program reads and writes .\VELTRA.INI there afterwards.
class KeepCurrentDirectory {
public:
  KeepCurrentDirectory() {
    const DWORD nSize = GetCurrentDirectoryA(0, nullptr);
    if (nSize > 0) {
      cDir_.resize(nSize);
      const DWORD nLength = GetCurrentDirectoryA(nSize, cDir_.data());
      cDir_.resize(nLength < nSize ? nLength : 0);
    }
  }
  ~KeepCurrentDirectory() {
    if (!cDir_.empty()) {
      SetCurrentDirectoryA(cDir_.c_str());
    }
  }
  KeepCurrentDirectory(const KeepCurrentDirectory&) = delete;
  KeepCurrentDirectory& operator=(const KeepCurrentDirectory&) = delete;

private:
  std::string cDir_;
};

} // namespace

std::string FILEDIALOG(const FileRequest& oRequest) {
  // Buffers of the call's own, released when it returns.
  std::string cFile = oRequest.cFile;
  cFile.resize(oRequest.nMaxFile, '\0');
  const std::string cFilterBuffer = oRequest.cFilterBuffer;
  const std::string cDir = oRequest.cInitDir;
  const std::string cDialogTitle = oRequest.cTitle;

  // The form without the later additions (places bar, extended flags), as the flags expect.
  OPENFILENAMEA oOpen{};
  oOpen.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  oOpen.hwndOwner = GetActiveWindow();
  oOpen.lpstrFilter = cFilterBuffer.c_str();
  oOpen.nFilterIndex = static_cast<DWORD>(oRequest.nFilterIndex);
  oOpen.lpstrFile = cFile.data();
  oOpen.nMaxFile = static_cast<DWORD>(cFile.size());
  oOpen.lpstrInitialDir = cDir.c_str();
  oOpen.lpstrTitle = cDialogTitle.c_str();
  oOpen.Flags = oRequest.nFlags;
  BOOL lOk = FALSE;
  {
    const KeepCurrentDirectory oKeep;
    lOk = oRequest.lSave ? GetSaveFileNameA(&oOpen) : GetOpenFileNameA(&oOpen);
  }
  if (!lOk) {
    return "";
  }
  if (!oRequest.lSave && (oRequest.nFlags & OFN_ALLOWMULTISELECT) != 0) {
    return cFile; // the folder and the names, zero-separated
  }
  return cFile.substr(0, cFile.find('\0'));
}

} // namespace veltra::ui
