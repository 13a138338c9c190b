// The runtime's popup hook bound to the real message box (offscreen): what the error handler
// asks is shown with the program's title and line breaks, and the answer comes back.
#include "app/desktop_hooks.h"
#include "runtime/hooks.h"
#include "tests/ui/ui_test_util.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <gtest/gtest.h>

namespace veltra::app {
namespace {

TEST(DesktopHooks, RuntimePopupIsTheRealMessageBoxAndReturnsTheAnswer) {
  const runtime::PopupHook bBefore = runtime::SETPOPUPHOOK({});
  INSTALLDESKTOPHOOKS();
  for (const auto& [nButton, lExpected] :
       {std::pair{QMessageBox::Ok, true}, std::pair{QMessageBox::Cancel, false}}) {
    std::string cTitle, cText;
    ui::test::WhenModal<QMessageBox>([&, nButton = nButton](QMessageBox* p) {
      cTitle = p->windowTitle().toStdString();
      cText = p->text().toStdString();
      p->button(nButton)->click();
    });
    EXPECT_EQ(runtime::SHOWPOPUP("Errore di scrittura;;Inviare rapporto di errore via email?", 2),
              lExpected);
    EXPECT_EQ(cTitle, "Attenzione");
    EXPECT_EQ(cText, "Errore di scrittura\n\nInviare rapporto di errore via email?");
  }
  runtime::SETPOPUPHOOK(bBefore);
}

} // namespace
} // namespace veltra::app
