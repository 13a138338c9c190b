// The settings file and the whole-file read where Linux differs: a write that fails half-way,
// the permission bits of a replaced file, unreadable files and case-sensitive names.
#include "runtime/profile.h"
#include "temp_folder.h"

#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace veltra::runtime {
namespace {

using ProfileWrite = TempFolder;
using WholeFileRead = TempFolder;

TEST_F(ProfileWrite, AFailedWriteLeavesTheOldFileUntouched) {
  Write("a.ini", "[S]\nK=old\n");
  // A child whose file-size limit is smaller than the new content fails half-way through the
  // write, as a full disk would, whoever runs the test.
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit oLimit{16, 16};
    ::setrlimit(RLIMIT_FSIZE, &oLimit);
    ::_exit(WRITEPPROSTRING("S", "K", std::string(100, 'n'), Path("a.ini")) ? 0 : 1);
  }
  int nStatus = 0;
  ASSERT_EQ(::waitpid(pid, &nStatus, 0), pid);
  EXPECT_EQ(WEXITSTATUS(nStatus), 1) << "the write reports its failure";
  EXPECT_EQ(Read("a.ini"), "[S]\nK=old\n");
  EXPECT_EQ(FilesInFolder(), 1u) << "the half-written file is removed";
  EXPECT_FALSE(WRITEPPROSTRING("S", "K", "v", Path("no-such-folder/a.ini")));
}

TEST_F(ProfileWrite, KeepsTheModeOfTheFileItReplaces) {
  Write("a.ini", "[S]\nK=old\n");
  ::chmod(Path("a.ini").c_str(), 0640);
  ASSERT_TRUE(WRITEPPROSTRING("S", "K", "new", Path("a.ini")));
  struct stat st {};
  ASSERT_EQ(::stat(Path("a.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST_F(WholeFileRead, NamesAreOpenedExactlyAsGivenAndUnreadableGivesTheEmptyString) {
  Write("lower.mgt", "data");
  EXPECT_EQ(MEMOREAD(Path("LOWER.MGT")), "");
  if (::geteuid() != 0) {
    ::chmod(Path("lower.mgt").c_str(), 0);
    EXPECT_EQ(MEMOREAD(Path("lower.mgt")), "");
  }
}

} // namespace
} // namespace veltra::runtime
