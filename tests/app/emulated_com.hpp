// The printer emulator on a pseudo-terminal, reached through the driver as COM`port` (the
// driver's TAURAVAT_COM<n> mapping) while it lives.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <string>
#include <utility>

#include "kestra/emu/pty_server.hpp"

namespace taurasw::testing {

class EmulatedCom {
 public:
  // `trace`, when given, receives every byte of the line from the printer's end.
  EmulatedCom(uint8_t port, kestra::emu::PrinterConfig config, std::string trace = {})
      : server_(std::move(config), Options(std::move(trace))),
        variable_("TAURAVAT_COM" + std::to_string(port)) {
    server_.Start();
    setenv(variable_.c_str(), server_.SlavePath().c_str(), 1);
  }
  ~EmulatedCom() {
    unsetenv(variable_.c_str());
    server_.Stop();
  }
  EmulatedCom(const EmulatedCom&) = delete;
  EmulatedCom& operator=(const EmulatedCom&) = delete;

  kestra::emu::PtyServer& Server() { return server_; }
  std::string Path() const { return server_.SlavePath(); }

 private:
  static kestra::emu::PtyServerOptions Options(std::string trace) {
    kestra::emu::PtyServerOptions options;
    options.tracePath = std::move(trace);
    return options;
  }

  kestra::emu::PtyServer server_;
  std::string variable_;
};

}  // namespace taurasw::testing
