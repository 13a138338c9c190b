// The folder purges of start-up and exit, over the platform's listing and deletion.
#include "runtime/purge.h"

#include "runtime/purge_names.h"
#include "runtime/startup.h"

namespace veltra::runtime {

void PURGECURRENTFOLDER(const std::string& cFolder) {
  detail::DELETEPLAINFILES(cFolder, detail::ISLEFTOVER);
}

void PURGETEMPFOLDER(std::optional<std::string_view> cTemp) {
  const std::string cFolder = TEMPPURGEFOLDER(cTemp);
  for (const std::string& cName : detail::LEFTOVERENTRIES(cFolder)) {
    const std::string cPath = cFolder + cName;
    DELDIR(cPath);
    REMOVEDIR(cPath);
  }
}

void CLOSEALL(const std::string& cFolder) {
  detail::DELETEPLAINFILES(cFolder, detail::MATCHESVIEWINDEX);
}

} // namespace veltra::runtime
