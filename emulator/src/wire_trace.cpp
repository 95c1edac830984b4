#include "kestra/emu/wire_trace.hpp"

#include <unistd.h>

#include <ctime>

namespace kestra::emu {
namespace {
constexpr uint8_t kEsc = 0x1B;
}

WireTrace::WireTrace(const std::string& path) {
  if (path.empty()) return;
  file_ = std::fopen(path.c_str(), "ab");
  if (file_ == nullptr) return;
  // Unbuffered: each Flush is one write, appended whole.
  std::setvbuf(file_, nullptr, _IONBF, 0);
  start_ = std::chrono::steady_clock::now();
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::tm utc{};
  if (gmtime_r(&now, &utc) != nullptr)
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
  char header[128];
  const int length =
      std::snprintf(header, sizeof header, "# tauravat trace: emulator, pid %ld, %s UTC\n",
                    static_cast<long>(::getpid()), stamp);
  if (length > 0) std::fwrite(header, 1, static_cast<size_t>(length), file_);
}

WireTrace::~WireTrace() {
  if (file_ == nullptr) return;
  Flush();
  std::fclose(file_);
}

void WireTrace::FromComputer(uint8_t byte, bool printerIdle) {
  if (file_ == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  if (awaitingCommand_) {
    // The ESC waited for its command byte to know which sequence it starts.
    awaitingCommand_ = false;
    command_ = byte;
    Append('>', kEsc, escAt_);
    Append('>', byte, now);
    return;
  }
  if (printerIdle && byte == kEsc) {
    Flush();
    awaitingCommand_ = true;
    escAt_ = now;
    return;
  }
  if (printerIdle) command_ = -1;  // ignored by the printer: outside any sequence
  Append('>', byte, now);
}

void WireTrace::ToComputer(uint8_t byte) {
  if (file_ == nullptr) return;
  Append('<', byte, std::chrono::steady_clock::now());
}

void WireTrace::Flush() {
  if (file_ == nullptr || pending_.empty()) return;
  std::fwrite(pending_.data(), 1, pending_.size(), file_);
  pending_.clear();
}

void WireTrace::Append(char direction, uint8_t byte, std::chrono::steady_clock::time_point at) {
  const auto micros = std::chrono::duration_cast<std::chrono::microseconds>(at - start_).count();
  char command[3] = "--";
  if (command_ >= 0) std::snprintf(command, sizeof command, "%02X", static_cast<uint8_t>(command_));
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%10lld %c %s %02X\n",
                                   static_cast<long long>(micros), direction, command, byte);
  if (length > 0) pending_.append(text, static_cast<size_t>(length));
}

}  // namespace kestra::emu
