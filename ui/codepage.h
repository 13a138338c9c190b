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

// cText with every cBreak byte replaced by a carriage return and line feed (not inside a
// name marked by NAMETEXT).
std::string EXPANDTOCRLF(std::string_view cText, char cBreak);

// A name or path as it is on disk (UTF-8 on Linux, the ANSI code page on Windows), to be put
// into one of the program's own texts (a popup, a caption). A name in plain ASCII is itself.
// Any other is marked, and the conversions above leave a marked name as it is on disk: it
// neither makes a popup take the whole text for DOS text nor is taken for code page 1252 or
// 850 itself. Control bytes in the name become "?".
std::string NAMETEXT(std::string_view cName);

// cText without the marks NAMETEXT puts around a name, for the Windows calls that take the
// ANSI code page.
std::string UNMARKEDTEXT(std::string_view cText);

// cText without the names NAMETEXT marked in it: the program's own text alone.
std::string NAMELESSTEXT(std::string_view cText);

} // namespace veltra::ui
