// Bytes from the PC with the time each one finished arriving. With pacing, bytes are taken
// from the driver no faster than the line would deliver them, so the PC's writes meet the
// same back-pressure as on a real line.
#pragma once

#include "tools/device/device_options.h"

#include <chrono>
#include <cstddef>
#include <optional>
#include <vector>

namespace veltra::tools {

using Clock = std::chrono::steady_clock;

class LineReader {
public:
  LineReader(int nFd, std::optional<LineFormat> oPace);

  struct Byte {
    unsigned char nValue;
    Clock::time_point tEnd; // when its last bit arrived
  };

  enum class Status { Ok, Timeout, Gone };

  Status Next(Clock::time_point tDeadline, Byte& oOut);

  // The time one character takes on the paced line (zero without pacing).
  Clock::duration CharTime() const;

private:
  Status Fill(Clock::time_point tDeadline);

  int m_nFd;
  double m_dChar;
  Clock::time_point m_tLineFree{};
  bool m_lMoreQueued = false; // the last read left bytes in the driver's queue
  std::vector<Byte> m_aBuffer;
  std::size_t m_nNext = 0;
};

} // namespace veltra::tools
