// The exit statuses of veltra-send, for scripts.
#pragma once

namespace veltra::send {

inline constexpr int kExitEnded = 0;      // the device said "E"
inline constexpr int kExitAborted = 1;    // Esc, Ctrl-C or a stop signal; 0x09 was sent
inline constexpr int kExitUnusable = 2;   // the port or the image cannot be used
inline constexpr int kExitLineLost = 3;   // the line went, or a block did not leave whole
inline constexpr int kExitImageEnded = 4; // the device asked for more blocks than the image has

} // namespace veltra::send
