// POPMSG: the single entry for user messages. With a type it shows a modal message box of one
// of six kinds; without one it drives a small non-modal progress box.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace veltra::ui {

// A typed call answers true/false (types 2, 4, 5, 6) or a button id (type 3: 6, 7 or 2).
using PopResult = std::variant<bool, int>;

// Arguments 4 to 9, for the progress box.
struct PopMsgBox {
  bool lUpdate = false;               // 4 replace the box's text
  std::optional<std::string> xArg1{}; // 5 passed on when the box is created
  std::optional<std::string> xArg2{}; // 6 passed on when the box is created
  std::optional<int> nPos{};          // 7 new bar position
  bool lProgress = false;             // 8 create the box with a bar
  bool lPage = false;                 // 9 page mode
};

std::optional<PopResult> POPMSG(std::optional<std::string_view> cText = {},
                                std::optional<int> nType = {},
                                std::optional<std::string_view> cTitle = {},
                                const PopMsgBox& oBox = {});

// Message-box flags of a type (buttons, icon, default button); no value for other types.
inline constexpr int MB_OKCANCEL = 0x01;
inline constexpr int MB_YESNOCANCEL = 0x03;
inline constexpr int MB_YESNO = 0x04;
inline constexpr int MB_ICONHAND = 0x10;
inline constexpr int MB_ICONQUESTION = 0x20;
inline constexpr int MB_ICONINFORMATION = 0x40;
inline constexpr int MB_DEFBUTTON2 = 0x100;
std::optional<int> POPMSGFLAGS(int nType);

// Button ids.
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// The typed call's result for the pressed button.
std::optional<PopResult> POPMSGRESULT(int nType, int nButtonId);

// The text as the box shows it: a text holding DOS accented letters (bytes 0x81 to 0xA8) is
// converted from the DOS code page, then every ";" becomes CR LF.
std::string POPMSGTEXT(std::string_view cText);

inline constexpr int POPMSG_TONE_HZ = 880;
// One clock tick of 1/18.2 s, in whole milliseconds.
inline constexpr int POPMSG_TONE_MS = static_cast<int>(1000.0 / 18.2);

} // namespace veltra::ui
