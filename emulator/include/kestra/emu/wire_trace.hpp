#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

namespace kestra::emu {

// The protocol trace from the printer's end, in the driver's format (TAURAVAT_TRACE):
//
//   <microseconds since the trace began> <direction> <command> <byte>
//
// ">" computer to printer, "<" printer to computer, hex. A sequence begins with an ESC
// that reaches an idle printer; its bytes, the replies included, carry its command.
// With the lines of the driver's trace, the two ends of one conversation compare line by
// line once the time column is dropped.
class WireTrace {
 public:
  // An empty path traces nothing. Appends to the file.
  explicit WireTrace(const std::string& path);
  ~WireTrace();
  WireTrace(const WireTrace&) = delete;
  WireTrace& operator=(const WireTrace&) = delete;

  bool Active() const { return file_ != nullptr; }

  // A byte from the computer; `printerIdle` tells whether the printer was between
  // sequences when it arrived.
  void FromComputer(uint8_t byte, bool printerIdle);
  void ToComputer(uint8_t byte);
  // Writes what has gathered; the server calls it when the line falls quiet.
  void Flush();

 private:
  void Append(char direction, uint8_t byte, std::chrono::steady_clock::time_point at);

  std::FILE* file_ = nullptr;
  std::chrono::steady_clock::time_point start_;
  std::string pending_;
  int command_ = -1;  // none yet: bytes outside any sequence show "--"
  bool awaitingCommand_ = false;
  std::chrono::steady_clock::time_point escAt_{};
};

}  // namespace kestra::emu
