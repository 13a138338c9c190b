// The settings file, the whole-file read and the emptiness test, on real files in a
// temporary folder.
#include "runtime/empty.h"
#include "runtime/profile.h"
#include "runtime/profile_file.h"
#include "tests/support/temp_dir.h"

#include <gtest/gtest.h>

namespace veltra::runtime {
namespace {

namespace fs = std::filesystem;
using veltra::test::TempDirTest;

using ProfileRead = TempDirTest;

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
  const std::string cBackslashed = Path().string() + "\\long.ini";
  EXPECT_EQ(GETPVPROFSTRING("S", "K", "", cBackslashed).size(), 4094u);
}

using ProfileWrite = TempDirTest;

// One write to a file as it was before (none: no file yet), and the file after it: the named
// entry is replaced in place, added at the end of its section or the section at the end of
// the file, or deleted, and every other byte is kept (comments, other sections, blank lines,
// a UTF-8 mark, each line's own ending); lines added to a file with no line end of its own
// end as the platform's do. The file keeps the name it was given and no temporary is left.
TEST_F(ProfileWrite, ChangesWhatItNamesAndKeepsEveryOtherByte) {
  const std::string N = detail::NEWFILELINEEND; // "\r\n" on Windows
  const std::string B = "\xEF\xBB\xBF";
  const std::string cHead = "; my port\r\n[Unknown]\r\nKeep=me\r\n\r\n[IMPOSTAZIONI]\r\nPorta=";
  const std::string cTail = "\r\nOther=1\r\n\r\n[Last]\r\nX=y";
  const struct {
    std::optional<std::string> cBefore;
    const char* cSection;
    std::optional<std::string> cEntry;
    std::optional<std::string> cValue;
    std::string cAfter;
  } aCases[] = {
      {std::nullopt, "Impostazioni", "Porta", "COM1", "[Impostazioni]" + N + "Porta=COM1" + N},
      {cHead + cTail, "Impostazioni", "porta", "COM1", cHead + "COM1" + cTail},
      {"[A]\nOne=1\n\n[B]\nTwo=2", "a", "New", "v", "[A]\nOne=1\nNew=v\n\n[B]\nTwo=2"},
      {"[A]\nOne=1\n\n[B]\nTwo=2", "C", "K", "w", "[A]\nOne=1\n\n[B]\nTwo=2\n[C]\nK=w\n"},
      {"[A]\nOne=1\nTwo=2\n[B]\nThree=3\n", "A", "One", std::nullopt, "[A]\nTwo=2\n[B]\nThree=3\n"},
      {"[A]\nOne=1\nTwo=2\n[B]\nThree=3\n", "B", std::nullopt, std::nullopt, "[A]\nOne=1\nTwo=2\n"},
      {B + "[Impostazioni]\r\nPorta=ttyUSB0\r\n", "Impostazioni", "Porta", "COM9",
       B + "[Impostazioni]\r\nPorta=COM9\r\n"},
      {B + "; note", "Impostazioni", "Porta", "COM9",
       B + "; note" + N + "[Impostazioni]" + N + "Porta=COM9" + N},
      {B, "Impostazioni", "Porta", "COM9", B + "[Impostazioni]" + N + "Porta=COM9" + N},
      {"[Impostazioni]\rX=1\r", "Impostazioni", "Porta", "COM9",
       "[Impostazioni]\rX=1\rPorta=COM9\r"},
      {"[A]\r\nX=1\n[Impostazioni]\rPorta=1\n\r\n", "Impostazioni", "Porta", "COM9",
       "[A]\r\nX=1\n[Impostazioni]\rPorta=COM9\n\r\n"},
      {"[Impostazioni]\r\rPorta=2\r\n", "Impostazioni", "Porta", "COM9",
       "[Impostazioni]\r\rPorta=COM9\r\n"},
      {"[Impostazioni]\rX=1\n\n", "Impostazioni", "Porta", "COM9",
       "[Impostazioni]\rX=1\nPorta=COM9\n\n"},
  };
  for (const auto& c : aCases) {
    SCOPED_TRACE(c.cBefore.value_or("no file"));
    fs::remove(Path("Veltra.Ini"));
    if (c.cBefore) {
      Write("Veltra.Ini", *c.cBefore);
    }
    ASSERT_TRUE(WRITEPPROSTRING(c.cSection, c.cEntry, c.cValue, Path("Veltra.Ini")));
    EXPECT_EQ(Read("Veltra.Ini"), c.cAfter);
    EXPECT_EQ(FilesInFolder(), 1u) << "no temporary file is left behind";
    if (c.cEntry) {
      EXPECT_EQ(GETPVPROFSTRING(c.cSection, *c.cEntry, "-", Path("Veltra.Ini")),
                c.cValue.value_or("-"));
    }
  }
}

// UTF-16 text as a file holds it: the byte-order mark, then each unit in the given order.
std::string Utf16(std::u16string_view cText, bool lLittleEndian) {
  std::string c;
  for (const char16_t n : u"\uFEFF" + std::u16string(cText)) {
    const char cHigh = static_cast<char>(n >> 8);
    const char cLow = static_cast<char>(n & 0xFF);
    c += lLittleEndian ? std::string{cLow, cHigh} : std::string{cHigh, cLow};
  }
  return c;
}

// Files saved as Notepad's "Unicode" (UTF-16 with a mark, either byte order, either line
// ending) are read and written back in their own encoding, every other byte kept; a file
// with a mark that is no UTF-16 text, or a value it cannot hold, is left alone.
TEST_F(ProfileWrite, KeepsUtf16FilesInTheirOwnEncodingAndLeavesUndecodableOnesAlone) {
  for (const bool lLe : {true, false}) {
    for (const std::u16string cEol : {u"\r\n", u"\n"}) {
      const std::u16string cBefore = u"; porta \u00E8 qui" + cEol + u"[Impostazioni]" + cEol +
                                     u"Porta=COM3" + cEol + u"Nome=\U0001F600" + cEol;
      Write("u.ini", Utf16(cBefore, lLe));
      EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "", Path("u.ini")), "COM3");
      EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Nome", "", Path("u.ini")), "\xF0\x9F\x98\x80");
      ASSERT_TRUE(WRITEPPROSTRING("Impostazioni", "Porta", "COM12", Path("u.ini")));
      ASSERT_TRUE(WRITEPPROSTRING("Altro", "Chiave", "\xC3\xA8", Path("u.ini")));
      std::u16string cAfter = cBefore;
      cAfter.replace(cAfter.find(u"COM3"), 4, u"COM12");
      cAfter += u"[Altro]" + cEol + u"Chiave=\u00E8" + cEol;
      EXPECT_EQ(Read("u.ini"), Utf16(cAfter, lLe)) << lLe << cEol.size();
      EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "\xE8", Path("u.ini")))
          << "a lone 8-bit byte has no UTF-16 form";
      EXPECT_EQ(Read("u.ini"), Utf16(cAfter, lLe));
    }
  }
  const std::string cOdd = Utf16(u"[Impostazioni]\r\nPorta=COM3\r\n", true) + "x";
  const std::string cLoneSurrogate = Utf16(u"[Impostazioni]\r\nPorta=COM3\xD800\r\n", false);
  for (const std::string& cBroken : {cOdd, cLoneSurrogate}) {
    Write("bad.ini", cBroken);
    EXPECT_EQ(GETPVPROFSTRING("Impostazioni", "Porta", "dflt", Path("bad.ini")), "dflt");
    EXPECT_FALSE(WRITEPPROSTRING("Impostazioni", "Porta", "COM1", Path("bad.ini")));
    EXPECT_EQ(Read("bad.ini"), cBroken);
  }
}

