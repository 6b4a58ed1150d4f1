// The library's process-wide state: one main address, one outbound, one log
// with its proxy, and the last-error text.
#pragma once

#include <memory>
#include <string>

#include "addr/FidoAddr.h"
#include "api/LogProxy.h"
#include "log/FidoLog.h"

namespace brnet {

class LibState {
 public:
  LibState() = default;
  // Unloading the library releases, in this order: the main address, the
  // outbound, the semaphore busy flags still held, the log and its proxy;
  // then the last-error text is cleared.
  ~LibState();
  LibState(const LibState&) = delete;
  LibState& operator=(const LibState&) = delete;

  const std::string& LastError() const { return lastError_; }
  void SetLastError(std::string text) { lastError_ = std::move(text); }

  // Replaces the main address (null clears it); the address code sees the
  // new one at once.
  void SetMainAddress(std::unique_ptr<TFidoAddr> addr);

  TLog* Log() const { return log_.get(); }
  TLogProxy* LogProxy() const { return logProxy_.get(); }
  // Makes LOG the current log, without a proxy yet.
  void SetLog(std::unique_ptr<TLog> log);
  void SetLogProxy(std::unique_ptr<TLogProxy> proxy) { logProxy_ = std::move(proxy); }
  // Releases the log and then its proxy, clearing each reference as it goes.
  void FreeLog();

 private:
  std::string lastError_;
  std::unique_ptr<TFidoAddr> mainAddress_;
  std::unique_ptr<TLog> log_;
  std::unique_ptr<TLogProxy> logProxy_;
};

LibState& State();

}  // namespace brnet
