// CGETFILE and its argument rules; the dialog itself is the platform's.
#include "ui/file_chooser.h"

#include <algorithm>

namespace veltra::ui {
namespace {

std::string Cut(std::string_view c, std::size_t n) {
  return std::string(c.substr(0, n));
}

} // namespace

std::optional<FileRequest>
CGETFILEREQUEST(std::optional<std::string_view> cFilter, std::optional<std::string_view> cTitle,
                std::optional<int> nIndex, std::optional<std::string_view> cInitDir,
                std::optional<bool> lSave, std::optional<bool> lLongNames,
                std::optional<uint32_t> nFlags, std::optional<std::string_view> cInitFile) {
  if (!cFilter && !cTitle && !nIndex && !cInitDir && !lSave && !lLongNames && !nFlags &&
      !cInitFile) {
    return std::nullopt;
  }
  FileRequest o;
  o.nFilterIndex = nIndex.value_or(0) & 0xFF;
  if (o.nFilterIndex == 0) {
    o.nFilterIndex = 1;
  }
  o.lSave = lSave.value_or(cInitFile.has_value());
  o.cTitle = cTitle ? Cut(*cTitle, 255) : "Select the file";
  o.cInitDir = cInitDir ? Cut(*cInitDir, 255) : "";
  o.nMaxFile = (nFlags.value_or(0) & OFN_ALLOWMULTISELECT) != 0 ? 15384 : 256;
  const std::string_view cText = cFilter.value_or("");
  o.cFile = Cut(cInitFile.value_or(cText), 255);

  o.cFilterBuffer = Cut(cText, 398);
  bool lFirst = true;
  for (char& c : o.cFilterBuffer) {
    if (c == '|') {
      c = '\0';
      if (lFirst && !cInitFile) {
        o.cFile.clear();
      }
      lFirst = false;
    }
  }
  o.cFilterBuffer.append(2, '\0');

  // Entries: description and pattern, zero-separated, up to the empty string at the end.
  std::size_t nPos = 0;
  std::vector<std::string> aParts;
  while (nPos < o.cFilterBuffer.size()) {
    const std::size_t nEnd = o.cFilterBuffer.find('\0', nPos);
    if (nEnd == nPos) {
      break;
    }
    aParts.push_back(o.cFilterBuffer.substr(nPos, nEnd - nPos));
    nPos = nEnd + 1;
  }
  for (std::size_t i = 0; i < aParts.size(); i += 2) {
    o.aFilters.push_back({aParts[i], i + 1 < aParts.size() ? aParts[i + 1] : ""});
  }

  o.nFlags = nFlags.value_or(0x80C);
  if (o.nFlags == 0) {
    o.nFlags = OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    o.nFlags |= o.lSave ? OFN_HIDEREADONLY : 0U;
    o.nFlags |= lLongNames.value_or(false) ? OFN_LONGNAMES : 0U;
  }
  return o;
}

std::string CGETFILERESULT(const FileRequest& oRequest, const std::vector<std::string>& aChosen) {
  if (aChosen.empty()) {
    return "";
  }
  if (oRequest.lSave || (oRequest.nFlags & OFN_ALLOWMULTISELECT) == 0) {
    return aChosen.front();
  }
  std::string cBuffer;
  if (aChosen.size() == 1) {
    cBuffer = aChosen.front();
  } else {
    // The folder once, then each name, every part closed by a zero byte.
    const std::string& cFirst = aChosen.front();
    const std::size_t nSlash = cFirst.rfind('/');
    cBuffer = nSlash == 0 ? "/" : cFirst.substr(0, nSlash);
    cBuffer.push_back('\0');
    for (const std::string& cPath : aChosen) {
      cBuffer += cPath.substr(cPath.rfind('/') + 1);
      cBuffer.push_back('\0');
    }
  }
  cBuffer.resize(std::max(cBuffer.size() + 1, oRequest.nMaxFile), '\0');
  return cBuffer;
}

std::string CGETFILE(std::optional<std::string_view> cFilter,
                     std::optional<std::string_view> cTitle, std::optional<int> nIndex,
                     std::optional<std::string_view> cInitDir, std::optional<bool> lSave,
                     std::optional<bool> lLongNames, std::optional<uint32_t> nFlags,
                     std::optional<std::string_view> cInitFile) {
  const std::optional<FileRequest> oRequest =
      CGETFILEREQUEST(cFilter, cTitle, nIndex, cInitDir, lSave, lLongNames, nFlags, cInitFile);
  return oRequest ? FILEDIALOG(*oRequest) : "";
}

} // namespace veltra::ui
