// The platform's part of the folder purges: listing a folder's leftovers and deleting its plain
// files, with nothing followed through a link.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltra::runtime::detail {

// Deletes the plain files of cFolder whose names match (a deletion that fails is skipped).
// Folders, links and special files are not plain files and are never touched.
void DELETEPLAINFILES(const std::string& cFolder, bool (*lMatches)(std::string_view cName));

// The names of the entries of cFolder (its path ends with a separator) that begin with 0x7F,
// links excluded where the platform can tell; none when the folder cannot be listed.
std::vector<std::string> LEFTOVERENTRIES(const std::string& cFolder);

} // namespace veltra::runtime::detail
