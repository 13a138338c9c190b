// The settings file and the whole-file read where Linux differs: a write that fails half-way,
// names and values that could not be read back, links, owner and mode, files it may not write,
// FIFOs and devices, huge files, unreadable files and case-sensitive names.
#include "runtime/profile.h"
#include "tests/support/temp_dir.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltra::runtime {
namespace {

namespace fs = std::filesystem;
using veltra::test::TempDirTest;

using ProfileWrite = TempDirTest;

std::string ReadFirstLine(const std::string& cPath) {
  std::ifstream in(cPath);
  std::string c;
  std::getline(in, c);
  return c;
}
using WholeFileRead = TempDirTest;

// A child whose file-size limit is smaller than the new content is stopped half-way through
// the write, whoever runs the test: told so (as by a full disk), the write fails and says so;
// killed there (SIGXFSZ), it can put nothing back. Either way the file is the old one whole.
TEST_F(ProfileWrite, AWriteFailedOrKilledHalfWayLeavesTheOldFileWhole) {
  for (const bool lKilled : {false, true}) {
    SCOPED_TRACE(lKilled ? "killed" : "failed");
    Write("a.ini", "[S]\nK=old\n");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::signal(SIGXFSZ, lKilled ? SIG_DFL : SIG_IGN);
      const rlimit oLimit{16, 16};
      ::setrlimit(RLIMIT_FSIZE, &oLimit);
      ::_exit(WRITEPPROSTRING("S", "K", std::string(100, 'n'), Path("a.ini")) ? 0 : 1);
    }
    int nStatus = 0;
    ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
    if (lKilled) {
      EXPECT_TRUE(WIFSIGNALED(nStatus) && WTERMSIG(nStatus) == SIGXFSZ);
    } else {
      EXPECT_EQ(WEXITSTATUS(nStatus), 1) << "the write reports its failure";
      EXPECT_EQ(FilesInFolder(), 1u) << "the half-written file is removed";
    }
    EXPECT_EQ(Read("a.ini"), "[S]\nK=old\n");
  }
  EXPECT_FALSE(WRITEPPROSTRING("S", "K", "v", Path("no-such-folder/a.ini")));
}

TEST_F(ProfileWrite, RefusesNamesAndValuesThatCouldNotBeReadBackAndQuotesBlankEnds) {
  const std::string cBefore = "[S]\nK=old\n";
  const struct {
    const char* cSection;
    const char* cEntry;
    const char* cValue;
  } aRefused[] = {
      {"S", "K", "COM1\n[Evil]"}, {"S", "K", "a\rb"}, {"S", "K\nX", "v"},
      {"S]x", "K", "v"},          {" S", "K", "v"},   {"S", "K ", "v"},
      {"S", "a=b", "v"},          {"S", ";K", "v"},   {"S", "[K", "v]"},
  };
  for (const auto& c : aRefused) {
    Write("a.ini", cBefore);
    EXPECT_FALSE(WRITEPPROSTRING(c.cSection, c.cEntry, c.cValue, Path("a.ini")))
        << c.cSection << "/" << c.cEntry << "=" << c.cValue;
    EXPECT_EQ(Read("a.ini"), cBefore);
  }
  for (const char* cValue : {"  padded ", "\"quoted\"", "'q'", "\t", "\"", "a \"b\" c"}) {
    ASSERT_TRUE(WRITEPPROSTRING("S", "K", cValue, Path("a.ini")));
    EXPECT_EQ(GETPVPROFSTRING("S", "K", "", Path("a.ini")), cValue);
  }
}

