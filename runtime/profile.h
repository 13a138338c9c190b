// The settings file: reading and writing one value of a private profile file (named
// sections in square brackets holding key=value lines), and reading a whole file at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::runtime {

// The longest value a read returns; longer values are cut.
inline constexpr std::size_t kProfileValueMax = 4094;

// Files of this size or more are too large for a whole-file read, which then gives the empty
// string: sizes are 32-bit, and 0xFFFFFFFF is the value that reports a failed measure.
inline constexpr std::uint64_t kMemoReadLimit = 0xFFFFFFFFU;

// A settings file holds a few lines: a file of more than this many bytes is no settings file.
// It is never read (its size is looked at first), reads as missing and is never written.
inline constexpr std::uint64_t kProfileSizeLimit = std::uint64_t{1} << 20;

// The file may begin with a UTF-8 byte-order mark, and its lines may end in CR LF, LF or a
// lone CR; a rewrite keeps the mark and every line's own ending, and new lines take the
// ending of the file's first line (LF in a new file). Only plain files are read or written:
// a FIFO or a device named as the settings file reads as missing and is never written.
// A file that begins with a UTF-16 byte-order mark (either byte order, as Notepad saves
// "Unicode") holds UTF-16 text: names and values are read and written as UTF-8 and the file
// stays UTF-16 in its byte order. Such a file that is no UTF-16 text (an odd length, a
// surrogate without its pair) reads as missing and is never written.

// The value of cEntry in cSection of the file, or cDefault when the file, the section or the
// entry is missing. Section and entry names match without regard to case; blanks around the
// value are trimmed and one pair of matching quotes around it is removed. With no entry, the
// section's entry names, each followed by a zero byte. Backslashes in the file name are
// taken as folder separators, so ".\VELTRA.INI" names VELTRA.INI in the current folder.
std::string GETPVPROFSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                            std::string_view cDefault, std::string_view cFile);

// Sets cEntry in cSection to cValue, creating the file, the section and the entry as needed
// and keeping every other line as it was. No entry deletes the section, no value the entry.
// A value with blanks at either end, or already between matching quotes, is written between
// double quotes, so that a read gives it back as it was.
// Returns false, and changes nothing, when:
//  - a name or the value could not be read back or would add lines of its own: a line break
//    anywhere; blanks around the section or entry name; "]" in the section name; "=" in the
//    entry name, or an entry name beginning with ";", "#" or "[";
//  - the file is UTF-16 and a name or the value is no UTF-8 text, or the file is no text in
//    its own encoding (see above);
//  - the file exists but is not a plain file, cannot be read, or may not be written: this
//    process lacks write permission, or the file has no write bit at all (read-only, which
//    stops even the superuser);
//  - the write itself fails.
// A symbolic link is followed and the file it points at is updated; the link stays. The file
// keeps its owner, group and mode: it is replaced at once (written beside it, then renamed
// over it) so that a failed write leaves it untouched; a file with other hard links, in a
// folder this process may not write, or whose owner a new file could not be given, is
// rewritten in place instead (after its new size has been reserved).
bool WRITEPPROSTRING(std::string_view cSection, std::optional<std::string_view> cEntry,
                     std::optional<std::string_view> cValue, std::string_view cFile);

// Why the settings file cFile cannot be read ("Permission denied", "more than the 1 MiB a
// settings file may have"); empty when it can be read or does not exist.
std::string PROFILEPROBLEM(std::string_view cFile);

// The full path of the file a settings file name stands for (".\VELTRA.INI": VELTRA.INI in
// the current folder), as a person would look for it.
std::string PROFILEFULLPATH(std::string_view cFile);

// The whole file as one byte string, every byte as it is on disk; the empty string when the
// file is missing, cannot be read, is empty, holds kMemoReadLimit bytes or more, or is not a
// plain file (a FIFO or a device is never opened, so the call never blocks). No value gives
// the empty string too. A file that does not fit in memory ends the program (9006). This is
// how an image is read: the device must get every byte of it.
std::string ReadWholeFile(std::optional<std::string_view> cFile);

// ReadWholeFile for a text file: a final 0x1A byte (the old end-of-file mark) is left out.
std::string MEMOREAD(std::optional<std::string_view> cFile);

} // namespace veltra::runtime
