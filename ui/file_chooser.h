// CGETFILE: the file-open (or save) dialog with its argument rules, and the current-directory
// helpers CURDRIVE and CURDIR.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::ui {

inline constexpr uint32_t OFN_OVERWRITEPROMPT = 0x2;
inline constexpr uint32_t OFN_HIDEREADONLY = 0x4;
inline constexpr uint32_t OFN_NOCHANGEDIR = 0x8;
inline constexpr uint32_t OFN_ALLOWMULTISELECT = 0x200;
inline constexpr uint32_t OFN_PATHMUSTEXIST = 0x800;
inline constexpr uint32_t OFN_FILEMUSTEXIST = 0x1000;
inline constexpr uint32_t OFN_LONGNAMES = 0x200000;

struct FileFilter {
  std::string cDescription;
  std::string cPattern; // empty when the filter text had no "|" for this entry
  friend bool operator==(const FileFilter&, const FileFilter&) = default;
};

// What the dialog is asked to show, from CGETFILE's arguments.
struct FileRequest {
  std::string cFilterBuffer; // entries separated by zero bytes, two zero bytes at the end
  std::vector<FileFilter> aFilters;
  std::string cFile; // initial file name
  std::string cTitle;
  std::string cInitDir; // empty: the current directory
  int nFilterIndex = 1; // 1-based
  uint32_t nFlags = 0;
  bool lSave = false;
  std::size_t nMaxFile = 256;
};

// The argument rules; no value when the call has no argument at all.
std::optional<FileRequest>
CGETFILEREQUEST(std::optional<std::string_view> cFilter,
                std::optional<std::string_view> cTitle = {}, std::optional<int> nIndex = {},
                std::optional<std::string_view> cInitDir = {}, std::optional<bool> lSave = {},
                std::optional<bool> lLongNames = {}, std::optional<uint32_t> nFlags = {},
                std::optional<std::string_view> cInitFile = {});

// The result for the chosen paths (none: cancelled, ""). With multi-select: the whole buffer
// (the path alone, or the folder and the names), zero-separated and zero-padded.
std::string CGETFILERESULT(const FileRequest& oRequest, const std::vector<std::string>& aChosen);

// The platform's dialog for a request: what CGETFILE returns for it ("" when cancelled or when
// no dialog can be shown).
std::string FILEDIALOG(const FileRequest& oRequest);

// Shows the dialog; the chosen path, or "" when cancelled.
std::string CGETFILE(std::optional<std::string_view> cFilter = {},
                     std::optional<std::string_view> cTitle = {}, std::optional<int> nIndex = {},
                     std::optional<std::string_view> cInitDir = {}, std::optional<bool> lSave = {},
                     std::optional<bool> lLongNames = {}, std::optional<uint32_t> nFlags = {},
                     std::optional<std::string_view> cInitFile = {});

// CURDRIVE: the current drive letter in upper case, or the first character of the current
// directory when it has no drive ("\\" for a network path on Windows, "/" on a system without
// drive letters, where every path hangs from the one root). CURDIR: the current directory
// without its drive, its leading and its trailing separator; "" when it cannot be read.
std::string CURDRIVE();
std::string CURDIR();

// The start-folder expression of the main flow: no drive part when the directory has none,
// else CURDRIVE() + ":"; then the separator; then CURDIR(). It names the current directory
// exactly: C:\Users\me, C:\, \\host\share\dir, or /home/me and / without drive letters.
std::string CURDIRPATH();

} // namespace veltra::ui
