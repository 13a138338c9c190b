// POPMSG's six kinds as Win32 message boxes under Wine: the buttons each shows, its default
// button, title, text lines and tone, and the result of every button.
#include "ui/popmsg.h"
#include "ui/tone.h"
#include "win32_test_util.h"

#include <gtest/gtest.h>
#include <ostream>
#include <set>
#include <string>
#include <vector>

namespace veltra::ui {
namespace {

// What a box showed (it is found by its title, "Attenzione" unless the call names another).
struct Seen {
  std::set<int> aButtons;
  int nDefault = 0;
  std::string cText;
};

Seen Inspect(HWND hBox) {
  Seen o;
  for (const int nId : {IDOK, IDCANCEL, IDYES, IDNO}) {
    if (const HWND hButton = GetDlgItem(hBox, nId)) {
      o.aButtons.insert(nId);
      if ((GetWindowLongA(hButton, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) {
        o.nDefault = nId;
      }
    }
  }
  char cText[512] = {};
  GetDlgItemTextA(hBox, 0xFFFF, cText, sizeof cText);
  o.cText = cText;
  return o;
}

struct Kind {
  int nType;
  std::set<int> aButtons;
  int nDefault;
  bool lTone;
  // Result per button: a logical, a button id, or none.
  std::vector<std::pair<int, std::optional<PopResult>>> aResults;
};

void PrintTo(const Kind& k, std::ostream* pOut) {
  *pOut << "type " << k.nType;
}

class PopMsgWin32 : public ::testing::TestWithParam<Kind> {};

TEST_P(PopMsgWin32, ShowsItsButtonsAndAnswersForEach) {
  const Kind& k = GetParam();
  std::vector<std::pair<int, int>> aTones;
  const ToneService bOld = SETTONESERVICE([&](int nHz, int nMs) { aTones.push_back({nHz, nMs}); });
  for (const auto& [nButton, oExpected] : k.aResults) {
    Seen oSeen;
    test::Watcher oWatch("Attenzione", [&, nButton = nButton](HWND hBox) {
      oSeen = Inspect(hBox);
      SendMessageA(GetDlgItem(hBox, nButton), BM_CLICK, 0, 0);
    });
    const std::optional<PopResult> oResult = POPMSG("Prima riga;seconda riga", k.nType);
    EXPECT_EQ(oResult, oExpected) << "button " << nButton;
    EXPECT_EQ(oSeen.aButtons, k.aButtons);
    EXPECT_EQ(oSeen.nDefault, k.nDefault);
    EXPECT_EQ(oSeen.cText, "Prima riga\r\nseconda riga");
  }
  SETTONESERVICE(bOld);
  const std::vector<std::pair<int, int>> aNone;
  const std::vector<std::pair<int, int>> aBeeps(k.aResults.size(), {880, 54});
  EXPECT_EQ(aTones, k.lTone ? aBeeps : aNone);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, PopMsgWin32,
    ::testing::Values(Kind{1, {IDOK}, IDOK, false, {{IDOK, std::nullopt}}},
                      Kind{2, {IDOK, IDCANCEL}, IDOK, true, {{IDOK, true}, {IDCANCEL, false}}},
                      Kind{3,
                           {IDYES, IDNO, IDCANCEL},
                           IDYES,
                           true,
                           {{IDYES, PopResult(6)}, {IDNO, PopResult(7)}, {IDCANCEL, PopResult(2)}}},
                      Kind{4, {IDYES, IDNO}, IDYES, true, {{IDYES, true}, {IDNO, false}}},
                      Kind{5, {IDYES, IDNO}, IDNO, true, {{IDYES, true}, {IDNO, false}}},
                      Kind{6, {IDOK, IDCANCEL}, IDOK, true, {{IDOK, true}, {IDCANCEL, false}}}),
    [](const auto& oInfo) { return "Type" + std::to_string(oInfo.param.nType); });

// Keys on the box: Enter on type 5 takes its default No, Esc on type 3 is Cancel (2). A type
// outside 1 to 6 shows nothing.
TEST(PopMsgWin32Keys, EnterAnswersTheDefaultEscCancelsOtherTypesShowNothing) {
  const ToneService bOld = SETTONESERVICE([](int, int) {});
  {
    test::Watcher oWatch("Domanda", [](HWND hBox) {
      SetForegroundWindow(hBox);
      test::TAP(VK_RETURN);
    });
    EXPECT_EQ(POPMSG("Annullo le modifiche?", 5, "Domanda"), std::optional<PopResult>(false));
  }
  {
    test::Watcher oWatch("Attenzione", [](HWND) { test::XKEYS("Attenzione", "key Escape"); });
    EXPECT_EQ(POPMSG("Salvo?", 3), std::optional<PopResult>(PopResult(2)));
  }
  EXPECT_EQ(POPMSG("Niente", 7), std::nullopt);
  EXPECT_EQ(test::THREADWINDOW("Attenzione"), nullptr);
  SETTONESERVICE(bOld);
}

} // namespace
} // namespace veltra::ui
