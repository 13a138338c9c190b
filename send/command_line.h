// Command lines of the terminal programs (veltra-send, veltra-device), read with glibc's
// getopt_long the way people type them: short and long forms, "--name=value", options before
// and after the operands, "--" ending the options. getopt_long prints nothing here: each
// failure comes back as one sentence saying which option and why. Linux only.
#pragma once

#include <functional>
#include <getopt.h>
#include <string>
#include <string_view>
#include <vector>

namespace veltra::send {

// Calls bOption(nValue, pArgument) for each option of aArgs (the arguments after the program
// name), in order; pArgument is null for an option without a value. bOption returns false
// after putting the reason in cError. The operands are collected in aOperands. False, with
// cError set, when an option is unknown, ambiguous, lacks its value or has one it does not
// take. aLong ends with a zero entry, as getopt_long wants it.
inline bool PARSECOMMANDLINE(const std::vector<std::string_view>& aArgs, const char* pShort,
                             const option* aLong,
                             const std::function<bool(int, const char*)>& bOption,
                             std::vector<std::string>& aOperands, std::string& cError) {
  std::vector<std::string> aText{"program"};
  aText.insert(aText.end(), aArgs.begin(), aArgs.end());
  std::vector<char*> aArgv;
  for (std::string& c : aText) {
    aArgv.push_back(c.data());
  }
  aArgv.push_back(nullptr);
  const int nArgc = static_cast<int>(aText.size());
  // ":" first: a missing value is told apart from an unknown option.
  const std::string cShort = std::string(":") + pShort;
  ::opterr = 0;
  ::optind = 0; // glibc: start afresh, whatever an earlier parse left behind
  // The argument the option came in, as typed ("--port" of "--port=x").
  const auto Typed = [&] {
    const std::string_view c = aArgv[static_cast<std::size_t>(::optind) - 1];
    return c.starts_with("--") ? std::string(c.substr(0, c.find('='))) : std::string();
  };
  for (;;) {
    const int nValue = ::getopt_long(nArgc, aArgv.data(), cShort.c_str(), aLong, nullptr);
    if (nValue == -1) {
      break;
    }
    if (nValue == ':') {
      const std::string cName = Typed();
      cError = (cName.empty() ? std::string("-") + static_cast<char>(::optopt) : cName) +
               " needs a value";
      return false;
    }
    if (nValue == '?') {
      // getopt_long names the option in optopt: a short one's letter, a long one's value for
      // a value it does not take, nothing for a long one it does not know.
      const int nOpt = ::optopt;
      const bool lKnownShort =
          nOpt > 0 && nOpt < 256 &&
          std::string_view(pShort).find(static_cast<char>(nOpt)) != std::string_view::npos;
      if (nOpt != 0 && nOpt < 256 && !lKnownShort) {
        cError = std::string("unknown option -") + static_cast<char>(nOpt);
        return false;
      }
      const std::string cName = Typed();
      if (nOpt != 0) {
        cError = cName + " takes no value";
        return false;
      }
      int nMatches = 0;
      for (const option* p = aLong; p->name != nullptr; ++p) {
        nMatches += (std::string("--") + p->name).starts_with(cName) ? 1 : 0;
      }
      cError = (nMatches > 1 ? "ambiguous option " : "unknown option ") + cName;
      return false;
    }
    if (!bOption(nValue, ::optarg)) {
      return false;
    }
  }
  // getopt_long has moved the operands to the end of aArgv, after the options.
  aOperands.assign(aArgv.begin() + ::optind, aArgv.end() - 1);
  return true;
}

} // namespace veltra::send
