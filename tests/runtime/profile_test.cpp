// The settings file, the whole-file read and the emptiness test, on real files in a
// temporary folder.
#include "runtime/empty.h"
#include "runtime/profile.h"
#include "runtime/profile_file.h"
#include "temp_folder.h"

#include <gtest/gtest.h>

namespace veltra::runtime {
namespace {

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
  const std::string cEol = detail::NEWFILELINEEND; // "\r\n" on Windows
  EXPECT_EQ(Read("Veltra.Ini"), "[Impostazioni]" + cEol + "Porta=COM1" + cEol);
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

using WholeFileRead = TempFolder;

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
  EXPECT_EQ(MEMOREAD(m_path.string()), "") << "a folder";
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
