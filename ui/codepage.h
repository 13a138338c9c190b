// The two 8-bit code pages the program's texts come in: the Windows Western one (1252) for
// window texts, and the DOS Latin-1 one (850) for captions and for popup texts that hold DOS
// accented letters.
#pragma once

#include <string>
#include <string_view>

namespace veltra::ui {

std::u16string ANSITOUNICODE(std::string_view cText);
// Characters that code page 1252 lacks become "?".
std::string UNICODETOANSI(std::u16string_view cText);
std::u16string OEMTOUNICODE(std::string_view cText);
// DOS text to Windows text; line-drawing characters become their nearest ASCII look-alikes.
std::string OEMTOANSI(std::string_view cText);

// cText with every cBreak byte replaced by a carriage return and line feed.
std::string EXPANDTOCRLF(std::string_view cText, char cBreak);

} // namespace veltra::ui
