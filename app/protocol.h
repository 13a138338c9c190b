// The device protocol's fixed values, in one place for the transfer loop, veltra-send and the
// device emulator. The device asks with "T" and gets 0x00, a pause, then the next block of the
// image; "E" ends the transfer; the PC's one unasked byte is the abort.
#pragma once

#include <cstddef>

namespace veltra::app {

inline constexpr char kCommandBlock = 'T'; // device to PC: send the next block
inline constexpr char kCommandEnd = 'E';   // device to PC: the transfer is over
inline constexpr char kBlockLead = '\0';   // PC to device: goes before each block
inline constexpr char kAbortByte = '\x09'; // PC to device: the user aborted
// Between the 0x00's write and its block, counted from the write's completion.
inline constexpr long kPauseAfterZeroMs = 10;
// One track side: ten sectors of 512 bytes.
inline constexpr std::size_t kBlockSize = 5120;
// A whole disk: 80 tracks, 2 sides.
inline constexpr std::size_t kDiskSize = 160 * kBlockSize;

} // namespace veltra::app
