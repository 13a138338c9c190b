// The settings file, the whole-file read and the emptiness test, on real files in a
// temporary folder.
#include "runtime/empty.h"
#include "runtime/profile.h"

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

class TempFolder : public ::testing::Test {
protected:
  void SetUp() override {
    std::string cTemplate = (fs::temp_directory_path() / "veltra-profile-XXXXXX").string();
    ASSERT_NE(::mkdtemp(cTemplate.data()), nullptr);
    m_path = cTemplate;
  }
  void TearDown() override {
    ::chmod(m_path.c_str(), 0700);
    fs::remove_all(m_path);
  }
  std::string Path(const std::string& cName) const { return (m_path / cName).string(); }
  void Write(const std::string& cName, const std::string& cData) const {
    std::ofstream(Path(cName), std::ios::binary) << cData;
  }
  std::string Read(const std::string& cName) const {
    std::ifstream in(Path(cName), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  std::size_t FilesInFolder() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(m_path), fs::directory_iterator()));
  }
  fs::path m_path;
};

using ProfileRead = TempFolder;

TEST_F(ProfileRead, FindsValuesAsThePlatformWould) {
  Write("VELTRA.INI", "; settings\r\n"
                      "[Other]\r\n"
                      "Porta=WRONG\r\n"
                      "  [ impostazioni ]  \r\n"
                      "  PORTA   =   ttyUSB0  \r\n"
                      "Quoted=\"  COM3 \"\r\n"
                      "Single='x'\r\n"
                      "Mixed=\"x'\r\n"
                      "Empty=\r\n"
                      "Eq=a=b\r\n"
                      "[Impostazioni]\r\n"
                      "Late=ignored, only the first section counts\r\n");
  const std::string f = Path("VELTRA.INI");
  struct Case {
    const char* cSection;
    const char* cEntry;
    const char* cExpected;
  };
  const Case aCases[] = {
      {"Impostazioni", "Porta", "ttyUSB0"},  {"IMPOSTAZIONI", "porta", "ttyUSB0"},
      {"Impostazioni", "Quoted", "  COM3 "}, {"Impostazioni", "Single", "x"},
      {"Impostazioni", "Mixed", "\"x'"},     {"Impostazioni", "Empty", ""},
      {"Impostazioni", "Eq", "a=b"},         {"Impostazioni", "Missing", "dflt"},
      {"Nowhere", "Porta", "dflt"},          {"Impostazioni", "Late", "dflt"},
  };
  for (const Case& c : aCases) {
    EXPECT_EQ(GETPVPROFSTRING(c.cSection, c.cEntry, "dflt", f), c.cExpected)
        << c.cSection << "/" << c.cEntry;
  }
  EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "dflt", Path("missing.ini")), "dflt");
  EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", Path("missing.ini")), "");
}

TEST_F(ProfileRead, WithoutEntryListsTheSectionsKeysEachEndedByZero) {
  Write("a.ini", "[S]\nOne=1\n; comment\nTwo = 2\n\n[T]\nThree=3\n");
  EXPECT_EQ(GETPVPROFSTRING("s", std::nullopt, "", Path("a.ini")), std::string("One\0Two\0", 8));
}

TEST_F(ProfileRead, LongValuesAreCutAndBackslashPathsNameTheFolder) {
  Write("long.ini", "[S]\nK=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "", Path("long.ini")), std::string(4094, 'v'));
  const std::string cBackslashed = m_path.string() + "\\long.ini";
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "", cBackslashed).size(), 4094u);
}

using ProfileWrite = TempFolder;

TEST_F(ProfileWrite, CreatesTheFileUnderExactlyTheNameGiven) {
  ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", Path("Veltra.Ini")));
  EXPECT_EQ(Read("Veltra.Ini"), "[Impostazioni]\nPorta=COM1\n");
  EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file is left behind";
  EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", Path("Veltra.Ini")), "COM1");
}

TEST_F(ProfileWrite, KeepsEveryOtherLineAndReplacesTheValueInPlace) {
  const std::string cBefore = "; my port\r\n"
                              "[Unknown]\r\n"
                              "Keep=me\r\n"
                              "\r\n"
                              "[IMPOSTAZIONI]\r\n"
                              "Porta=\r\n"
                              "Other=1\r\n"
                              "\r\n"
                              "[Last]\r\n"
                              "X=y";
  Write("VELTRA.INI", cBefore);
  ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "porta", "COM1", Path("VELTRA.INI")));
  std::string cAfter = cBefore;
  cAfter.replace(cAfter.find("Porta=\r\n"), 8, "Porta=COM1\r\n");
  EXPECT_EQ(Read("VELTRA.INI"), cAfter);
}

