// The process-wide runtime settings: each numbered setting with its default, the values the
// library initialisation gives them and the date-format rule. Also the public variables the
// library initialisation creates. Nothing in the program reads the table-driver values or the
// public variables; they are kept as values.
#pragma once

#include <optional>
#include <source_location>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace veltra::runtime {

// Setting numbers, the keys SET reads and changes them by.
enum : int {
  SET_DATEFORMAT = 4,
  SET_EPOCH = 5,
  SET_DELETED = 11,
  SET_MARGIN = 25,
  SET_CONFIRM = 27,
  SET_AUTOSHARE = 47,
  SET_FILECASE = 102,
  SET_DBFLOCKSCHEME = 108,
};

// FILECASE and DIRCASE values.
enum : int { CASE_MIXED = 0, CASE_LOWER = 1, CASE_UPPER = 2 };

struct RuntimeSettings {
  // Numbered settings, with their defaults at start.
  int DBFLOCKSCHEME = 0;                // 108: lock scheme 2 locks at offset 1,000,000,000
  int AUTOSHARE = 0;                    // 47: 0 opens tables in the mode asked for
  bool CONFIRM = false;                 // 27: confirmation of data-entry fields
  std::string cDateFormat = "mm/dd/yy"; // 4
  bool DELETED = false;                 // 11: navigation skips deleted records
  int EPOCH = 1900;                     // 5: window for two-digit years
  int FILECASE = CASE_MIXED;            // 102: case of file names for the file services
  int MARGIN = 0;                       // 25: left margin of line-printer output
  // Settings without a number.
  bool CENTURY = false;     // follows the date format (see CENTURYOFFORMAT)
  int DIRCASE = CASE_MIXED; // case of the folder part of paths; never changed
  int ERRORLOOP = 8;        // limit of nested handler invocations
  // Table-driver values, kept and never read: no table is ever opened.
  std::string cTableDriver;
  int nMemoType = 0;
  std::string cMemoExtension;
};

// The public variables: absent until created.
struct PublicVariables {
  std::optional<std::vector<std::string>> GETLIST;
  std::optional<std::string> ACS_USER;
  std::optional<std::string> ACS_TEMP;
  std::optional<std::string> ACS_PASSWD;
  std::optional<int> ACS_LEVEL;
};

// The one record of each for the process.
RuntimeSettings& SETTINGS();
PublicVariables& PUBLICS();

// A setting's value as SET takes and gives it.
using SetValue = std::variant<std::monostate, bool, int, std::string>;

// Returns the setting's value as it was and, when xNew holds a value, changes it. Logical
// settings take true/false or "ON"/"OFF"; numeric ones a number of 0 or more; FILECASE also
// "LOWER", "UPPER" or "MIXED"; the date format a text, which sets CENTURY. A value of the
// wrong kind, or a negative number, raises an argument error through the handler and leaves
// the setting as it was. An unknown number gives no value and changes nothing.
SetValue SET(int nSet, const SetValue& xNew = {},
             std::source_location oWhere = std::source_location::current());

// True when the first run of "y" letters (either case) in the format is four or more long.
bool CENTURYOFFORMAT(std::string_view cFormat);

} // namespace veltra::runtime
