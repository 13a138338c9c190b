// The last key, kept by the message pump.
#include "ui/key_state.h"

#include "serial/message_pump.h"

namespace veltra::ui {

void NOTELASTKEY(int nKey) {
  serial::SETLASTKEY(nKey);
}

int LASTKEYNOTED() {
  return serial::LASTKEY();
}

} // namespace veltra::ui
