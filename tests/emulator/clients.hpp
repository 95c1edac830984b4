#pragma once

// The other ends of what the emulator serves, for the end-to-end tests: the pty as the
// driver opens it, and the control socket.

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu::test {

// Appends what `fd` gives until `done` holds or the time is up; false when the time ran
// out or the other end closed.
template <typename Buffer, typename Done>
bool ReadUntil(int fd, Buffer& into, Done done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
    char buf[4096];
    const auto n = ::read(fd, buf, sizeof buf);
    if (n <= 0) return false;
    into.insert(into.end(), buf, buf + n);
  }
  return true;
}

class PtyClient {
 public:
  explicit PtyClient(const std::string& path)
      : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {
    termios tio{};
    ::tcgetattr(fd_.Get(), &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd_.Get(), TCSANOW, &tio);
  }
  bool Open() const { return fd_.Valid(); }
  bool Write(const std::vector<uint8_t>& b) {
    return ::write(fd_.Get(), b.data(), b.size()) == static_cast<ssize_t>(b.size());
  }
  // ESC and the command, then `replyBytes` of reply (fewer when they do not come).
  std::vector<uint8_t> Exchange(uint8_t command, std::size_t replyBytes) {
    Write({0x1B, command});
    std::vector<uint8_t> got;
    ReadUntil(
        fd_.Get(), got, [&] { return got.size() >= replyBytes; }, std::chrono::milliseconds(2000));
    return got;
  }

 private:
  UniqueFd fd_;
};

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
  bool Write(const std::string& text) {
    return ::send(fd_.Get(), text.data(), text.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(text.size());
  }
  // One reply line without its line feed; empty when none came in time or the server
  // closed the connection.
  std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::milliseconds(3000)) {
    if (!ReadUntil(
            fd_.Get(), pending_, [&] { return pending_.find('\n') != std::string::npos; }, timeout))
      return {};
    const auto end = pending_.find('\n');
    std::string line = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    return line;
  }
  std::string Ask(const std::string& command) { return Write(command + "\n") ? ReadLine() : ""; }

 private:
  UniqueFd fd_;
  bool connected_ = false;
  std::string pending_;
};

}  // namespace kestra::emu::test
