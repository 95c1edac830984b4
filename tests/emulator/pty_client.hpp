#pragma once

// The driver's side of the line, for the end-to-end tests: opens the slave the way
// the driver does and exchanges bytes with a deadline.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu::test {

class PtyClient {
 public:
  explicit PtyClient(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    if (!fd_.Valid()) return;
    termios tio{};
    ::tcgetattr(fd_.Get(), &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_.Get(), TCSANOW, &tio);
  }

  bool Open() const { return fd_.Valid(); }

  bool Write(const std::vector<uint8_t>& bytes) {
    return ::write(fd_.Get(), bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Reads until `count` bytes arrived or the deadline passed.
  std::vector<uint8_t> Read(std::size_t count,
                            std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    std::vector<uint8_t> got;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (got.size() < count) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) break;
      pollfd pfd{fd_.Get(), POLLIN, 0};
      if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) continue;
      uint8_t buf[256];
      const auto n = ::read(fd_.Get(), buf, std::min(sizeof buf, count - got.size()));
      if (n > 0) got.insert(got.end(), buf, buf + n);
    }
    return got;
  }

  std::vector<uint8_t> Exchange(uint8_t command, std::size_t replyBytes,
                                const std::vector<uint8_t>& params = {}) {
    Write({0x1B, command});
    auto reply = Read(replyBytes);
    if (!params.empty()) Write(params);
    return reply;
  }

 private:
  UniqueFd fd_;
};

}  // namespace kestra::emu::test
