// The port configuration record carried from BUILDCOMMDCB to SETCOMMSTATE: 28 bytes,
// little-endian, laid out like a Win32 DCB (so a Win32 build could hand it over unchanged).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace veltra::serial::detail {

inline constexpr int kDcbLength = 28;

// Parity codes as stored in the record.
enum class Parity : std::uint8_t { None = 0, Odd = 1, Even = 2, Mark = 3, Space = 4 };

// Stop-bit codes as stored in the record (1.5 has a code but is never produced).
inline constexpr std::uint8_t kOneStopBit = 0;
inline constexpr std::uint8_t kOne5StopBits = 1;
inline constexpr std::uint8_t kTwoStopBits = 2;

// Bits of the flag word at offset 8.
inline constexpr std::uint32_t kFlagBinary = 1U << 0;
inline constexpr std::uint32_t kFlagParityCheck = 1U << 1;
inline constexpr std::uint32_t kFlagOutxCtsFlow = 1U << 2;
inline constexpr std::uint32_t kFlagOutxDsrFlow = 1U << 3;
inline constexpr std::uint32_t kMaskDtrControl = 3U << 4; // 2 there means DTR handshake
inline constexpr std::uint32_t kFlagOutX = 1U << 8;
inline constexpr std::uint32_t kFlagInX = 1U << 9;
inline constexpr std::uint32_t kMaskRtsControl = 3U << 12; // 2 there means RTS handshake

struct LineSettings {
  std::uint32_t nBaudRate = 0;
  std::uint8_t nByteSize = 8;
  Parity eParity = Parity::None;
  std::uint8_t nStopBits = kOneStopBit;
  std::uint32_t nFlags = kFlagBinary;

  bool operator==(const LineSettings&) const = default;
};

// Parses a definition text: "115200,N,8,2" or "baud=115200 parity=n data=8 stop=2".
std::optional<LineSettings> ParseCommDefinition(std::string_view cDef);

// The 28-byte record for oSettings.
std::string EncodeDcb(const LineSettings& oSettings);

// The settings of a record, or no value when it is not 28 bytes, its length field is not 28,
// or it asks for something the line cannot do (a size outside 5..8, an unknown parity or
// stop-bit code, a baud rate of 0, or flow control).
std::optional<LineSettings> DecodeDcb(std::string_view cDcb);

} // namespace veltra::serial::detail
