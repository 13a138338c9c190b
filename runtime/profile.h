// The settings file: reading and writing one value of a private profile file (named
// sections in square brackets holding key=value lines), and reading a whole file at once.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace veltra::runtime {

// The longest value a read returns; longer values are cut.
inline constexpr std::size_t kProfileValueMax = 4094;

// The value of cEntry in cSection of the file, or cDefault when the file, the section or the
// entry is missing. Section and entry names match without regard to case; blanks around the
// value are trimmed and one pair of matching quotes around it is removed. With no entry, the
// section's entry names, each followed by a zero byte. Backslashes in the file name are
// taken as folder separators, so ".\VELTRA.INI" names VELTRA.INI in the current folder.
std::string GETPVPROFSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                            std::string_view cDefault, std::string_view cFile);

// Sets cEntry in cSection to cValue, creating the file, the section and the entry as needed
// and keeping every other line as it was. No entry deletes the section, no value the entry.
// The file is replaced at once (written beside it, then renamed over it), so a failed write
// leaves the old file untouched; returns false then.
bool WRITEPPROSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                     std::optional<std::string_view> cValue, std::string_view cFile);

// The whole file as one byte string, without a final 0x1A byte; the empty string when the
// file is missing, cannot be read or is empty. No value gives the empty string too.
std::string MEMOREAD(std::optional<std::string_view> cFile);

} // namespace veltra::runtime
