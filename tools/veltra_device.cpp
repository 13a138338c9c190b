// veltra-device: plays the retro computer's disk device on a serial port or on a
// pseudo-terminal it creates. It sends the command bytes of a script ("T" per block, then
// "E"), checks every answer (0x00, at least 9 ms of silence, then the block), compares the
// blocks with an expected image and prints a summary. Plain POSIX, sharing the port naming
// and the termios line settings with VELTRA. The options, the script, the line reader, the
// port and the session each have their file under tools/device/.
#include "app/protocol.h"
#include "serial/comm_console.h"
#include "serial/comm_port.h"
#include "serial/port_list.h"
#include "tools/device/device_options.h"
#include "tools/device/device_port.h"
#include "tools/device/device_script.h"
#include "tools/device/device_session.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace veltra::tools;

namespace {

constexpr std::size_t kBlockSize = veltra::app::kBlockSize;

std::optional<std::string> ReadFile(const std::string& cPath) {
  std::ifstream oIn(cPath, std::ios::binary);
  if (!oIn) {
    return std::nullopt;
  }
  return std::string(std::istreambuf_iterator<char>(oIn), std::istreambuf_iterator<char>());
}

// Why a port cannot be opened, in words.
std::string OpenFailure(int nErrno) {
  if (nErrno == veltra::serial::ECOMMCONSOLE) {
    return "it is a system console";
  }
  if (nErrno == veltra::serial::ECOMMOWNTERMINAL) {
    return "it is the terminal veltra-device runs in";
  }
  return std::strerror(nErrno);
}

// A stop signal puts a real port's line back, then ends the program as the signal would.
void OnStopSignal(int nSignal) {
  RESTOREPORTNOW();
  ::signal(nSignal, SIG_DFL);
  ::raise(nSignal);
}

} // namespace

int main(int argc, char** argv) {
  std::string cError;
  const auto oOptions = ParseOptions(std::vector<std::string_view>(argv + 1, argv + argc), cError);
  if (!oOptions) {
    std::fprintf(stderr, "veltra-device: %s (veltra-device --help shows the options)\n",
                 veltra::serial::PRINTABLE(cError).c_str());
    return 2;
  }
  const Options& o = *oOptions;
  if (o.lHelp || o.lVersion) {
    std::fputs(o.lHelp ? kUsage : "veltra-device " VELTRA_VERSION "\n", stdout);
    return 0;
  }
  // The consoles as the port listing sees them (VELTRA_PROCFS stands in for /proc).
  veltra::serial::SetConsolesList(veltra::serial::PORTROOTS().cProc + "/consoles");
  for (const int nSignal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    ::signal(nSignal, OnStopSignal);
  }
  std::optional<LineFormat> oPace;
  if (o.cPace) {
    oPace = ParseLineFormat(*o.cPace);
  }
  std::optional<std::string> cExpected;
  std::optional<std::string> cImage;
  for (const auto& [pPath, pTarget] : {std::pair{&o.cExpect, &cExpected}, {&o.cImage, &cImage}}) {
    if (*pPath && !(*pTarget = ReadFile(**pPath))) {
      std::fprintf(stderr, "veltra-device: cannot read %s\n",
                   veltra::serial::PRINTABLE(**pPath).c_str());
      return 2;
    }
  }
  std::string cScript;
  if (o.cCommands) {
    cScript = *o.cCommands;
  } else if (cImage || cExpected) {
    const std::size_t nSize = (cImage ? cImage : cExpected)->size();
    cScript = std::string((nSize + kBlockSize - 1) / kBlockSize, 'T') + "E";
  } else {
    std::fprintf(stderr, "veltra-device: give --image, --expect or --commands\n");
    return 2;
  }
  const auto oScript = PARSESCRIPT(cScript);
  if (const auto* pError = std::get_if<ScriptError>(&oScript)) {
    std::fprintf(stderr, "veltra-device: --commands at offset %zu: %s\n", pError->nOffset,
                 pError->cText.c_str());
    return 2;
  }

  const auto oPort = o.lPty ? CreatePty() : OpenPort(o.cPort, oPace);
  if (!oPort) {
    const int nErrno = errno;
    std::fprintf(stderr, "veltra-device: cannot open %s: %s\n",
                 o.lPty ? "a pseudo-terminal" : veltra::serial::PRINTABLE(o.cPort).c_str(),
                 OpenFailure(nErrno).c_str());
    return 2;
  }
  const int nFd = oPort->oFd.Get();
  if (o.lPty) {
    std::printf("%s\n", oPort->cPath.c_str());
    std::fflush(stdout);
    const auto tOpenBound = o.lTimeoutGiven
                                ? std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                      std::chrono::duration<double>(o.dTimeout))
                                : std::chrono::steady_clock::duration::max();
    if (!WaitForPeer(nFd, tOpenBound)) {
      Say(Format("timeout: no program opened the line for %.1f s", o.dTimeout));
      return 1;
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(o.nSettleMs));

  Session oSession(o, nFd, oPace, cExpected);
  const auto tStart = Clock::now();
  const bool lCompleted = oSession.Run(std::get<std::vector<ScriptStep>>(oScript));
  const double dElapsed = std::chrono::duration<double>(Clock::now() - tStart).count();
  const Summary& oSum = oSession.Result();

  if (o.cSave) {
    std::ofstream oOut(*o.cSave, std::ios::binary | std::ios::trunc);
    oOut.write(oSession.Received().data(),
               static_cast<std::streamsize>(oSession.Received().size()));
    if (!oOut) {
      Say("cannot write " + veltra::serial::PRINTABLE(*o.cSave));
    }
  }
  double dMean = 0;
  for (const double d : oSum.aTimeToZeroMs) {
    dMean += d / static_cast<double>(oSum.aTimeToZeroMs.size());
  }
  Say(Format("blocks %d, bytes %zu, errors %d, elapsed %.2f s, t-to-0 mean %.2f ms p99 %.2f ms",
             oSum.nBlocks, oSum.nBytes, oSum.nErrors, dElapsed, dMean,
             Percentile99(oSum.aTimeToZeroMs)));
  if (o.lPty) {
    WaitForPeerToClose(nFd, std::chrono::seconds(2));
  } else {
    ::tcdrain(nFd);
  }
  return lCompleted && oSum.nErrors == 0 ? 0 : 1;
}
