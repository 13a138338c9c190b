// CGETFILE's argument rules and result buffer, the current-directory helpers on real folders,
// and a real offscreen file dialog answered by the test.
#include "tests/ui/ui_test_util.h"
#include "ui/file_chooser.h"

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <unistd.h>

namespace veltra::ui {
namespace {

using namespace std::string_literals;
using test::WaitFor;
using test::WhenModal;

TEST(FileRequest, TheProgramsCall) {
  const auto o = CGETFILEREQUEST("File MGT (*.mgt)|*.mgt", "Seleziona immagine da inviare",
                                 std::nullopt, "/home/me");
  ASSERT_TRUE(o);
  EXPECT_EQ(o->cFilterBuffer, "File MGT (*.mgt)\0*.mgt\0\0"s);
  EXPECT_EQ(o->aFilters, (std::vector<FileFilter>{{"File MGT (*.mgt)", "*.mgt"}}));
  EXPECT_EQ(o->cFile, "");
  EXPECT_EQ(o->cTitle, "Seleziona immagine da inviare");
  EXPECT_EQ(o->cInitDir, "/home/me");
  EXPECT_EQ(o->nFilterIndex, 1);
  EXPECT_EQ(o->nFlags, 0x80CU);
  EXPECT_FALSE(o->lSave);
  EXPECT_EQ(o->nMaxFile, 256U);
}

TEST(FileRequest, ArgumentRules) {
  EXPECT_FALSE(CGETFILEREQUEST(std::nullopt));
  EXPECT_EQ(CGETFILE(), "");

  // A filter without "|" is one string and also the initial name.
  auto o = CGETFILEREQUEST("*.txt");
  EXPECT_EQ(o->cFile, "*.txt");
  EXPECT_EQ(o->aFilters, (std::vector<FileFilter>{{"*.txt", ""}}));
  EXPECT_EQ(o->cTitle, "Select the file");
  EXPECT_EQ(o->cInitDir, "");

  // Cuts: title and initial folder to 255, filter to 398, initial name to 255.
  o = CGETFILEREQUEST("A|" + std::string(500, 'x'), std::string(300, 't'), 0,
                      std::string(300, 'd'));
  EXPECT_EQ(o->cTitle.size(), 255U);
  EXPECT_EQ(o->cInitDir.size(), 255U);
  EXPECT_EQ(o->cFilterBuffer.size(), 398U + 2U);
  EXPECT_EQ(o->nFilterIndex, 1);
  o = CGETFILEREQUEST(std::string(300, 'n'));
  EXPECT_EQ(o->cFile.size(), 255U);

  // Filter index as an 8-bit value, 0 meaning 1; several entries.
  o = CGETFILEREQUEST("A|*.a|B|*.b;*.c", std::nullopt, 2);
  EXPECT_EQ(o->nFilterIndex, 2);
  EXPECT_EQ(o->aFilters, (std::vector<FileFilter>{{"A", "*.a"}, {"B", "*.b;*.c"}}));
  EXPECT_EQ(CGETFILEREQUEST("A|*.a", std::nullopt, 258)->nFilterIndex, 2);
  EXPECT_EQ(CGETFILEREQUEST("A|*.a", std::nullopt, 256)->nFilterIndex, 1);

  // An initial name keeps its place and makes the dialog a save dialog unless told otherwise.
  o = CGETFILEREQUEST("A|*.a", std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
                      std::nullopt, "nome.a");
  EXPECT_EQ(o->cFile, "nome.a");
  EXPECT_TRUE(o->lSave);
  o = CGETFILEREQUEST("A|*.a", std::nullopt, std::nullopt, std::nullopt, false, std::nullopt,
                      std::nullopt, "nome.a");
  EXPECT_FALSE(o->lSave);

  // Flags 0 are computed; multi-select widens the name buffer.
  EXPECT_EQ(CGETFILEREQUEST("A|*.a", {}, {}, {}, false, false, 0U)->nFlags, 0x808U);
  EXPECT_EQ(CGETFILEREQUEST("A|*.a", {}, {}, {}, true, true, 0U)->nFlags, 0x20080CU);
  EXPECT_EQ(CGETFILEREQUEST("A|*.a", {}, {}, {}, {}, {}, 0x200U)->nMaxFile, 15384U);
}

TEST(FileRequest, ResultBuffer) {
  const FileRequest oSingle = *CGETFILEREQUEST("A|*.a");
  EXPECT_EQ(CGETFILERESULT(oSingle, {}), "");
  EXPECT_EQ(CGETFILERESULT(oSingle, {"/tmp/x.a"}), "/tmp/x.a");
  const FileRequest oMulti = *CGETFILEREQUEST("A|*.a", {}, {}, {}, {}, {}, 0x80CU | 0x200U);
  std::string c = CGETFILERESULT(oMulti, {"/tmp/x.a"});
  EXPECT_EQ(c.size(), 15384U);
  EXPECT_EQ(c.substr(0, c.find('\0')), "/tmp/x.a");
  c = CGETFILERESULT(oMulti, {"/tmp/d/x.a", "/tmp/d/y.a"});
  EXPECT_EQ(c.size(), 15384U);
  EXPECT_EQ(c.substr(0, 20), "/tmp/d\0x.a\0y.a\0\0\0\0\0\0"s);
}

// Changes the working directory for one test and puts it back.
struct InDir {
  std::string cOld;
  explicit InDir(const std::string& cDir) {
    char c[4096];
    cOld = getcwd(c, sizeof c) != nullptr ? c : "/";
    EXPECT_EQ(chdir(cDir.c_str()), 0);
  }
  ~InDir() { EXPECT_EQ(chdir(cOld.c_str()), 0); }
  InDir(const InDir&) = delete;
  InDir& operator=(const InDir&) = delete;
};

TEST(CurrentDir, StartFolderExpressionNamesTheCurrentDirectory) {
  {
    InDir oRoot("/");
    EXPECT_EQ(CURDRIVE(), "/");
    EXPECT_EQ(CURDIR(), "");
    EXPECT_EQ(CURDIRPATH(), "/");
  }
  QTemporaryDir oTemp;
  const std::string cDeep = oTemp.path().toStdString() + "/with space/a:b/c";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(cDeep)));
  {
    InDir oDeep(cDeep);
    EXPECT_EQ(CURDIR(), cDeep.substr(1));
    EXPECT_EQ(CURDIRPATH(), cDeep);
  }
  // A current directory that no longer exists cannot be read.
  const std::string cGone = oTemp.path().toStdString() + "/gone";
  ASSERT_TRUE(QDir().mkpath(QString::fromStdString(cGone)));
  InDir oGone(cGone);
  ASSERT_TRUE(QDir().rmdir(QString::fromStdString(cGone)));
  EXPECT_EQ(CURDIR(), "");
}

