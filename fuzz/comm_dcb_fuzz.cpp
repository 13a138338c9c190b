// BUILDCOMMDCB on any definition text, and the record's decoder on any 28 bytes: an accepted
// text gives a 28-byte record that decodes to what the text says, and a record that decodes
// encodes back to one that decodes the same.
#include "fuzz/check.h"
#include "serial/comm_dcb.h"
#include "serial/comm_port.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace sp = veltra::serial;
namespace dt = veltra::serial::detail;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* pData, std::size_t nSize) {
  const std::string_view cInput(reinterpret_cast<const char*>(pData), nSize);

  std::string cDcb = "left over";
  const bool lOk = sp::BUILDCOMMDCB(cInput, cDcb);
  FUZZ_CHECK(lOk == sp::BUILDCOMMDCB(cInput));
  FUZZ_CHECK(cDcb.size() == (lOk ? std::size_t{dt::kDcbLength} : 0));
  if (lOk) {
    const auto oParsed = dt::ParseCommDefinition(cInput);
    const auto oDecoded = dt::DecodeDcb(cDcb);
    FUZZ_CHECK(oParsed && oDecoded && *oParsed == *oDecoded);
    FUZZ_CHECK(oDecoded->nBaudRate >= 50 && oDecoded->nBaudRate <= 4000000);
    FUZZ_CHECK(oDecoded->nByteSize >= 5 && oDecoded->nByteSize <= 8);
    FUZZ_CHECK(dt::EncodeDcb(*oDecoded) == cDcb);
  }

  if (cInput.size() == static_cast<std::size_t>(dt::kDcbLength)) {
    if (const auto oRecord = dt::DecodeDcb(cInput)) {
      const auto oAgain = dt::DecodeDcb(dt::EncodeDcb(*oRecord));
      FUZZ_CHECK(oAgain && *oAgain == *oRecord);
    }
  }
  return 0;
}
