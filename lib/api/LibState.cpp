#include "api/LibState.h"

#include <utility>

#include "outbound/BusyFlags.h"

namespace brnet {
namespace {
// Destroyed when the library is unloaded (dlclose or process exit).
LibState gState;
}  // namespace

LibState& State() { return gState; }

LibState::~LibState() {
  SetMainAddress(nullptr);
  // Semaphore flags still held would otherwise keep their nodes busy for as
  // long as the host process lives.
  FreeHeldSemaphores();
  FreeLog();
  lastError_.clear();
  lastError_.shrink_to_fit();
}

void LibState::SetMainAddress(std::unique_ptr<TFidoAddr> addr) {
  // Clear the reference before the old address goes, so that nothing can
  // reach a released address.
  SetMainAddressRef(nullptr);
  mainAddress_ = std::move(addr);
  SetMainAddressRef(mainAddress_.get());
}

void LibState::SetLog(std::unique_ptr<TLog> log) {
  FreeLog();
  log_ = std::move(log);
}

void LibState::FreeLog() {
  std::unique_ptr<TLog> log = std::move(log_);
  log.reset();
  std::unique_ptr<TLogProxy> proxy = std::move(logProxy_);
  proxy.reset();
}

}  // namespace brnet
