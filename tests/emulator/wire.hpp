// The printer as the driver talks to it, and the other ends of the pty and control socket.
#pragma once

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

#include "kestra/emu/printer.hpp"
#include "kestra/emu/unique_fd.hpp"

namespace kestra::emu::test {

using Bytes = std::vector<uint8_t>;

struct Reply {
  Bytes first;   // after the command byte
  Bytes second;  // after the parameters
  bool operator==(const Reply&) const = default;
};

inline Reply Send(Printer& printer, uint8_t command, const Bytes& params = {}) {
  Reply reply;
  printer.Receive(kEsc, reply.first);
  printer.Receive(command, reply.first);
  for (uint8_t b : params) printer.Receive(b, reply.second);
  return reply;
}

inline uint8_t Status(Printer& printer, uint8_t command) {
  const Reply r = Send(printer, command);
  return r.first.size() == 1 ? r.first[0] : 0xEE;
}

inline Bytes Amount(uint32_t v) {
  return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
}

// The 49-byte item block; `name` is padded to 28 characters.
inline Bytes ItemBlock(std::string name, uint32_t quantity, uint8_t decimals, uint32_t price,
                       uint8_t rateCode, uint32_t value) {
  name.resize(28, ' ');
  Bytes b(1, ' ');
  for (const char c : name + '0') b.push_back(static_cast<uint8_t>(c));
  for (const Bytes& part : {Amount(quantity), Bytes{decimals, 's', 'z', 't', ' '}, Amount(price),
                            Bytes{kEsc, rateCode}, Amount(value)})
    b.insert(b.end(), part.begin(), part.end());
  return b;
}

// Seven rates as 0xD5 carries them: 0x80 0x00 reserved, 0x40 0x00 exempt.
inline Bytes SevenRates(const std::vector<uint16_t>& rates) {
  Bytes b;
  for (uint16_t r : rates) {
    const uint16_t wire = r == TAURAVAT_RATE_RESERVED ? 0x8000
                          : r == TAURAVAT_RATE_EXEMPT ? 0x4000
                                                      : r;
    b.insert(b.end(), {uint8_t(wire >> 8), uint8_t(wire)});
  }
  return b;
}

// Prints at once, with rates A 23 %, B 8 %, C 5 %, D 0 %, E exempt.
inline PrinterConfig ProgrammedConfig(int deviceType = 7) {
  PrinterConfig c;
  c.deviceType = deviceType;
  c.timing.pollsPerLine = 0;
  c.rates = {
      2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED};
  c.clockStart = std::chrono::sys_days{std::chrono::year{2024} / 3 / 15} + std::chrono::hours{10};
  return c;
}

// Appends what `fd` gives until `done` holds; false on time-out or when the other end closed.
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
  bool Write(const Bytes& b) {
    return ::write(fd_.Get(), b.data(), b.size()) == static_cast<ssize_t>(b.size());
  }
  // ESC and the command, then `replyBytes` of reply (fewer when they do not come).
  Bytes Exchange(uint8_t command, std::size_t replyBytes) {
    Write({kEsc, command});
    Bytes got;
    ReadUntil(
        fd_.Get(), got, [&] { return got.size() >= replyBytes; }, std::chrono::milliseconds(2000));
    return got;
  }

 private:
  UniqueFd fd_;
};

inline sockaddr_un SocketAddress(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  return address;
}

class ControlClient {
 public:
  explicit ControlClient(const std::string& path) : fd_(::socket(AF_UNIX, SOCK_STREAM, 0)) {
    const sockaddr_un address = SocketAddress(path);
    connected_ =
        ::connect(fd_.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  bool Connected() const { return connected_; }
  bool Write(const std::string& text) {
    return ::send(fd_.Get(), text.data(), text.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(text.size());
  }
  // One reply line without its line feed; empty when none came in time or the server closed.
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
