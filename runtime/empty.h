// The emptiness test used on file names, port names and error texts.
#pragma once

#include <optional>
#include <string_view>

namespace veltra::runtime {

// True when the text has no bytes or only blanks, tabs, line feeds and carriage returns.
// Any other byte, the zero byte included, makes it non-empty. No value is empty.
bool EMPTY(std::optional<std::string_view> cValue);

} // namespace veltra::runtime
