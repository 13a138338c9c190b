// The runtime settings record, SET and the date-format rule.
#include "runtime/settings.h"

#include "runtime/error_handler.h"

namespace veltra::runtime {

namespace {

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

} // namespace veltra::runtime
