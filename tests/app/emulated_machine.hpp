// A computer whose only serial ports are the emulated printers a test plugs in. The
// driver's view of sysfs and /dev moves to a tree of the machine's own that holds just the
// pseudo-terminals, so the host's ports (a /dev/ttyS0 that opens) neither show in the
// dialog's list nor answer for COM<n>.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kestra/emu/pty_server.hpp"
#include "line_speed.hpp"

namespace taurasw::testing {

class EmulatedMachine {
 public:
  EmulatedMachine() {
    std::string pattern = ::testing::TempDir() + "taurasw_machine_XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp " + pattern);
    root_ = pattern;
    std::filesystem::create_directories(root_ / "sys" / "class" / "tty");
    std::filesystem::create_directories(root_ / "dev");
    std::filesystem::create_directory_symlink("/dev/pts", root_ / "dev" / "pts");
    std::ofstream(root_ / "plain-file") << "not a port\n";
    setenv("TAURAVAT_SYSFS_ROOT", (root_ / "sys").c_str(), 1);
    setenv("TAURAVAT_DEV_ROOT", (root_ / "dev").c_str(), 1);
  }
  ~EmulatedMachine() {
    for (const uint8_t port : named_) unsetenv(Variable(port).c_str());
    unsetenv("TAURAVAT_SYSFS_ROOT");
    unsetenv("TAURAVAT_DEV_ROOT");
    plugged_.clear();
    retired_.clear();
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  EmulatedMachine(const EmulatedMachine&) = delete;
  EmulatedMachine& operator=(const EmulatedMachine&) = delete;

  // A printer on COM`port`; one already there is unplugged first.
  kestra::emu::PtyServer& Plug(uint8_t port, kestra::emu::PrinterConfig config) {
    Unplug(port);
    auto server = std::make_unique<kestra::emu::PtyServer>(std::move(config));
    server->Start();
    Name(port, server->SlavePath());
    return *(plugged_[port] = std::move(server));
  }
  // The cable is pulled: COM`port` names a device that is not there. The printer itself
  // stays, so its state can still be read.
  void Unplug(uint8_t port) {
    Name(port, (root_ / "unplugged").string());
    if (const auto it = plugged_.find(port); it != plugged_.end()) {
      it->second->Stop();
      retired_.push_back(std::move(it->second));
      plugged_.erase(it);
    }
  }
  // COM`port` names a plain file, which no serial port is.
  void PlainFileAt(uint8_t port) {
    Unplug(port);
    Name(port, (root_ / "plain-file").string());
  }

  kestra::emu::PtyServer& Printer(uint8_t port = 1) { return *plugged_.at(port); }
  // The device the driver lists for COM`port`: the pseudo-terminal in this machine's /dev.
  std::string Device(uint8_t port) {
    return (root_ / "dev").string() + Printer(port).SlavePath().substr(4);
  }
  // The speed the computer set the line of COM`port` to.
  uint32_t Speed(uint8_t port) { return LineSpeed(Printer(port).SlavePath()); }
  // Commands the printer on COM`port` has heard.
  uint64_t Heard(uint8_t port) {
    return Printer(port).WithPrinter([](kestra::emu::Printer& p) { return p.CommandsSeen(); });
  }

 private:
  static std::string Variable(uint8_t port) { return "TAURAVAT_COM" + std::to_string(port); }
  void Name(uint8_t port, const std::string& path) {
    setenv(Variable(port).c_str(), path.c_str(), 1);
    named_.insert(port);
  }

  std::filesystem::path root_;
  std::set<uint8_t> named_;
  std::map<uint8_t, std::unique_ptr<kestra::emu::PtyServer>> plugged_;
  std::vector<std::unique_ptr<kestra::emu::PtyServer>> retired_;  // kept for their state
};

}  // namespace taurasw::testing
