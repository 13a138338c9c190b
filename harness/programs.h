// The programs of this build as the suites, the benchmarks and the screenshot tools run them:
// where they are, a sample disk image, the device emulator on a pseudo-terminal with its
// summary, and the window program's titles and Esc.
#pragma once

#include "harness/process.h"

#include <string>
#include <vector>

namespace veltra::harness {

// The programs of this build; VELTRA_E2E_VELTRA and VELTRA_E2E_DEVICE name others to run.
std::string VeltraPath();
std::string DevicePath();
std::string SendPath();
// A disk image whose bytes differ from block to block and whose last byte is 0x1A.
std::string PatternImage(std::size_t nSize);

// The titles of the program's file chooser and (their common ending) its transfer window.
inline constexpr const char* kChooserTitle = "Seleziona immagine da inviare";
inline constexpr const char* kDialogTitle = "115200,N,8,2";
// Esc held in the transfer window, as a person ends a transfer.
void EscInDialog(const Display& oDisplay);

// The device emulator started with aArgs on a new pseudo-terminal; cPort is set to the
// terminal's path (empty when it did not start).
Child StartDevice(const std::vector<std::string>& aArgs, std::string& cPort);
// The emulator's closing summary ("veltra-device: blocks ..."), or all it printed.
std::string DeviceSummary(Child& oDevice);

} // namespace veltra::harness
