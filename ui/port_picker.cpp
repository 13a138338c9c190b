// The picker's rules, shared by both platforms: which ports may be chosen, what is written
// for them and how each is listed.
#include "ui/port_picker.h"

namespace veltra::ui {

bool PORTCHOOSABLE(const serial::PortInfo& o) {
  return !o.lConsole && o.lAccessible && o.cHeldBy.empty();
}

std::string PORTSETTING(const serial::PortInfo& o) {
  return o.cById.empty() ? o.cPath : o.cById;
}

std::string PORTPICKERLINE(const serial::PortInfo& o) {
  std::string cLine = serial::PRINTABLE(o.cPath);
  if (!o.cById.empty()) {
    cLine += "   " + serial::PRINTABLE(o.cById.substr(o.cById.find_last_of('/') + 1));
  }
  std::string cWhat = o.cVendor;
  if (!o.cProduct.empty()) {
    cWhat += (cWhat.empty() ? "" : " ") + o.cProduct;
  }
  if (!cWhat.empty()) {
    cLine += "   " + serial::PRINTABLE(cWhat);
  }
  if (o.lConsole) {
    cLine += "   (console del sistema, non per i trasferimenti)";
  } else if (!o.cHeldBy.empty()) {
    cLine += "   (in uso: " + serial::PRINTABLE(o.cHeldBy) + ")";
  } else if (!o.lAccessible) {
    cLine += "   (senza permesso di accesso)";
  }
  return cLine;
}

} // namespace veltra::ui