using WholeFileRead = TempDirTest;

// An image comes back byte for byte (a final 0x1A is image data the device waits for); only
// the text read drops that old end-of-file mark.
TEST_F(WholeFileRead, ImageKeepsEveryByteTextDropsAFinalEndOfFileMarker) {
  const std::string cMiddle("a\0b\x1A"
                            "c\0",
                            6);
  const struct {
    std::string cContent;
    std::string cText;
  } aCases[] = {
      {cMiddle, cMiddle}, {cMiddle + "\x1A", cMiddle}, {"\x1A", ""}, {"\x1A\x1A", "\x1A"}, {"", ""},
  };
  for (const auto& c : aCases) {
    Write("img.mgt", c.cContent);
    EXPECT_EQ(MEMOREAD(Path("img.mgt")), c.cText);
    EXPECT_EQ(ReadWholeFile(Path("img.mgt")), c.cContent);
  }
  std::string cDisk(819200, '\0');
  for (std::size_t i = 0; i < cDisk.size(); ++i) {
    cDisk[i] = static_cast<char>(i * 7 + i / 251);
  }
  cDisk.back() = '\x1A';
  Write("disk.mgt", cDisk);
  EXPECT_TRUE(ReadWholeFile(Path("disk.mgt")) == cDisk);
}

TEST_F(WholeFileRead, MissingOrUnreadableGivesTheEmptyString) {
  EXPECT_EQ(MEMOREAD(Path("missing.mgt")), "");
  EXPECT_EQ(MEMOREAD(Path().string()), "") << "a folder";
  EXPECT_EQ(MEMOREAD(std::nullopt), "");
  EXPECT_EQ(MEMOREAD(""), "");
}

// A FIFO or a device is never opened: reading either can wait for ever. Each call must come
// back at once; a generous bound keeps a regression from hanging the suite.
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
