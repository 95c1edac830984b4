// What a tauravat_printer handle is, and the frame every handle export runs its
// body in: null handle refused, exceptions caught, calls on one handle taken
// one at a time, and a call from the handle's own progress call-back refused
// instead of deadlocking or interleaving with the call it reports on; a port that
// would not open answered by its port code, with the system's error kept for the thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

#include "export_guard.hpp"
#include "messages.hpp"
#include "port_failure.hpp"
#include "printer.hpp"
#include "tauravat.h"

struct tauravat_printer {
  kestradr::Printer printer;
  // The thread inside a call on this handle, if any.
  std::atomic<std::thread::id> caller{};
  // The port has been open: one not found later has vanished. Set once the open succeeds.
  bool opened = false;
};

namespace kestradr {

template <typename Body>
int32_t WithPrinter(tauravat_printer* handle, Body&& body) noexcept {
  if (handle == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    if (handle->caller.load() == std::this_thread::get_id()) return TAURAVAT_E_REENTERED;
    std::lock_guard lock(handle->printer.CallLock());
    handle->caller = std::this_thread::get_id();
    struct Leave {
      tauravat_printer* handle;
      ~Leave() { handle->caller = std::thread::id{}; }
    } leave{handle};
    handle->printer.Line().ForgetOpenFailure();
    const int32_t result = body(handle->printer);
    return HandlePortResult(handle->printer.Line(), result, handle->opened);
  });
}

}  // namespace kestradr
