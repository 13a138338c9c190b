// The port popup's help on Linux: serial devices belong to a group (dialout on Debian), which
// the user joins to use them.
#include "app/port_help.h"

#include <grp.h>
#include <sys/stat.h>

namespace veltra::app {

const char* const EXAMPLEPORT = "ttyUSB0";

std::string NOACCESSREASON(const std::string& cDevice) {
  std::string cGroup = "dialout";
  struct stat st {};
  if (::stat(cDevice.c_str(), &st) == 0 && st.st_gid != 0) {
    if (const group* pGroup = ::getgrgid(st.st_gid); pGroup != nullptr) {
      cGroup = pGroup->gr_name;
    }
  }
  return "non hai il permesso di usare la porta. Aggiungi il tuo utente al gruppo " + cGroup +
         " (sudo usermod -aG " + cGroup + " $USER), poi esci dalla sessione e rientra.";
}

} // namespace veltra::app
