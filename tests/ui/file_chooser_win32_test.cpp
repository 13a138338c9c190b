// The file chooser and the current-directory helpers on Windows, under Wine.
#include "ui/file_chooser.h"
#include "win32_test_util.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace veltra::ui {
namespace {

// The program's call, cancelled: the open dialog shows the title and the one "*.mgt" filter,
// and CGETFILE returns the empty text.
TEST(FileChooserWin32, ProgramsChooserCancelledGivesTheEmptyText) {
  std::string cFilters;
  test::Watcher oWatch("Seleziona immagine da inviare", [&](HWND hDialog) {
    // The entries of the dialog's file-type list (cmb1), one per line.
    const HWND hList = GetDlgItem(hDialog, 0x470);
    for (int i = 0; i < SendMessageA(hList, CB_GETCOUNT, 0, 0); ++i) {
      char cItem[256] = {};
      SendMessageA(hList, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(cItem));
      cFilters += std::string(cItem) + "\n";
    }
    PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(CGETFILE("File MGT (*.mgt)|*.mgt", "Seleziona immagine da inviare", std::nullopt,
                     CURDIRPATH()),
            "");
  EXPECT_EQ(cFilters, "File MGT (*.mgt)\n");
}

// The current directory, moved while the dialog is up (as Windows' open dialog may do, the
// OFN_NOCHANGEDIR flag notwithstanding), is back as it was afterwards. Wine's dialog puts it
// back itself when the flag is set, so the call here goes without the flag.
TEST(FileChooserWin32, CurrentDirectoryIsTheSameAfterTheDialogWhateverItDid) {
  char cSaved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof cSaved, cSaved);
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\windows"));
  bool lMoved = false;
  test::Watcher oWatch("Scegli", [&](HWND hDialog) {
    lMoved = SetCurrentDirectoryA("C:\\windows\\system32") != FALSE;
    PostMessageA(hDialog, WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_EQ(CGETFILE("File MGT (*.mgt)|*.mgt", "Scegli", std::nullopt, CURDIRPATH(), false, false,
                     OFN_PATHMUSTEXIST | OFN_HIDEREADONLY),
            "");
  EXPECT_TRUE(lMoved);
  EXPECT_EQ(CURDIRPATH(), "C:\\windows");
  SetCurrentDirectoryA(cSaved);
}

// The start-folder expression rebuilds the current directory, a drive's root included.
TEST(FileChooserWin32, CurrentDirectoryHelpersRebuildTheDirectory) {
  char cSaved[MAX_PATH] = {};
  GetCurrentDirectoryA(sizeof cSaved, cSaved);
  struct Case {
    const char* cDir;
    const char* cDrive;
    const char* cCurDir;
  };
  for (const Case& c : std::vector<Case>{{"C:\\", "C", ""},
                                         {"C:\\windows\\system32", "C", "windows\\system32"},
                                         {"c:\\windows", "C", "windows"}}) {
    ASSERT_TRUE(SetCurrentDirectoryA(c.cDir)) << c.cDir;
    EXPECT_EQ(CURDRIVE(), c.cDrive) << c.cDir;
    EXPECT_EQ(CURDIR(), c.cCurDir) << c.cDir;
    EXPECT_EQ(CURDIRPATH(), std::string(c.cDrive) + ":\\" + c.cCurDir) << c.cDir;
  }
  SetCurrentDirectoryA(cSaved);
}

} // namespace
} // namespace veltra::ui
