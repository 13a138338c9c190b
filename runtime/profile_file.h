// The platform's part of the settings file: the path a file name stands for, reading a file
// whole, and putting a new content in place of the old in one step, so that the file is never
// left half-written.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltra::runtime::detail {

// The path for a settings file name as the program writes it (".\VELTRA.INI").
std::string PROFILEPATH(std::string_view cFile);
// The same as a full path, from the current folder; the name itself when it cannot be made.
std::string PROFILEFULLPATH(std::string_view cFile);

enum class FileRead { Read, Missing, Failed, TooLarge };
// Reads the whole file into cData; Missing when there is no such file, TooLarge (nothing read)
// when it holds more than kProfileSizeLimit bytes.
FileRead READPROFILEFILE(const std::string& cPath, std::string& cData);

// The file a write of cFile goes to and what it holds now.
struct ProfileTarget {
  std::string cPath;
  bool lExists = false;
  std::string cOld;
};
// No value when the file must not be written: it cannot be read, may not be changed, or the
// name cannot be resolved.
std::optional<ProfileTarget> PROFILETARGET(std::string_view cFile);

// Puts cNew in place of the target's content; false, and the old file untouched, when any
// part fails.
bool STOREPROFILE(const ProfileTarget& oTarget, const std::string& cNew);

// How lines end in a file the program creates: "\n" on Linux, "\r\n" on Windows.
extern const char* const NEWFILELINEEND;

} // namespace veltra::runtime::detail
