// Debian's ser2net (4.x) in front of a serial device, on two loopback ports: raw TCP and
// Telnet with RFC 2217. Started by the test, stopped by its pid, every wait bounded.
#pragma once

#include <sys/types.h>

#include <string>

namespace kestradr::testing {

class Ser2net {
 public:
  // Reserves two free loopback ports for `device` for the object's lifetime; nothing runs
  // yet. `nodelay`: the server sends each segment at once instead of waiting for the
  // previous one's ACK (Nagle off).
  explicit Ser2net(std::string device, bool nodelay = false);
  ~Ser2net();
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  static bool Installed();
  // Starts the server and waits (at most 5 s) until it listens on both ports itself.
  void Start();
  // SIGTERM, or SIGKILL with `kill` (the server vanishes without a word); waits for it.
  void Stop(bool kill = false);

  std::string Raw() const { return "socket://127.0.0.1:" + std::to_string(rawPort_); }
  std::string Rfc2217() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }

 private:
  std::string device_;
  std::string directory_;
  // Bound, never listening: no other program's free port or outgoing connection takes
  // these ports, while ser2net (SO_REUSEADDR) may bind them, also after a restart.
  int rawHold_ = -1;
  int telnetHold_ = -1;
  int rawPort_ = 0;
  int telnetPort_ = 0;
  pid_t pid_ = -1;
};

}  // namespace kestradr::testing
