// CGETFILE on Win32: GetOpenFileNameA (GetSaveFileNameA for the save form) with the request's
// filter, title, start folder, flags and file-name buffer.
#include "ui/file_chooser.h"

// <windows.h> first: the other system headers build on it.
// clang-format off
#include <windows.h>
#include <commdlg.h>
// clang-format on

namespace veltra::ui {

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
  const BOOL lOk = oRequest.lSave ? GetSaveFileNameA(&oOpen) : GetOpenFileNameA(&oOpen);
  if (!lOk) {
    return "";
  }
  if (!oRequest.lSave && (oRequest.nFlags & OFN_ALLOWMULTISELECT) != 0) {
    return cFile; // the folder and the names, zero-separated
  }
  return cFile.substr(0, cFile.find('\0'));
}

} // namespace veltra::ui
