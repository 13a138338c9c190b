// The port popup's help text, in Italian, in the Windows code page the popups take.
#include "app/port_help.h"

#include "serial/comm_port.h"
#include "ui/codepage.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#endif

namespace veltra::app {
namespace {

constexpr const char* kEol = "\r\n";

#ifdef _WIN32
// A port refused for access is almost always one that another program has open.
constexpr const char* kExamplePort = "COM3";

std::string NOACCESSREASON(const std::string& /*cDevice*/) {
  return "Windows nega l'accesso alla porta: di solito \xE8 aperta da un altro programma. "
         "Chiudi quel programma e riprova.";
}
#else
constexpr const char* kExamplePort = "ttyUSB0";

// Serial devices belong to a group (dialout on Debian), which the user joins to use them.
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
#endif

// A device's or a path's text as the popup may show it: control bytes become \xNN; a name
// beyond ASCII is shown as it is on disk (NAMETEXT); in an ASCII one the popup's line-break
// mark ";" becomes \xNN.
std::string Shown(std::string_view cText) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const std::string cPrintable = serial::PRINTABLE(cText);
  if (std::any_of(cPrintable.begin(), cPrintable.end(),
                  [](char ch) { return static_cast<unsigned char>(ch) >= 0x80; })) {
    return ui::NAMETEXT(cPrintable);
  }
  std::string c;
  for (const char ch : cPrintable) {
    const auto b = static_cast<unsigned char>(ch);
    if ((b >= 0x81 && b <= 0xA8) || ch == ';') {
      c += "\\x";
      c += kHex[b >> 4];
      c += kHex[b & 0xF];
    } else {
      c += ch;
    }
  }
  return c;
}

// The port that failed, whichever way its device path names it.
bool SamePort(const serial::PortInfo& o, std::string_view cDevice) {
  const std::string_view cName = cDevice.substr(cDevice.find_last_of("\\/") + 1);
  return o.cPath == cDevice ||
         (cName.size() == o.cName.size() &&
          std::equal(cName.begin(), cName.end(), o.cName.begin(), [](char a, char b) {
            return std::tolower(static_cast<unsigned char>(a)) ==
                   std::tolower(static_cast<unsigned char>(b));
          }));
}

std::string Reason(const std::string& cDevice, int nErrno) {
  switch (nErrno) {
  case ENOENT:
  case ENODEV:
  case ENXIO:
    return "la porta non esiste. L'adattatore \xE8 collegato? Il nome della porta \xE8 scritto "
           "giusto?";
  case EBUSY:
  case EWOULDBLOCK:
    return "la porta \xE8 gi\xE0 in uso da un altro programma. Chiudi quel programma e riprova.";
  case EACCES:
  case EPERM:
    return NOACCESSREASON(cDevice);
  case serial::ECOMMCONSOLE:
    return "la porta \xE8 la console del sistema e non si usa per i trasferimenti. Indica la "
           "porta dell'adattatore.";
  case serial::ECOMMOWNTERMINAL:
    return "la porta \xE8 il terminale da cui VELTRA \xE8 stato avviato. Indica la porta "
           "dell'adattatore.";
  case ENOTTY:
    return "il dispositivo non \xE8 una porta seriale.";
  case EINVAL:
    return "il nome della porta non \xE8 valido.";
  case 0:
    return "il sistema non ha detto perch\xE9.";
  default:
    return "errore del sistema " + std::to_string(nErrno) + " (" + Shown(std::strerror(nErrno)) +
           ").";
  }
}

} // namespace

std::string PORTOPENHELP(const std::string& cDevice, int nErrno,
                         const std::vector<serial::PortInfo>& aPorts,
                         const std::string& cSettingsPath) {
  std::string c = std::string("Motivo: ") + Reason(cDevice, nErrno) + kEol + kEol;
  std::string cLines;
  std::size_t nShown = 0;
  std::size_t nMore = 0;
  std::string cSuggested;
  for (const serial::PortInfo& o : aPorts) {
    if (o.lConsole) {
      continue; // never a port to suggest
    }
    if (cSuggested.empty() && o.lAccessible && o.cHeldBy.empty() && !SamePort(o, cDevice)) {
      cSuggested = o.cById.empty() ? o.cName : o.cById;
    }
    if (nShown == kPortsShown) {
      ++nMore;
      continue;
    }
    cLines += "  " + Shown(serial::FORMATPORT(o)) + kEol;
    ++nShown;
  }
  if (nShown == 0) {
    c += std::string("Nessuna porta seriale trovata.") + kEol;
  } else {
    c += std::string("Porte presenti:") + kEol + cLines;
    if (nMore > 0) {
      c += "  ... e altre " + std::to_string(nMore) + kEol;
    }
  }
  c += std::string(kEol) + "File delle impostazioni: " + Shown(cSettingsPath) + kEol;
  c += std::string("Per usare un'altra porta scrivi nel file, nella sezione [Impostazioni], ") +
       (cSuggested.empty() ? "una riga come:" : "la riga:") + kEol;
  c += "Porta=" + Shown(cSuggested.empty() ? kExamplePort : cSuggested);
  return c;
}

} // namespace veltra::app
