// Under a real X server with a window manager (Xvfb + openbox): Alt+F4, which the window
// manager takes for itself, is refused while F4 is down; the close from the window manager's
// own menu closes the dialog.
#include "tests/support/support.h"

#include <gtest/gtest.h>
#include <thread>

namespace veltra::ui {
namespace {

using namespace veltra::test;

TEST(WindowManager, AltF4RefusedMenuCloseAccepted) {
  Display oX;
  if (!oX.Start()) {
    GTEST_SKIP() << "Xvfb, openbox or xdotool missing: run scripts/deps";
  }
  const auto aEnv = oX.Env();
  Child oProbe({VELTRA_UI_XPROBE}, aEnv);
  const auto Next = [&oProbe](std::chrono::milliseconds t = 10s) {
    return oProbe.ReadLine(t).value_or("<none>");
  };
  ASSERT_EQ(Next(), "shown");
  // Let the window manager map and focus the window.
  ASSERT_EQ(RunToEnd({"xdotool", "search", "--sync", "--name", "VELTRA probe", "windowactivate",
                      "--sync"},
                     aEnv)
                .nExit,
            0);

  // Alt+F4 held down: the window manager asks the window to close; F4 is down, so no.
  ASSERT_TRUE(Keys(oX, {"keydown", "alt+F4"}));
  EXPECT_EQ(Next(), "valid 0");
  ASSERT_TRUE(Keys(oX, {"keyup", "F4", "alt"}));
  EXPECT_FALSE(oProbe.Wait(300ms).has_value()) << "the dialog must still be open";

  // The window manager's own menu (Alt+Space), last entry: Close. The menu may take a moment
  // to appear on a busy machine, so the keys are tried again when nothing happened.
  std::string cLine = "<none>";
  for (int nTry = 0; nTry < 3 && cLine == "<none>"; ++nTry) {
    ASSERT_TRUE(Keys(oX, {"key", "alt+space"}));
    std::this_thread::sleep_for(300ms);
    ASSERT_TRUE(Keys(oX, {"key", "Up", "Return"}));
    cLine = Next(3s);
  }
  EXPECT_EQ(cLine, "valid 1");
  EXPECT_EQ(Next(), "closed 2");
  EXPECT_EQ(oProbe.Wait(10s), std::optional<int>(0));
}

} // namespace
} // namespace veltra::ui
