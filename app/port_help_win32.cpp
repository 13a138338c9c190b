// The port popup's help on Windows, where a port refused for access is almost always one
// that another program has open.
#include "app/port_help.h"

namespace veltra::app {

const char* const EXAMPLEPORT = "COM3";

std::string NOACCESSREASON(const std::string& /*cDevice*/) {
  return "Windows nega l'accesso alla porta: di solito \xE8 aperta da un altro programma. "
         "Chiudi quel programma e riprova.";
}

} // namespace veltra::app
