// A pseudo-terminal pair for the pty tests and the hand-over benchmark: the driver opens the
// slave by path (through TAURAVAT_COM<n>), the test plays the far end on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kestradr::testing {

class PtyPair {
 public:
  PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    slavePath_ = ptsname(master_);
    termios raw{};
    tcgetattr(master_, &raw);
    cfmakeraw(&raw);
    tcsetattr(master_, TCSANOW, &raw);
    // Kept open so that the master sees no hang-up between the driver's opens.
    heldSlave_ = open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  }
  ~PtyPair() { CloseMaster(); }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  const std::string& SlavePath() const { return slavePath_; }
  int Master() const { return master_; }
  int HeldSlave() const { return heldSlave_; }
  // The far end vanishes: the driver's side sees a hang-up.
  void CloseMaster() {
    for (int* fd : {&master_, &heldSlave_}) {
      if (*fd >= 0) close(*fd);
      *fd = -1;
    }
  }
  void Send(const std::vector<uint8_t>& bytes) const {
    if (write(master_, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
      throw std::runtime_error("pty write failed");
  }
  // Waits until bytes sent from the master can be read on the driver's side.
  bool AwaitInput() const { return Readable(heldSlave_, 1000); }
  std::optional<uint8_t> Receive() const {
    uint8_t byte = 0;
    if (!Readable(master_, 1000) || read(master_, &byte, 1) != 1) return std::nullopt;
    return byte;
  }
  static bool Readable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeoutMs) == 1 && (p.revents & POLLIN);
  }

 private:
  int master_ = -1;
  int heldSlave_ = -1;
  std::string slavePath_;
};

// Sends back every byte that arrives on the master, until destroyed.
class EchoPeer {
 public:
  explicit EchoPeer(int master) : master_(master), thread_([this] { Run(); }) {}
  ~EchoPeer() {
    stop_ = true;
    thread_.join();
  }

 private:
  void Run() {
    while (!stop_) {
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, 20) != 1) continue;
      if (!(p.revents & POLLIN)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));  // no slave open just now
        continue;
      }
      uint8_t buffer[64];
      const ssize_t count = read(master_, buffer, sizeof buffer);
      if (count > 0 && write(master_, buffer, static_cast<size_t>(count)) != count) return;
    }
  }

  int master_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// TAURAVAT_COM<port> for the life of the object.
class PortPathVariable {
 public:
  PortPathVariable(int port, const std::string& path)
      : name_("TAURAVAT_COM" + std::to_string(port)) {
    setenv(name_.c_str(), path.c_str(), 1);
  }
  ~PortPathVariable() { unsetenv(name_.c_str()); }
  PortPathVariable(const PortPathVariable&) = delete;
  PortPathVariable& operator=(const PortPathVariable&) = delete;

 private:
  std::string name_;
};

}  // namespace kestradr::testing
