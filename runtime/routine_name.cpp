// Routine names from the compiler's function names.
#include "runtime/routine_name.h"

#include <vector>

namespace veltra::runtime {

namespace {

bool ISIDENT(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// A qualifier that is a namespace: "{anonymous}" or all lower case, as ours are.
bool ISNAMESPACE(std::string_view cPart) {
  if (cPart == "{anonymous}") {
    return true;
  }
  for (const char c : cPart) {
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')) {
      return false;
    }
  }
  return !cPart.empty();
}

// Splits a qualified name at the "::" that lie outside template arguments, dropping the
// template arguments of each part.
std::vector<std::string> SPLITQUALIFIED(std::string_view cName) {
  std::vector<std::string> aParts(1);
  int nAngle = 0;
  for (size_t i = 0; i < cName.size(); ++i) {
    const char c = cName[i];
    if (c == '<') {
      ++nAngle;
    } else if (c == '>' && nAngle > 0) {
      --nAngle;
    } else if (nAngle == 0 && c == ':' && i + 1 < cName.size() && cName[i + 1] == ':') {
      aParts.emplace_back();
      ++i;
    } else if (nAngle == 0) {
      aParts.back() += c;
    }
  }
  return aParts;
}

} // namespace

// The compiler's function name reads "[return type ]qualified::name(parameters)[ const]", then
// "::<lambda(...)>" once per enclosing lambda, then " [with ...]" for templates.
std::string ROUTINENAME(std::string_view cFunctionName) {
  std::string_view cName = cFunctionName;
  if (const size_t nWith = cName.find(" [with "); nWith != std::string_view::npos) {
    cName = cName.substr(0, nWith);
  }
  // The parameter list of the named routine: the first "(" outside template arguments, past
  // an operator's own symbol ("operator()", "operator<").
  int nAngle = 0;
  size_t nParen = std::string_view::npos;
  for (size_t i = 0; i < cName.size(); ++i) {
    if (cName.compare(i, 8, "operator") == 0 && (i == 0 || !ISIDENT(cName[i - 1])) &&
        (i + 8 >= cName.size() || !ISIDENT(cName[i + 8]))) {
      i += 8;
      if (cName.compare(i, 2, "()") == 0) {
        i += 2;
      }
      while (i < cName.size() && cName[i] != '(') {
        ++i;
      }
      nParen = i;
      break;
    }
    const char c = cName[i];
    if (c == '<') {
      ++nAngle;
    } else if (c == '>' && nAngle > 0) {
      --nAngle;
    } else if (c == '(' && nAngle == 0) {
      nParen = i;
      break;
    }
  }
  const bool lCallback = cName.find("::<lambda") != std::string_view::npos ||
                         cName.find("{lambda") != std::string_view::npos;
  if (nParen == std::string_view::npos || nParen == 0) {
    return lCallback ? "(b)" : "";
  }
  std::string_view cQualified = cName.substr(0, nParen);
  // Drop the return type: everything up to the last blank outside template arguments.
  nAngle = 0;
  size_t nStart = 0;
  for (size_t i = 0; i < cQualified.size(); ++i) {
    const char c = cQualified[i];
    if (c == '<') {
      ++nAngle;
    } else if (c == '>' && nAngle > 0) {
      --nAngle;
    } else if (c == ' ' && nAngle == 0) {
      nStart = i + 1;
    }
  }
  cQualified = cQualified.substr(nStart);

  const std::vector<std::string> aParts = SPLITQUALIFIED(cQualified);
  std::string cRoutine = aParts.back();
  if (aParts.size() >= 2 && !ISNAMESPACE(aParts[aParts.size() - 2])) {
    cRoutine = aParts[aParts.size() - 2] + ":" + cRoutine;
  }
  return lCallback ? "(b)" + cRoutine : cRoutine;
}

} // namespace veltra::runtime