TEST_F(ProfileWrite, AddsAMissingKeyAtTheEndOfItsSectionAndAMissingSectionAtTheEnd) {
  Write("a.ini", "[A]\nOne=1\n\n[B]\nTwo=2");
  ASSERT_TRUE(WRITEPPROSTRING("a", "New", "v", Path("a.ini")));
  ASSERT_TRUE(WRITEPPROSTRING("C", "K", "w", Path("a.ini")));
  EXPECT_EQ(Read("a.ini"), "[A]\nOne=1\nNew=v\n\n[B]\nTwo=2\n[C]\nK=w\n");
}

TEST_F(ProfileWrite, DeletesAnEntryOrASectionWhenGivenNoValueOrNoEntry) {
  Write("a.ini", "[A]\nOne=1\nTwo=2\n[B]\nThree=3\n");
  ASSERT_TRUE(WRITEPPROSTRING("A", "One", std::nullopt, Path("a.ini")));
  ASSERT_TRUE(WRITEPPROSTRING("B", std::nullopt, std::nullopt, Path("a.ini")));
  EXPECT_EQ(Read("a.ini"), "[A]\nTwo=2\n");
}

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

TEST_F(ProfileWrite, KeepsTheByteOrderMarkAndEachLinesOwnEnding) {
  const std::string cBom = "\xEF\xBB\xBF";
  const struct {
    std::string cBefore;
    std::string cRead; // Porta as read from cBefore
    std::string cAfter;
  } aCases[] = {
      {cBom + "[Impostazioni]\r\nPorta=ttyUSB0\r\n", "ttyUSB0",
       cBom + "[Impostazioni]\r\nPorta=COM9\r\n"},
      {cBom + "; note", "", cBom + "; note\n[Impostazioni]\nPorta=COM9\n"},
      {cBom, "", cBom + "[Impostazioni]\nPorta=COM9\n"},
      {"[Impostazioni]\rX=1\r", "", "[Impostazioni]\rX=1\rPorta=COM9\r"},
      {"[A]\r\nX=1\n[Impostazioni]\rPorta=1\n\r\n", "1",
       "[A]\r\nX=1\n[Impostazioni]\rPorta=COM9\n\r\n"},
      {"[Impostazioni]\r\rPorta=2\r\n", "2", "[Impostazioni]\r\rPorta=COM9\r\n"},
      {"[Impostazioni]\nX=1\n[B]\nY=2", "", "[Impostazioni]\nX=1\nPorta=COM9\n[B]\nY=2"},
      {"[Impostazioni]\rX=1\n\n", "", "[Impostazioni]\rX=1\nPorta=COM9\n\n"},
  };
  for (const auto& c : aCases) {
    Write("VELTRA.INI", c.cBefore);
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", Path("VELTRA.INI")), c.cRead)
        << c.cBefore;
    ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM9", Path("VELTRA.INI")));
    EXPECT_EQ(Read("VELTRA.INI"), c.cAfter) << c.cBefore;
  }
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
  fs::create_directory(m_path / "real");
  const std::string cOld = "[S]\nK=old\n";
  const std::string cNew = "[S]\nK=new\n";
  const struct {
    const char* cName;
    std::function<void(const fs::path&)> bLink; // makes cName name real/a.ini
  } aCases[] = {
      {"symlink", [](const fs::path& p) { fs::create_symlink("real/a.ini", p); }},
      {"chain",
       [this](const fs::path& p) {
         fs::create_symlink(m_path / "real" / "a.ini", m_path / "hop");
         fs::create_symlink("hop", p);
       }},
      {"hard link", [this](const fs::path& p) { fs::create_hard_link(m_path / "real/a.ini", p); }},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cName);
    fs::remove(m_path / "hop");
    Write("real/a.ini", cOld);
    c.bLink(m_path / "link.ini");
    ASSERT_TRUE(WRITEPPROSTRING("S", "K", "new", Path("link.ini")));
    EXPECT_EQ(Read("real/a.ini"), cNew);
    EXPECT_EQ(Read("link.ini"), cNew);
    EXPECT_EQ(fs::symlink_status(m_path / "link.ini").type(),
              c.cName[0] == 'h' ? fs::file_type::regular : fs::file_type::symlink);
    EXPECT_EQ(FilesInFolder(), c.cName[0] == 'c' ? 3u : 2u) << "no temporary file is left";
    fs::remove(m_path / "link.ini");
  }
  // A link to a file not yet there creates it.
  fs::create_symlink("real/new.ini", m_path / "dangling.ini");
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