// Where a write lands when the name is a link, and what the rewritten file keeps.
TEST_F(ProfileWrite, UpdatesTheFileALinkNamesAndKeepsOwnerAndMode) {
  fs::create_directory(Path() / "real");
  const std::string cOld = "[S]\nK=old\n";
  const std::string cNew = "[S]\nK=new\n";
  const struct {
    const char* cName;
    std::function<void(const fs::path&)> bLink; // makes cName name real/a.ini
  } aCases[] = {
      {"symlink", [](const fs::path& p) { fs::create_symlink("real/a.ini", p); }},
      {"chain",
       [this](const fs::path& p) {
         fs::create_symlink(Path() / "real" / "a.ini", Path() / "hop");
         fs::create_symlink("hop", p);
       }},
      {"hard link", [this](const fs::path& p) { fs::create_hard_link(Path() / "real/a.ini", p); }},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cName);
    fs::remove(Path() / "hop");
    Write("real/a.ini", cOld);
    c.bLink(Path() / "link.ini");
    struct stat stOld {};
    ASSERT_EQ(::stat(Path("real/a.ini").c_str(), &stOld), 0);
    ASSERT_TRUE(WRITEPPROSTRING("S", "K", "new", Path("link.ini")));
    struct stat stNew {};
    ASSERT_EQ(::stat(Path("real/a.ini").c_str(), &stNew), 0);
    // A file with one name is replaced whole (a new inode); one with other hard links is
    // rewritten in place, so that every name keeps it.
    EXPECT_EQ(stNew.st_ino == stOld.st_ino, c.cName[0] == 'h');
    EXPECT_EQ(Read("real/a.ini"), cNew);
    EXPECT_EQ(Read("link.ini"), cNew);
    EXPECT_EQ(fs::symlink_status(Path() / "link.ini").type(),
              c.cName[0] == 'h' ? fs::file_type::regular : fs::file_type::symlink);
    EXPECT_EQ(FilesInFolder(), c.cName[0] == 'c' ? 3u : 2u) << "no temporary file is left";
    fs::remove(Path() / "link.ini");
  }
  // A link to a file not yet there creates it.
  fs::create_symlink("real/new.ini", Path() / "dangling.ini");
  ASSERT_TRUE(WRITEPPROSTRING("S", "K", "new", Path("dangling.ini")));
  EXPECT_EQ(Read("real/new.ini"), cNew);

  // Owner, group and mode; as root the file belongs to another user first.
  Write("a.ini", cOld);
  ::chmod(Path("a.ini").c_str(), 0640);
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(Path("a.ini").c_str(), 65534, 65534), 0);
  }
  struct stat stBefore {};
  struct stat stAfter {};
  ASSERT_EQ(::stat(Path("a.ini").c_str(), &stBefore), 0);
  ASSERT_TRUE(WRITEPPROSTRING("S", "K", "new", Path("a.ini")));
  ASSERT_EQ(::stat(Path("a.ini").c_str(), &stAfter), 0);
  EXPECT_EQ(Read("a.ini"), cNew);
  EXPECT_EQ(stAfter.st_mode, stBefore.st_mode);
  EXPECT_EQ(stAfter.st_uid, stBefore.st_uid);
  EXPECT_EQ(stAfter.st_gid, stBefore.st_gid);
}

// A link that another user left in a world-writable sticky folder is not followed: the kernel
// refuses it (fs.protected_symlinks), to anyone but the link's owner, root included, and the
// settings functions go through the kernel, so the file it names is neither read nor written.
TEST_F(ProfileWrite, ALinkTheKernelWillNotFollowIsNeitherReadNorWritten) {
  if (::geteuid() != 0 || ReadFirstLine("/proc/sys/fs/protected_symlinks") != "1") {
    GTEST_SKIP() << "needs root (to give the link to another user) and fs.protected_symlinks=1";
  }
  Write("target.ini", "[S]\nK=old\n");
  fs::create_directory(Path() / "sticky");
  ::chmod((Path() / "sticky").c_str(), 01777);
  fs::create_symlink(Path() / "target.ini", Path() / "sticky" / "VELTRA.INI");
  ASSERT_EQ(::lchown((Path() / "sticky" / "VELTRA.INI").c_str(), 65534, 65534), 0);
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "dflt", Path("sticky/VELTRA.INI")), "dflt");
  EXPECT_FALSE(WRITEPPROSTRING("S", "K", "new", Path("sticky/VELTRA.INI")));
  EXPECT_EQ(Read("target.ini"), "[S]\nK=old\n");
  EXPECT_EQ(fs::symlink_status(Path() / "sticky" / "VELTRA.INI").type(), fs::file_type::symlink);
}

// The write checks the mode bits (a file with no write bit is read-only, even for root) and
// then the access the process really has. Root passes every access check, so as root the
// second row runs the write in a child that has become the unprivileged user "nobody".
TEST_F(ProfileWrite, LeavesAFileItMayNotWriteAsItWas) {
  const std::string cOld = "[S]\nK=old\n";
  ::chmod(Path().c_str(), 0755);
  const struct {
    const char* cWhat;
    mode_t nMode;
    bool lAsNobody;
  } aCases[] = {{"no write bit", 0444, false}, {"another user's file", 0644, true}};
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cWhat);
    if (c.lAsNobody && ::geteuid() != 0) {
      continue; // only root can become another user; the first row covers the check then
    }
    Write("a.ini", cOld);
    ::chmod(Path("a.ini").c_str(), c.nMode);
    const pid_t pid = c.lAsNobody ? ::fork() : 0;
    ASSERT_GE(pid, 0);
    if (c.lAsNobody && pid == 0) {
      const bool lDropped =
          ::setgroups(0, nullptr) == 0 && ::setgid(65534) == 0 && ::setuid(65534) == 0;
      ::_exit(lDropped ? (WRITEPPROSTRING("S", "K", "new", Path("a.ini")) ? 1 : 0) : 2);
    }
    if (c.lAsNobody) {
      int nStatus = 0;
      ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
      EXPECT_EQ(WEXITSTATUS(nStatus), 0) << "1: the write claimed success, 2: no user change";
    } else {
      EXPECT_FALSE(WRITEPPROSTRING("S", "K", "new", Path("a.ini")));
    }
    EXPECT_EQ(Read("a.ini"), cOld);
    EXPECT_EQ(FilesInFolder(), 1u);
  }
}

