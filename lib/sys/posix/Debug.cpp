#include "sys/Debug.h"

#include <syslog.h>

namespace brnet::sys {

void DebugOutput(const std::string& text) {
  ::syslog(LOG_USER | LOG_DEBUG, "%s", text.c_str());
}

}  // namespace brnet::sys