// The write checks the mode bits (a file with no write bit is read-only, even for root) and
// then the access the process really has. Root passes every access check, so as root the
// second row runs the write in a child that has become the unprivileged user "nobody".
TEST_F(ProfileWrite, LeavesAFileItMayNotWriteAsItWas) {
  const std::string cOld = "[S]\nK=old\n";
  ::chmod(m_path.c_str(), 0755);
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

using WholeFileRead = TempFolder;

TEST_F(WholeFileRead, ReturnsEveryByteButAFinalEndOfFileMarker) {
  const std::string cMiddle("a\0b\x1A"
                            "c\0",
                            6);
  const struct {
    std::string cContent;
    std::string cExpected;
  } aCases[] = {
      {cMiddle, cMiddle}, {cMiddle + "\x1A", cMiddle}, {"\x1A", ""}, {"\x1A\x1A", "\x1A"}, {"", ""},
  };
  for (const auto& c : aCases) {
    Write("img.mgt", c.cContent);
    EXPECT_EQ(MEMOREAD(Path("img.mgt")), c.cExpected);
  }
}

TEST_F(WholeFileRead, ReadsAWholeDiskImage) {
  std::string cDisk(819200, '\0');
  for (std::size_t i = 0; i < cDisk.size(); ++i) {
    cDisk[i] = static_cast<char>(i * 7 + i / 251);
  }
  Write("disk.mgt", cDisk);
  EXPECT_TRUE(MEMOREAD(Path("disk.mgt")) == cDisk);
}

TEST_F(WholeFileRead, MissingOrUnreadableGivesTheEmptyString) {
  EXPECT_EQ(MEMOREAD(Path("missing.mgt")), "");
  EXPECT_EQ(MEMOREAD(m_path.string()), "") << "a folder";
  EXPECT_EQ(MEMOREAD(std::nullopt), "");
  EXPECT_EQ(MEMOREAD(""), "");
  Write("lower.mgt", "data");
  EXPECT_EQ(MEMOREAD(Path("LOWER.MGT")), "") << "names are opened exactly as given";
  if (::geteuid() != 0) {
    ::chmod(Path("lower.mgt").c_str(), 0);
    EXPECT_EQ(MEMOREAD(Path("lower.mgt")), "");
  }
}

TEST_F(WholeFileRead, FilesOf4GiBMinusOneOrMoreGiveTheEmptyString) {
  for (const std::uintmax_t nSize : {std::uintmax_t{0xFFFFFFFF}, std::uintmax_t{1} << 40}) {
    Write("huge.mgt", "");
    fs::resize_file(Path("huge.mgt"), nSize); // sparse: takes no room on disk
    EXPECT_EQ(MEMOREAD(Path("huge.mgt")), "") << nSize;
  }
}

// A FIFO or a device is never opened: reading either can wait for ever. Each call must come
// back at once; a generous bound keeps a regression from hanging the suite.
TEST_F(WholeFileRead, NeitherFileServiceOpensAFifoOrADevice) {
  ASSERT_EQ(::mkfifo(Path("fifo.mgt").c_str(), 0600), 0);
  for (const std::string& cPath : {Path("fifo.mgt"), std::string("/dev/zero"), m_path.string()}) {
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

TEST(Empty, BlanksTabsAndLineBreaksAreEmptyAndZeroIsNot) {
  EXPECT_TRUE(EMPTY(""));
  EXPECT_TRUE(EMPTY(" \t\r\n "));
  EXPECT_TRUE(EMPTY(std::nullopt));
  EXPECT_FALSE(EMPTY(std::string_view("\0", 1)));
  EXPECT_FALSE(EMPTY(" x "));
  EXPECT_FALSE(EMPTY("\v"));
}

} // namespace
} // namespace veltra::runtime