// A name in another case, a file without read rights and one of 4 GiB less one byte or more
// (sparse: no room taken on disk) all read as the empty string.
TEST_F(WholeFileRead, OtherCaseUnreadableAndHugeFilesGiveTheEmptyString) {
  Write("lower.mgt", "data");
  EXPECT_EQ(MEMOREAD(Path("LOWER.MGT")), "");
  for (const std::uintmax_t nSize : {std::uintmax_t{0xFFFFFFFF}, std::uintmax_t{1} << 40}) {
    fs::resize_file(Path("lower.mgt"), nSize);
    EXPECT_EQ(MEMOREAD(Path("lower.mgt")), "") << nSize;
  }
  if (::geteuid() != 0) {
    fs::resize_file(Path("lower.mgt"), 4);
    ::chmod(Path("lower.mgt").c_str(), 0);
    EXPECT_EQ(MEMOREAD(Path("lower.mgt")), "");
  }
}

// A settings file past 1 MiB is refused by its size, never read: a sparse 1 GiB one would
// otherwise take its size in memory. It reads as missing, says why, and is never rewritten.
TEST_F(ProfileWrite, AFileOverOneMiBIsNoSettingsFileAndStaysAsItWas) {
  const std::string cStart = "[S]\nK=v\n";
  for (const std::uintmax_t nSize : {kProfileSizeLimit + 1, std::uintmax_t{1} << 30}) {
    SCOPED_TRACE(nSize);
    Write("VELTRA.INI", cStart);
    fs::resize_file(Path("VELTRA.INI"), nSize); // sparse: takes no room on disk
    EXPECT_EQ(GETPVPROFSTRING("S", "K", "dflt", Path("VELTRA.INI")), "dflt");
    EXPECT_EQ(PROFILEPROBLEM(Path("VELTRA.INI")), "more than the 1 MiB a settings file may have");
    EXPECT_FALSE(WRITEPPROSTRING("S", "K", "COM1", Path("VELTRA.INI")));
    EXPECT_EQ(fs::file_size(Path("VELTRA.INI")), nSize);
    EXPECT_EQ(ReadFirstLine(Path("VELTRA.INI")), "[S]");
  }
  Write("VELTRA.INI", cStart);
  fs::resize_file(Path("VELTRA.INI"), kProfileSizeLimit); // 1 MiB exactly is still one
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "dflt", Path("VELTRA.INI")), "v");
  EXPECT_EQ(PROFILEPROBLEM(Path("VELTRA.INI")), "");
  // There but no file to read (as root, a folder stands for one this user may not read).
  fs::remove(Path("VELTRA.INI"));
  fs::create_directory(Path("VELTRA.INI"));
  EXPECT_EQ(PROFILEPROBLEM(Path("VELTRA.INI")), "not a regular file");
}

TEST_F(WholeFileRead, NeitherFileServiceOpensAFifoOrADevice) {
  ASSERT_EQ(::mkfifo(Path("fifo.mgt").c_str(), 0600), 0);
  for (const std::string& cPath : {Path("fifo.mgt"), std::string("/dev/zero"), Path().string()}) {
    SCOPED_TRACE(cPath);
    auto oDone = std::async(std::launch::async, [&] {
      return MEMOREAD(cPath) + "|" + GETPVPROFSTRING("S", "K", "dflt", cPath) + "|" +
             (WRITEPPROSTRING("S", "K", "v", cPath) ? "written" : "refused");
    });
    if (oDone.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << "blocked";
      const int fd = ::open(Path("fifo.mgt").c_str(), O_RDWR); // releases a blocked open
      oDone.wait();
      ::close(fd);
      continue;
    }
    EXPECT_EQ(oDone.get(), "|dflt|refused");
  }
  EXPECT_EQ(fs::status(Path("fifo.mgt")).type(), fs::file_type::fifo);
}

} // namespace
} // namespace veltra::runtime
