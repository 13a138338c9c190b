// Under a real X server with a window manager (Xvfb + openbox): Alt+F4, which the window
// manager takes for itself, is refused while F4 is down; the close from the window manager's
// own menu closes the dialog.
#include "tests/ui/xserver.h"

#include <csignal>
#include <gtest/gtest.h>
#include <unistd.h>

namespace veltra::ui {
namespace {

using namespace test;

struct Probe {
  pid_t nPid = -1;
  int nOut = -1;
  ~Probe() {
    if (nPid > 0) {
      kill(nPid, SIGKILL);
      WAITEXIT(nPid, 3000);
    }
    if (nOut >= 0) {
      close(nOut);
    }
  }
  // Next line from the probe, at most nMs away.
  std::string Next(int nMs = 10000) const { return READLINE(nOut, nMs).value_or("<none>"); }
};

TEST(WindowManager, AltF4RefusedMenuCloseAccepted) {
  std::string cWhyNot;
  if (!ONPATH("xdotool")) {
    GTEST_SKIP() << "xdotool is not installed";
  }
  std::optional<XServer> oX = XServer::Start(true, cWhyNot);
  if (!oX) {
    GTEST_SKIP() << cWhyNot;
  }
  const std::vector<std::string> aEnv = {"DISPLAY=" + oX->Display(), "QT_QPA_PLATFORM=xcb"};
  Probe oProbe;
  oProbe.nPid = SPAWN({VELTRA_UI_XPROBE}, aEnv, &oProbe.nOut);
  ASSERT_GT(oProbe.nPid, 0);
  ASSERT_EQ(oProbe.Next(), "shown");
  // Let the window manager map and focus the window.
  ASSERT_EQ(RUNPROGRAM({"xdotool", "search", "--sync", "--name", "VELTRA probe", "windowactivate",
                        "--sync"},
                       aEnv),
            0);

  // Alt+F4 held down: the window manager asks the window to close; F4 is down, so no.
  ASSERT_EQ(RUNPROGRAM({"xdotool", "keydown", "alt+F4"}, aEnv), 0);
  EXPECT_EQ(oProbe.Next(), "valid 0");
  ASSERT_EQ(RUNPROGRAM({"xdotool", "keyup", "F4", "alt"}, aEnv), 0);
  usleep(300 * 1000);
  EXPECT_TRUE(RUNNING(oProbe.nPid)) << "the dialog must still be open";

  // The window manager's own menu (Alt+Space), last entry: Close. The menu may take a moment
  // to appear on a busy machine, so the keys are tried again when nothing happened.
  std::string cLine = "<none>";
  for (int nTry = 0; nTry < 3 && cLine == "<none>"; ++nTry) {
    ASSERT_EQ(RUNPROGRAM({"xdotool", "key", "alt+space"}, aEnv), 0);
    usleep(300 * 1000);
    ASSERT_EQ(RUNPROGRAM({"xdotool", "key", "Up", "Return"}, aEnv), 0);
    cLine = oProbe.Next(3000);
  }
  EXPECT_EQ(cLine, "valid 1");
  EXPECT_EQ(oProbe.Next(), "closed 2");
  EXPECT_EQ(WAITEXIT(oProbe.nPid, 10000), 0);
  oProbe.nPid = -1;
}

} // namespace
} // namespace veltra::ui
