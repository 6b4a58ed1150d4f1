#include "api/LogProxy.h"

#include "api/LibState.h"
#include "sys/Error.h"

namespace brnet {

TLogProxy::TLogProxy(const TLog* log) {
  BR_ASSERT(log != nullptr, "brnet32");
}

void TLogProxy::ForwardLogString(const void* /*sender*/, char logLevel,
                                 std::string_view logString) {
  if (TLog* log = State().Log()) log->Log(logLevel, logString);
}

}  // namespace brnet
