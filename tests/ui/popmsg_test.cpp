// POPMSG: the six kinds on real message boxes (buttons, icon, default, Esc, results, tone),
// the text rules, other types, and the progress box.
#include "tests/ui/ui_test_util.h"
#include "ui/codepage.h"
#include "ui/dialog.h"
#include "ui/popmsg.h"
#include "ui/tone.h"
#include "ui/window_qt.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>
#include <vector>

namespace veltra::ui {
namespace {

using test::WhenModal;

struct ToneLog {
  std::vector<std::pair<int, int>> aTones;
  ToneService bOld;
  ToneLog() : bOld(SETTONESERVICE([this](int nHz, int nMs) { aTones.emplace_back(nHz, nMs); })) {}
  ~ToneLog() { SETTONESERVICE(bOld); }
  ToneLog(const ToneLog&) = delete;
  ToneLog& operator=(const ToneLog&) = delete;
};

TEST(PopMsgText, SemicolonsBreakLinesAndDosLettersAreConverted) {
  EXPECT_EQ(POPMSGTEXT("uno;due;;tre"), "uno\r\ndue\r\n\r\ntre");
  EXPECT_EQ(POPMSGTEXT("citt\x85"), "citt\xE0");            // DOS à
  EXPECT_EQ(POPMSGTEXT("perch\x82;ok"), "perch\xE9\r\nok"); // DOS é
  EXPECT_EQ(POPMSGTEXT("citt\xE0"), "citt\xE0");            // already Windows text: unchanged
  // One DOS letter makes the whole text DOS: line drawing becomes ASCII look-alikes.
  EXPECT_EQ(POPMSGTEXT("\xDA\xC4\xBF \x8A"), "+-+ \xE8");
  EXPECT_EQ(OEMTOANSI("\x9F\xE1"), "\x83\xDF"); // ƒ and ß exist in both pages
}

// A UTF-8 name in a popup or caption (its continuation bytes lie in 0x81 to 0xA8) is shown as
// written, and the program's own text around it stays Windows text, DOS text or a caption.
TEST(PopMsgText, NamesAreShownAsWrittenAndLeaveTheTextAroundThemAlone) {
  const std::string cName = NAMETEXT("/dev/serial/by-id/usb-Caf\xC3\xA9;\xE2\x80\x94\x01");
  const auto Shown = [](const std::string& c) {
    return QString::fromStdU16String(ANSITOUNICODE(POPMSGTEXT(c))).toStdString();
  };
  EXPECT_EQ(Shown("La porta \xE8 " + cName + ";fine"),
            "La porta \xC3\xA8 /dev/serial/by-id/usb-Caf\xC3\xA9;\xE2\x80\x94?\r\nfine");
  EXPECT_EQ(Shown("citt\x85 " + cName),
            "citt\xC3\xA0 /dev/serial/by-id/usb-Caf\xC3\xA9;\xE2\x80\x94?");
  EXPECT_EQ(QString::fromStdU16String(OEMTOUNICODE("x\x8A(" + cName + ")")).toStdString(),
            "x\xC3\xA8(/dev/serial/by-id/usb-Caf\xC3\xA9;\xE2\x80\x94?)");
  EXPECT_EQ(NAMETEXT("COM3"), "COM3"); // an ASCII name is the very same text as ever
  EXPECT_EQ(UNMARKEDTEXT("(" + NAMETEXT("\xE8") + ")"), "(\xE8)");
}

struct BoxCase {
  int nType;
  QMessageBox::Icon nIcon;
  std::vector<QMessageBox::StandardButton> aButtons; // in order; results below per button
  QMessageBox::StandardButton nDefault;
  std::vector<std::optional<PopResult>> aResults;
  std::optional<PopResult> oEscResult;
};

void PrintTo(const BoxCase& c, std::ostream* pOut) {
  *pOut << "type " << c.nType;
}

class PopMsgBoxes : public ::testing::TestWithParam<BoxCase> {};

TEST_P(PopMsgBoxes, ButtonsIconDefaultAndResults) {
  const BoxCase& c = GetParam();
  for (std::size_t i = 0; i <= c.aButtons.size(); ++i) {
    ToneLog oTones;
    bool lChecked = false;
    WhenModal<QMessageBox>([&](QMessageBox* p) {
      EXPECT_EQ(p->windowTitle(), "Attenzione");
      EXPECT_EQ(p->text(), "Riga uno\nRiga due");
      EXPECT_EQ(p->icon(), c.nIcon);
      std::vector<QMessageBox::StandardButton> aShown;
      for (QAbstractButton* b : p->buttons()) {
        aShown.push_back(p->standardButton(b));
      }
      std::sort(aShown.begin(), aShown.end());
      auto aExpected = c.aButtons;
      std::sort(aExpected.begin(), aExpected.end());
      EXPECT_EQ(aShown, aExpected);
      EXPECT_EQ(p->standardButton(p->defaultButton()), c.nDefault);
      lChecked = true;
      if (i < c.aButtons.size()) {
        p->button(c.aButtons[i])->click();
      } else {
        QTest::keyClick(p, Qt::Key_Escape);
      }
    });
    const std::optional<PopResult> oResult = POPMSG("Riga uno;Riga due", c.nType);
    EXPECT_TRUE(lChecked);
    EXPECT_EQ(oResult, i < c.aButtons.size() ? c.aResults[i] : c.oEscResult) << "button " << i;
    if (c.nType == 1) {
      EXPECT_TRUE(oTones.aTones.empty());
    } else {
      EXPECT_EQ(oTones.aTones, (std::vector<std::pair<int, int>>{{880, 54}}));
    }
  }
}

using SB = QMessageBox::StandardButton;
INSTANTIATE_TEST_SUITE_P(
    AllSixKinds, PopMsgBoxes,
    ::testing::Values(
        BoxCase{1, QMessageBox::Information, {SB::Ok}, SB::Ok, {std::nullopt}, std::nullopt},
        BoxCase{2,
                QMessageBox::Question,
                {SB::Ok, SB::Cancel},
                SB::Ok,
                {PopResult(true), PopResult(false)},
                PopResult(false)},
        BoxCase{3,
                QMessageBox::Question,
                {SB::Yes, SB::No, SB::Cancel},
                SB::Yes,
                {PopResult(6), PopResult(7), PopResult(2)},
                PopResult(2)},
        BoxCase{4,
                QMessageBox::Question,
                {SB::Yes, SB::No},
                SB::Yes,
                {PopResult(true), PopResult(false)},
                PopResult(false)},
        BoxCase{5,
                QMessageBox::Question,
                {SB::Yes, SB::No},
                SB::No,
                {PopResult(true), PopResult(false)},
                PopResult(false)},
        BoxCase{6,
                QMessageBox::Critical,
                {SB::Ok, SB::Cancel},
                SB::Ok,
                {PopResult(true), PopResult(false)},
                PopResult(false)}),
    [](const ::testing::TestParamInfo<BoxCase>& o) {
      return "Type" + std::to_string(o.param.nType);
    });

// A title given is the box's; Enter takes the default button, which for type 5 is No.
TEST(PopMsg, TitleGivenIsKeptAndEnterOnTypeFiveAnswersNo) {
  QString cTitle;
  WhenModal<QMessageBox>([&](QMessageBox* p) {
    cTitle = p->windowTitle();
    QTest::keyClick(p, Qt::Key_Return);
  });
  EXPECT_EQ(POPMSG("Annullo le modifiche?", 5, "Domanda"), std::optional<PopResult>(false));
  EXPECT_EQ(cTitle, "Domanda");
}

TEST(PopMsg, BoxIsOwnedByTheActiveWindow) {
  test::DialogWatchdog oWatch;
  TDialog oDlg;
  oDlg.New({.cCaption = "Owner", .nStyle = 0, .nWidth = 200, .nHeight = 100});
  QWidget* pOwner = nullptr;
  oDlg.bStart = [&] {
    QWidget* pWindow = WIDGETOF(oDlg);
    pWindow->activateWindow();
    test::WaitFor([&] { return QApplication::activeWindow() == pWindow; });
    WhenModal<QMessageBox>([&](QMessageBox* p) {
      pOwner = p->parentWidget();
      p->button(QMessageBox::Ok)->click();
    });
    POPMSG("Errore di apertura della porta di comunicazione (COM9).", 1);
    EXPECT_EQ(pOwner, pWindow);
    oDlg.End();
  };
  oDlg.Activate({.lCentered = true});
  EXPECT_NE(pOwner, nullptr);
}

TEST(PopMsg, OtherTypesShowNothing) {
  ToneLog oTones;
  for (const int nType : {0, 7, -1, 99}) {
    EXPECT_FALSE(POPMSG("Niente", nType).has_value());
  }
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_TRUE(oTones.aTones.empty());
}

TEST(PopMsg, ProgressBoxIsUpdatedAndClosedByATypedCall) {
  auto fBox = []() -> QWidget* {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w->findChild<QProgressBar*>() != nullptr) {
        return w;
      }
    }
    return nullptr;
  };
  EXPECT_FALSE(POPMSG("Stampa in corso", std::nullopt, "Stampa", {.lProgress = true}));
  QWidget* pBox = fBox();
  ASSERT_NE(pBox, nullptr);
  EXPECT_EQ(pBox->windowTitle(), "Stampa");
  POPMSG("Pagina seguente", std::nullopt, std::nullopt, {.lUpdate = true, .nPos = 41});
  EXPECT_EQ(pBox->findChild<QProgressBar*>()->value(), 42);
  bool lFound = false;
  for (QLabel* l : pBox->findChildren<QLabel*>()) {
    lFound = lFound || l->text() == "Pagina seguente";
  }
  EXPECT_TRUE(lFound);
  WhenModal<QMessageBox>([](QMessageBox* p) { p->button(QMessageBox::Ok)->click(); });
  POPMSG("Fatto", 1);
  EXPECT_EQ(fBox(), nullptr);
}

} // namespace
} // namespace veltra::ui
