// Connects an outbound's progress lines to the library's log.
#pragma once

#include <string_view>

#include "log/FidoLog.h"

namespace brnet {

class TLogProxy {
 public:
  // LOG is the log just created; it must be given.
  explicit TLogProxy(const TLog* log);

  // Writes the line to whichever log is current when it arrives, and drops it
  // when there is none. It reads no proxy state, so a connection made from a
  // proxy stays valid after that proxy is released.
  static void ForwardLogString(const void* sender, char logLevel, std::string_view logString);

  // The event handler an outbound is connected to.
  TLogStringEvent Connection() const { return &TLogProxy::ForwardLogString; }
};

}  // namespace brnet
