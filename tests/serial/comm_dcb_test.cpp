// The configuration record BUILDCOMMDCB makes from a definition text: platform-free, so the
// same on Linux and Windows.
#include "serial/comm_dcb.h"
#include "serial/comm_port.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace veltra::serial {
namespace {

// The records the definitions build, read back field by field.
struct DcbCase {
  const char* pName;
  const char* pDef;
  unsigned nBaud;
  int nSize;
  detail::Parity eParity;
  int nStop;
};
void PrintTo(const DcbCase& o, std::ostream* pOut) {
  *pOut << o.pName;
}

class BuildCommDcb : public ::testing::TestWithParam<DcbCase> {};

TEST_P(BuildCommDcb, BuildsTheRecord) {
  const DcbCase& o = GetParam();
  std::string cDcb = "old";
  ASSERT_TRUE(BUILDCOMMDCB(o.pDef, cDcb));
  EXPECT_TRUE(BUILDCOMMDCB(o.pDef));
  ASSERT_EQ(cDcb.size(), 28U);
  auto Byte = [&](int i) { return static_cast<unsigned>(static_cast<unsigned char>(cDcb[i])); };
  EXPECT_EQ(Byte(0), 28U);
  EXPECT_EQ(Byte(4) | Byte(5) << 8 | Byte(6) << 16 | Byte(7) << 24, o.nBaud);
  EXPECT_EQ(Byte(8) & 1U, 1U) << "binary flag";
  EXPECT_EQ(Byte(8) & ~1U, o.eParity == detail::Parity::None ? 0U : 2U) << "no flow control";
  EXPECT_EQ(Byte(9), 0U);
  EXPECT_EQ(Byte(18), static_cast<unsigned>(o.nSize));
  EXPECT_EQ(Byte(19), static_cast<unsigned>(o.eParity));
  EXPECT_EQ(Byte(20), o.nStop == 2 ? 2U : 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Definitions, BuildCommDcb,
    ::testing::Values(DcbCase{"Comma8N2", "115200,N,8,2", 115200, 8, detail::Parity::None, 2},
                      DcbCase{"Blanks7E1", " 9600 , e , 7 , 1 ", 9600, 7, detail::Parity::Even, 1},
                      DcbCase{"Small5O1", "300,o,5,1", 300, 5, detail::Parity::Odd, 1},
                      DcbCase{"Odd6M2", "250000,M,6,2", 250000, 6, detail::Parity::Mark, 2},
                      DcbCase{"BaudOnly", "19200", 19200, 8, detail::Parity::None, 1},
                      DcbCase{"Keys8N2", "baud=115200 parity=n data=8 stop=2", 115200, 8,
                              detail::Parity::None, 2},
                      DcbCase{"KeysAnyOrder", "STOP=1 Baud=1200 parity=s", 1200, 8,
                              detail::Parity::Space, 1}),
    [](const auto& oInfo) { return std::string(oInfo.param.pName); });

TEST(BuildCommDcbRejects, BadDefinitionsAndEmptiesTheResult) {
  for (const char* pDef :
       {"", "   ", "fast", "115200,X,8,2", "115200,N,9,2", "115200,N,4,1", "115200,N,8,3",
        "115200,N,8,1.5", "0,N,8,1", "49,N,8,1", "115200,N,8,2,x", ",N,8,1", "115200,,8,1",
        "-9600,N,8,1", "baud=115200 parity=q", "parity=n data=8", "baud=9600 baud=9600",
        "baud=9600 xon=on", "baud=9600,parity=n"}) {
    std::string cDcb = "kept only on success";
    EXPECT_FALSE(BUILDCOMMDCB(pDef, cDcb)) << pDef;
    EXPECT_EQ(cDcb, "") << pDef;
    EXPECT_FALSE(BUILDCOMMDCB(pDef)) << pDef;
  }
}

} // namespace
} // namespace veltra::serial
