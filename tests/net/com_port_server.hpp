// A device server of a few lines that speaks RFC 2217 to one client: it answers every COM
// port command with the value asked for, keeps the printer bytes it receives (IAC pairs
// undone), and sends the modem and line state notices a test asks for.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace kestradr::testing {

class ComPortServer {
 public:
  ComPortServer() {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener_, 1) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("no loopback port");
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
  }
  ~ComPortServer() {
    stop_ = true;
    thread_.join();
    Hangup();
    close(listener_);
  }

  std::string Url() const { return "rfc2217://127.0.0.1:" + std::to_string(port_); }
  int Port() const { return port_; }

  void Notify(uint8_t code, uint8_t value) { Send({0xFF, 0xFA, 44, code, value, 0xFF, 0xF0}); }
  void Cts(bool high, bool changed) {
    Notify(107, static_cast<uint8_t>((high ? 0x10 : 0) | (changed ? 0x01 : 0)));
  }
  void Send(const std::vector<uint8_t>& bytes) {
    std::lock_guard lock(mutex_);
    if (client_ >= 0) ::send(client_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  // Sent just before the next answer to an input purge: what the server still held.
  void HoldUntilPurged(std::vector<uint8_t> bytes) {
    std::lock_guard lock(mutex_);
    held_ = std::move(bytes);
  }
  void Hangup() {
    std::lock_guard lock(mutex_);
    if (client_ >= 0) close(client_);
    client_ = -1;
  }
  std::vector<uint8_t> Data() {
    std::lock_guard lock(mutex_);
    return data_;
  }
  // The COM port commands received, as (command, first value byte).
  std::vector<std::pair<uint8_t, uint8_t>> Commands() {
    std::lock_guard lock(mutex_);
    return commands_;
  }

 private:
  void Serve() {
    int state = 0;  // 0 data, 1 after IAC, 2 option verb, 3 in SB, 4 IAC in SB
    std::vector<uint8_t> sub;
    while (!stop_) {
      pollfd fds[1] = {{client_ >= 0 ? client_ : listener_, POLLIN, 0}};
      if (poll(fds, 1, 20) <= 0) continue;
      std::lock_guard lock(mutex_);
      if (client_ < 0) {
        client_ = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        continue;
      }
      uint8_t buffer[256];
      const ssize_t got = recv(client_, buffer, sizeof buffer, 0);
      if (got <= 0) {
        close(client_);
        client_ = -1;
        continue;
      }
      for (ssize_t i = 0; i < got; ++i) {
        const uint8_t b = buffer[i];
        if (state == 0) {
          b == 0xFF ? state = 1 : (data_.push_back(b), 0);
        } else if (state == 1) {
          state = b == 0xFF ? (data_.push_back(b), 0) : b == 0xFA ? (sub.clear(), 3) : 2;
        } else if (state == 2) {
          state = 0;  // WILL/DO and the like: taken as agreed
        } else if (state == 3) {
          b == 0xFF ? state = 4 : (sub.push_back(b), 0);
        } else {
          state = b == 0xF0 ? 0 : (sub.push_back(b), 3);
          if (state == 0 && sub.size() >= 3 && sub[0] == 44) {
            commands_.emplace_back(sub[1], sub[2]);
            if (sub[1] == 12 && !held_.empty()) {
              ::send(client_, held_.data(), held_.size(), MSG_NOSIGNAL);
              held_.clear();
            }
            std::vector<uint8_t> answer{0xFF, 0xFA, 44, static_cast<uint8_t>(sub[1] + 100)};
            answer.insert(answer.end(), sub.begin() + 2, sub.end());
            answer.insert(answer.end(), {0xFF, 0xF0});
            ::send(client_, answer.data(), answer.size(), MSG_NOSIGNAL);
          }
        }
      }
    }
  }

  int listener_ = -1;
  int client_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<uint8_t> data_, held_;
  std::vector<std::pair<uint8_t, uint8_t>> commands_;
  std::thread thread_;
};

}  // namespace kestradr::testing
