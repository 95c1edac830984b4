// The legacy exports are a shell over the process's default printer: each one holds the
// printer's call lock, runs its body through the exception guard, and marshals what the
// body needs.
#pragma once

#include <mutex>

#include "export_guard.hpp"
#include "printer.hpp"

namespace kestradr {

template <typename Body>
int32_t OnDefaultPrinter(Body&& body) noexcept {
  return Guarded([&]() -> int32_t {
    Printer& printer = DefaultPrinter();
    std::lock_guard lock(printer.CallLock());
    return body(printer);
  });
}

}  // namespace kestradr
