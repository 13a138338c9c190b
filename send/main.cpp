// veltra-send: the transfer of VELTRA from a terminal, for machines without a desktop. Links
// no Qt: the serial layer's event loop is its poll loop.
#include "send/send_flow.h"
#include "send/send_options.h"
#include "send/terminal.h"
#include "serial/port_list.h"

#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
  using namespace veltra::send;
  std::string cError;
  const auto oOptions = PARSEOPTIONS(std::vector<std::string_view>(argv + 1, argv + argc), cError);
  if (!oOptions) {
    WRITEOUT(STDERR_FILENO, "veltra-send: " + veltra::serial::PRINTABLE(cError) +
                                " (veltra-send --help shows the options)\n");
    return kExitUnusable;
  }
  switch (oOptions->eAction) {
  case Action::Help:
    WRITEOUT(STDOUT_FILENO, kUsage);
    return 0;
  case Action::Version:
    WRITEOUT(STDOUT_FILENO, "veltra-send " VELTRA_VERSION "\n");
    return 0;
  case Action::ListPorts:
    return LISTPORTS();
  case Action::Check:
    return CHECKIMAGES(oOptions->aImages);
  case Action::Send:
    break;
  }
  return SENDIMAGES(oOptions->aImages, oOptions->cPort, oOptions->nWaitSeconds);
}
