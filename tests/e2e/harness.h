// What the end-to-end suite, the benchmarks and the screenshot tool share: the built programs
// and a sample disk image, on top of the common process and X server helpers.
#pragma once

#include "tests/support/process.h"

#include <string>

namespace veltra::e2e {

using namespace veltra::test;

// The programs of this build; VELTRA_E2E_VELTRA and VELTRA_E2E_DEVICE name others to run.
std::string VeltraPath();
std::string DevicePath();
// A disk image whose bytes differ from block to block.
std::string PatternImage(std::size_t nSize);

} // namespace veltra::e2e
