// On Windows the host runs without a person at the keyboard: dialogs and
// messages take their answers (-a, -A), as on POSIX without a terminal. The
// interactive screen is written for POSIX terminals only.
#include "Terminal.h"

namespace farhost {

bool HaveTerminal() {
  return false;
}

int RunDialog(DialogView&) {
  return -1;
}

int RunMessage(const MessageView&) {
  return -1;
}

}  // namespace farhost
