#pragma once

// The client's end of kestra-emu's control socket, for the tests.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>
#include <string_view>

#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu::test {

class ControlClient {
 public:
  explicit ControlClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ =
        ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  bool Connected() const { return connected_; }
  void Write(std::string_view text) {
    ASSERT_EQ(::send(fd_.Get(), text.data(), text.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(text.size()));
  }
  // One reply line without its line feed; empty when none came within the time or the
  // server closed the connection.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (const auto end = pending_.find('\n'); end != std::string::npos) {
        std::string line = pending_.substr(0, end);
        pending_.erase(0, end + 1);
        return line;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd pfd{fd_.Get(), POLLIN, 0};
      if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return {};
      char buf[4096];
      const auto n = ::read(fd_.Get(), buf, sizeof buf);
      if (n <= 0) return {};
      pending_.append(buf, static_cast<std::size_t>(n));
    }
  }
  std::string Ask(std::string_view command) {
    Write(std::string(command) + "\n");
    return ReadLine();
  }

 private:
  UniqueFd fd_;
  bool connected_ = false;
  std::string pending_;
};

}  // namespace kestra::emu::test
