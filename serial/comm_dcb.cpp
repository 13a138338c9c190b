// Definition-text parser and the 28-byte configuration record (BUILDCOMMDCB).
#include "serial/comm_dcb.h"

#include "serial/comm_port.h"

#include <array>
#include <cctype>
#include <charconv>
#include <vector>

namespace veltra::serial {
namespace detail {
namespace {

constexpr std::uint32_t kMinBaud = 50;
constexpr std::uint32_t kMaxBaud = 4000000;

// Offsets of the fields in the record.
constexpr int kOffLength = 0;
constexpr int kOffBaud = 4;
constexpr int kOffFlags = 8;
constexpr int kOffByteSize = 18;
constexpr int kOffParity = 19;
constexpr int kOffStopBits = 20;

std::string_view Trim(std::string_view cText) {
  while (!cText.empty() && std::isspace(static_cast<unsigned char>(cText.front())) != 0) {
    cText.remove_prefix(1);
  }
  while (!cText.empty() && std::isspace(static_cast<unsigned char>(cText.back())) != 0) {
    cText.remove_suffix(1);
  }
  return cText;
}

std::optional<std::uint32_t> ParseNumber(std::string_view cText) {
  std::uint32_t nValue = 0;
  const auto [pEnd, eErr] = std::from_chars(cText.data(), cText.data() + cText.size(), nValue);
  if (cText.empty() || eErr != std::errc() || pEnd != cText.data() + cText.size()) {
    return std::nullopt;
  }
  return nValue;
}

bool SetBaud(std::string_view cText, LineSettings& oOut) {
  const auto nBaud = ParseNumber(cText);
  if (!nBaud || *nBaud < kMinBaud || *nBaud > kMaxBaud) {
    return false;
  }
  oOut.nBaudRate = *nBaud;
  return true;
}

bool SetParity(std::string_view cText, LineSettings& oOut) {
  if (cText.size() != 1) {
    return false;
  }
  switch (std::tolower(static_cast<unsigned char>(cText.front()))) {
  case 'n':
    oOut.eParity = Parity::None;
    break;
  case 'o':
    oOut.eParity = Parity::Odd;
    break;
  case 'e':
    oOut.eParity = Parity::Even;
    break;
  case 'm':
    oOut.eParity = Parity::Mark;
    break;
  case 's':
    oOut.eParity = Parity::Space;
    break;
  default:
    return false;
  }
  return true;
}

bool SetByteSize(std::string_view cText, LineSettings& oOut) {
  const auto nSize = ParseNumber(cText);
  if (!nSize || *nSize < 5 || *nSize > 8) {
    return false;
  }
  oOut.nByteSize = static_cast<std::uint8_t>(*nSize);
  return true;
}

// 1.5 stop bits are refused: termios can express only one or two.
bool SetStopBits(std::string_view cText, LineSettings& oOut) {
  if (cText == "1") {
    oOut.nStopBits = kOneStopBit;
  } else if (cText == "2") {
    oOut.nStopBits = kTwoStopBits;
  } else {
    return false;
  }
  return true;
}

std::vector<std::string_view> Split(std::string_view cText, char cSep) {
  std::vector<std::string_view> aParts;
  std::size_t nStart = 0;
  for (;;) {
    const std::size_t nPos = cText.find(cSep, nStart);
    aParts.push_back(Trim(cText.substr(nStart, nPos - nStart)));
    if (nPos == std::string_view::npos) {
      return aParts;
    }
    nStart = nPos + 1;
  }
}

// "baud[,parity[,data[,stop]]]"; omitted fields keep no parity, 8 data bits, 1 stop bit.
std::optional<LineSettings> ParseCommaForm(std::string_view cDef) {
  const auto aParts = Split(cDef, ',');
  if (aParts.size() > 4) {
    return std::nullopt;
  }
  LineSettings oOut;
  using Setter = bool (*)(std::string_view, LineSettings&);
  constexpr std::array<Setter, 4> aSetters = {SetBaud, SetParity, SetByteSize, SetStopBits};
  for (std::size_t i = 0; i < aParts.size(); ++i) {
    if (!aSetters[i](aParts[i], oOut)) {
      return std::nullopt;
    }
  }
  return oOut;
}

// "baud=B [parity=P] [data=D] [stop=S]" in any order, separated by blanks; baud is required.
std::optional<LineSettings> ParseKeyForm(std::string_view cDef) {
  LineSettings oOut;
  unsigned nSeen = 0;
  for (std::string_view cItem : Split(cDef, ' ')) {
    if (cItem.empty()) {
      continue;
    }
    const std::size_t nEq = cItem.find('=');
    if (nEq == std::string_view::npos) {
      return std::nullopt;
    }
    std::string cKey(cItem.substr(0, nEq));
    for (char& c : cKey) {
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string_view cValue = cItem.substr(nEq + 1);
    struct Key {
      const char* pName;
      bool (*pSet)(std::string_view, LineSettings&);
    };
    constexpr std::array<Key, 4> aKeys = {
        {{"baud", SetBaud}, {"parity", SetParity}, {"data", SetByteSize}, {"stop", SetStopBits}}};
    bool lKnown = false;
    for (std::size_t i = 0; i < aKeys.size(); ++i) {
      if (cKey == aKeys[i].pName) {
        const unsigned nBit = 1U << i;
        if ((nSeen & nBit) != 0 || !aKeys[i].pSet(cValue, oOut)) {
          return std::nullopt;
        }
        nSeen |= nBit;
        lKnown = true;
      }
    }
    if (!lKnown) {
      return std::nullopt;
    }
  }
  if ((nSeen & 1U) == 0) {
    return std::nullopt;
  }
  return oOut;
}

void PutLe(std::string& cOut, int nOffset, std::uint32_t nValue, int nBytes) {
  for (int i = 0; i < nBytes; ++i) {
    cOut[static_cast<std::size_t>(nOffset + i)] = static_cast<char>((nValue >> (8 * i)) & 0xFFU);
  }
}

std::uint32_t GetLe(std::string_view cIn, int nOffset, int nBytes) {
  std::uint32_t nValue = 0;
  for (int i = 0; i < nBytes; ++i) {
    nValue |= static_cast<std::uint32_t>(static_cast<unsigned char>(cIn[nOffset + i])) << (8 * i);
  }
  return nValue;
}

} // namespace

std::optional<LineSettings> ParseCommDefinition(std::string_view cDef) {
  cDef = Trim(cDef);
  if (cDef.empty()) {
    return std::nullopt;
  }
  auto oSettings =
      cDef.find('=') != std::string_view::npos ? ParseKeyForm(cDef) : ParseCommaForm(cDef);
  if (oSettings && oSettings->eParity != Parity::None) {
    oSettings->nFlags |= kFlagParityCheck;
  }
  return oSettings;
}

std::string EncodeDcb(const LineSettings& oSettings) {
  std::string cDcb(kDcbLength, '\0');
  PutLe(cDcb, kOffLength, kDcbLength, 4);
  PutLe(cDcb, kOffBaud, oSettings.nBaudRate, 4);
  PutLe(cDcb, kOffFlags, oSettings.nFlags, 4);
  PutLe(cDcb, kOffByteSize, oSettings.nByteSize, 1);
  PutLe(cDcb, kOffParity, static_cast<std::uint32_t>(oSettings.eParity), 1);
  PutLe(cDcb, kOffStopBits, oSettings.nStopBits, 1);
  return cDcb;
}

std::optional<LineSettings> DecodeDcb(std::string_view cDcb) {
  if (cDcb.size() != kDcbLength || GetLe(cDcb, kOffLength, 4) != kDcbLength) {
    return std::nullopt;
  }
  LineSettings oOut;
  oOut.nBaudRate = GetLe(cDcb, kOffBaud, 4);
  oOut.nFlags = GetLe(cDcb, kOffFlags, 4);
  oOut.nByteSize = static_cast<std::uint8_t>(GetLe(cDcb, kOffByteSize, 1));
  const std::uint32_t nParity = GetLe(cDcb, kOffParity, 1);
  oOut.nStopBits = static_cast<std::uint8_t>(GetLe(cDcb, kOffStopBits, 1));
  const bool lFlowControl =
      (oOut.nFlags & (kFlagOutxCtsFlow | kFlagOutxDsrFlow | kFlagOutX | kFlagInX)) != 0 ||
      (oOut.nFlags & kMaskDtrControl) == (2U << 4) || (oOut.nFlags & kMaskRtsControl) == (2U << 12);
  if (oOut.nBaudRate == 0 || oOut.nByteSize < 5 || oOut.nByteSize > 8 || nParity > 4 ||
      (oOut.nStopBits != kOneStopBit && oOut.nStopBits != kTwoStopBits) || lFlowControl) {
    return std::nullopt;
  }
  oOut.eParity = static_cast<Parity>(nParity);
  return oOut;
}

} // namespace detail

bool BUILDCOMMDCB(std::string_view cDef, std::string& cDcb) {
  const auto oSettings = detail::ParseCommDefinition(cDef);
  cDcb = oSettings ? detail::EncodeDcb(*oSettings) : std::string();
  return oSettings.has_value();
}

bool BUILDCOMMDCB(std::string_view cDef) {
  return detail::ParseCommDefinition(cDef).has_value();
}

} // namespace veltra::serial
