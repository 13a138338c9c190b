// The platform's part of the settings file: the path a file name stands for, reading a file
// whole, and replacing it in one step, so that it is never left half-written.
#pragma once

#include <string>
#include <string_view>

namespace veltra::runtime::detail {

// The path for a settings file name as the program writes it (".\VELTRA.INI").
std::string PROFILEPATH(std::string_view cFile);

enum class FileRead { Read, Missing, Failed };
// Reads the whole file into cData; Missing when there is no such file.
FileRead READPROFILEFILE(const std::string& cPath, std::string& cData);

// Writes cData beside cPath and moves it over cPath in one step; false, and the old file
// untouched, when any part fails.
bool REPLACEPROFILEFILE(const std::string& cPath, const std::string& cData);

// How lines end in a file the program creates: "\n" on Linux, "\r\n" on Windows.
extern const char* const NEWFILELINEEND;

} // namespace veltra::runtime::detail