struct ChooserDir {
  QTemporaryDir oTemp;
  ChooserDir() {
    for (const char* c : {"DISK.MGT", "lower.mgt", "notes.txt"}) {
      QFile f(oTemp.filePath(c));
      EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    }
    QDir(oTemp.path()).mkdir("sub");
  }
  std::string Path() const { return oTemp.path().toStdString(); }
};

// The names the dialog's view lists (after its model has loaded them).
QStringList Listed(QFileDialog* p) {
  QStringList a;
  auto* pView = p->findChild<QAbstractItemView*>("listView");
  if (pView == nullptr || pView->model() == nullptr) {
    return a;
  }
  const QModelIndex oRoot = pView->rootIndex();
  for (int i = 0; i < pView->model()->rowCount(oRoot); ++i) {
    a << pView->model()->index(i, 0, oRoot).data().toString();
  }
  return a;
}

TEST(FileChooser, RealDialogShowsMgtFilesAndReturnsTheTypedPath) {
  ChooserDir oDir;
  QStringList aListed;
  WhenModal<QFileDialog>([&](QFileDialog* p) {
    EXPECT_EQ(p->windowTitle(), "Seleziona immagine da inviare");
    EXPECT_EQ(p->nameFilters(), QStringList{"File MGT (*.mgt)"});
    EXPECT_EQ(p->directory().absolutePath().toStdString(), oDir.Path());
    EXPECT_TRUE(p->testOption(QFileDialog::DontUseNativeDialog));
    auto* pName = p->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(pName, nullptr);
    EXPECT_EQ(pName->text(), "");
    WaitFor([&] { return Listed(p).size() >= 3; });
    aListed = Listed(p);
    pName->setText("nuovo.mgt"); // need not exist
    QTest::keyClick(pName, Qt::Key_Return);
  });
  const std::string c = CGETFILE("File MGT (*.mgt)|*.mgt", "Seleziona immagine da inviare",
                                 std::nullopt, oDir.Path());
  EXPECT_EQ(c, oDir.Path() + "/nuovo.mgt");
  aListed.sort();
  EXPECT_EQ(aListed, (QStringList{"DISK.MGT", "lower.mgt", "sub"}));
}

TEST(FileChooser, FolderMustExistAndCancelGivesEmpty) {
  ChooserDir oDir;
  bool lStillOpen = false;
  WhenModal<QFileDialog>([&](QFileDialog* p) {
    auto* pName = p->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(pName, nullptr);
    pName->setText("missing/x.mgt");
    QMetaObject::invokeMethod(p, "accept");
    lStillOpen = p->isVisible();
    p->reject();
  });
  EXPECT_EQ(CGETFILE("File MGT (*.mgt)|*.mgt", "Seleziona immagine da inviare", std::nullopt,
                     oDir.Path()),
            "");
  EXPECT_TRUE(lStillOpen);
}

} // namespace
} // namespace veltra::ui
