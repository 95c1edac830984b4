// A handle on an emulated printer served on a pseudo-terminal: the handle interface meets
// it by device path, through the real serial layer, as a program meets a USB adapter.
#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "kestra/emu/pty_server.hpp"
#include "tauravat.h"

namespace tauravat_test {

using Handle = std::unique_ptr<tauravat_printer, int32_t (*)(tauravat_printer*)>;

inline kestra::emu::PrinterConfig Luno() {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, 500, 0, 10000, 25500, 25500};
  return config;
}

class EmulatedPrinter {
 public:
  explicit EmulatedPrinter(kestra::emu::PrinterConfig config = Luno())
      : server_(std::move(config)) {
    server_.Start();
  }

  const std::string& Path() const { return server_.SlavePath(); }

  // Opens a handle on the printer; null (and the code in *result) when that fails.
  Handle Open(const tauravat_options* options = nullptr, int32_t* result = nullptr) {
    tauravat_printer* printer = nullptr;
    const int32_t opened = tauravat_open(Path().c_str(), options, &printer);
    if (result != nullptr) *result = opened;
    return Handle(printer, &tauravat_close);
  }

  template <class Fn>
  auto WithPrinter(Fn&& fn) {
    return server_.WithPrinter(std::forward<Fn>(fn));
  }

  std::string Paper() {
    return WithPrinter([](kestra::emu::Printer& printer) { return printer.Paper().Text(); });
  }

 private:
  kestra::emu::PtyServer server_;
};

// Text out of the handle interface through a buffer of `size` bytes.
template <class Fn>
std::string TextOf(Fn&& fn, size_t size = 256) {
  std::vector<char> text(size, 'x');
  size_t needed = 0;
  const int32_t result = fn(text.data(), text.size(), &needed);
  return result == TAURAVAT_OK ? std::string(text.data()) : "code " + std::to_string(result);
}

}  // namespace tauravat_test
