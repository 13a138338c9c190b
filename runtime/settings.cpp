// The runtime settings record, SET, the date-format and epoch rules, the file-name case.
#include "runtime/settings.h"

#include "runtime/error_handler.h"

#include <array>

namespace veltra::runtime {

namespace {

struct SetEntry {
  int nSet;
  std::string_view cName;
};

constexpr std::array<SetEntry, 8> aSetNames{{
    {SET_DATEFORMAT, "DATEFORMAT"},
    {SET_EPOCH, "EPOCH"},
    {SET_DELETED, "DELETED"},
    {SET_MARGIN, "MARGIN"},
    {SET_CONFIRM, "CONFIRM"},
    {SET_AUTOSHARE, "AUTOSHARE"},
    {SET_FILECASE, "FILECASE"},
    {SET_DBFLOCKSCHEME, "DBFLOCKSCHEME"},
}};

bool SAMETEXT(std::string_view cA, std::string_view cB) {
  if (cA.size() != cB.size()) {
    return false;
  }
  for (size_t i = 0; i < cA.size(); ++i) {
    char a = cA[i];
    char b = cB[i];
    a = (a >= 'a' && a <= 'z') ? static_cast<char>(a - 'a' + 'A') : a;
    b = (b >= 'a' && b <= 'z') ? static_cast<char>(b - 'a' + 'A') : b;
    if (a != b) {
      return false;
    }
  }
  return true;
}

void ARGUMENTERROR(std::source_location oWhere) {
  ErrorRecord oError;
  oError.GENCODE = EG_ARG;
  oError.SUBSYSTEM = "BASE";
  oError.DESCRIPTION = GENCODEDESCRIPTION(EG_ARG);
  oError.OPERATION = "SET";
  oError.CANDEFAULT = true; // the default action: the setting stays as it was
  LAUNCHERROR(std::move(oError), oWhere);
}

std::optional<bool> ASLOGICAL(const SetValue& xValue) {
  if (const bool* pValue = std::get_if<bool>(&xValue)) {
    return *pValue;
  }
  if (const std::string* pText = std::get_if<std::string>(&xValue)) {
    if (SAMETEXT(*pText, "ON")) {
      return true;
    }
    if (SAMETEXT(*pText, "OFF")) {
      return false;
    }
  }
  return std::nullopt;
}

std::optional<int> ASCOUNT(const SetValue& xValue) {
  if (const int* pValue = std::get_if<int>(&xValue); pValue && *pValue >= 0) {
    return *pValue;
  }
  return std::nullopt;
}

std::optional<int> ASCASE(const SetValue& xValue) {
  if (const std::string* pText = std::get_if<std::string>(&xValue)) {
    if (SAMETEXT(*pText, "LOWER")) {
      return CASE_LOWER;
    }
    if (SAMETEXT(*pText, "UPPER")) {
      return CASE_UPPER;
    }
    if (SAMETEXT(*pText, "MIXED")) {
      return CASE_MIXED;
    }
    return std::nullopt;
  }
  return ASCOUNT(xValue);
}

// Stores the converted value, or raises the argument error when there is none.
template <class T>
void ASSIGN(T& xSetting, const std::optional<T>& xValue, std::source_location oWhere) {
  if (xValue) {
    xSetting = *xValue;
  } else {
    ARGUMENTERROR(oWhere);
  }
}

std::string CONVERTCASE(std::string_view cPart, int nCase) {
  std::string cResult(cPart);
  for (char& c : cResult) {
    if (nCase == CASE_UPPER && c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (nCase == CASE_LOWER && c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return cResult;
}

} // namespace

RuntimeSettings& SETTINGS() {
  static RuntimeSettings oSettings;
  return oSettings;
}

PublicVariables& PUBLICS() {
  static PublicVariables oPublics;
  return oPublics;
}

SetValue SET(int nSet, const SetValue& xNew, std::source_location oWhere) {
  RuntimeSettings& s = SETTINGS();
  const bool lChange = !std::holds_alternative<std::monostate>(xNew);
  SetValue xOld;
  switch (nSet) {
  case SET_DATEFORMAT:
    xOld = s.cDateFormat;
    if (lChange) {
      if (const std::string* pText = std::get_if<std::string>(&xNew)) {
        s.cDateFormat = *pText;
        s.CENTURY = CENTURYOFFORMAT(*pText);
      } else {
        ARGUMENTERROR(oWhere);
      }
    }
    break;
  case SET_EPOCH:
    xOld = s.EPOCH;
    if (lChange) {
      ASSIGN(s.EPOCH, ASCOUNT(xNew), oWhere);
    }
    break;
  case SET_DELETED:
    xOld = s.DELETED;
    if (lChange) {
      ASSIGN(s.DELETED, ASLOGICAL(xNew), oWhere);
    }
    break;
  case SET_MARGIN:
    xOld = s.MARGIN;
    if (lChange) {
      ASSIGN(s.MARGIN, ASCOUNT(xNew), oWhere);
    }
    break;
  case SET_CONFIRM:
    xOld = s.CONFIRM;
    if (lChange) {
      ASSIGN(s.CONFIRM, ASLOGICAL(xNew), oWhere);
    }
    break;
  case SET_AUTOSHARE:
    xOld = s.AUTOSHARE;
    if (lChange) {
      ASSIGN(s.AUTOSHARE, ASCOUNT(xNew), oWhere);
    }
    break;
  case SET_FILECASE:
    xOld = s.FILECASE;
    if (lChange) {
      ASSIGN(s.FILECASE, ASCASE(xNew), oWhere);
    }
    break;
  case SET_DBFLOCKSCHEME:
    xOld = s.DBFLOCKSCHEME;
    if (lChange) {
      ASSIGN(s.DBFLOCKSCHEME, ASCOUNT(xNew), oWhere);
    }
    break;
  default:
    break;
  }
  return xOld;
}

std::string_view SETNAME(int nSet) {
  for (const SetEntry& oEntry : aSetNames) {
    if (oEntry.nSet == nSet) {
      return oEntry.cName;
    }
  }
  return {};
}

int SETNUMBER(std::string_view cName) {
  for (const SetEntry& oEntry : aSetNames) {
    if (SAMETEXT(oEntry.cName, cName)) {
      return oEntry.nSet;
    }
  }
  return -1;
}

bool CENTURYOFFORMAT(std::string_view cFormat) {
  const size_t nFirst = cFormat.find_first_of("yY");
  if (nFirst == std::string_view::npos) {
    return false;
  }
  size_t nEnd = cFormat.find_first_not_of("yY", nFirst);
  if (nEnd == std::string_view::npos) {
    nEnd = cFormat.size();
  }
  return nEnd - nFirst >= 4;
}

int FULLYEAR(int nYear, int nEpoch) {
  if (nYear < 0 || nYear >= 100) {
    return nYear;
  }
  return nYear + (nEpoch / 100) * 100 + (nYear < nEpoch % 100 ? 100 : 0);
}

int FULLYEAR(int nYear) {
  return FULLYEAR(nYear, SETTINGS().EPOCH);
}

std::string APPLYFILECASE(std::string_view cPath, int nFileCase, int nDirCase) {
  const size_t nSlash = cPath.rfind('/');
  const size_t nName = nSlash == std::string_view::npos ? 0 : nSlash + 1;
  return CONVERTCASE(cPath.substr(0, nName), nDirCase) +
         CONVERTCASE(cPath.substr(nName), nFileCase);
}

std::string APPLYFILECASE(std::string_view cPath) {
  return APPLYFILECASE(cPath, SETTINGS().FILECASE, SETTINGS().DIRCASE);
}

} // namespace veltra::runtime
