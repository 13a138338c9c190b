// Reading back a mail report address as the mail program shows it; platform-free.
#pragma once

#include <cctype>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

namespace veltra::runtime::test {

// The subject and the body of a "mailto:?subject=...&body=..." address, percent-decoded, as
// the mail program shows them; {"?", "?"} when the address has any other shape or a field holds
// a byte that is neither a letter, a digit, one of "-._~" nor part of a "%XX" escape.
inline std::pair<std::string, std::string> MAILTOFIELDS(std::string_view cUrl) {
  const std::pair<std::string, std::string> aBad{"?", "?"};
  const auto Decode = [](std::string_view c) -> std::optional<std::string> {
    std::string cOut;
    for (std::size_t i = 0; i < c.size(); ++i) {
      const auto b = static_cast<unsigned char>(c[i]);
      const auto Hex = [&](std::size_t n) {
        return n < c.size() && std::isxdigit(static_cast<unsigned char>(c[n])) != 0;
      };
      if (c[i] == '%' && Hex(i + 1) && Hex(i + 2)) {
        cOut += static_cast<char>(std::stoi(std::string(c.substr(i + 1, 2)), nullptr, 16));
        i += 2;
      } else if (std::isalnum(b) || std::string_view("-._~").find(c[i]) != c.npos) {
        cOut += c[i];
      } else {
        return std::nullopt;
      }
    }
    return cOut;
  };
  constexpr std::string_view cHead = "mailto:?subject=";
  const std::size_t nBody = cUrl.find("&body=");
  if (!cUrl.starts_with(cHead) || nBody == cUrl.npos) {
    return aBad;
  }
  const auto cSubject = Decode(cUrl.substr(cHead.size(), nBody - cHead.size()));
  const auto cBody = Decode(cUrl.substr(nBody + 6));
  return cSubject && cBody ? std::pair{*cSubject, *cBody} : aBad;
}

} // namespace veltra::runtime::test
