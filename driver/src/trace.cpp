#include "trace.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#ifdef _WIN32
#include <process.h>
#define TRACE_PID _getpid
#else
#include <unistd.h>
#define TRACE_PID getpid
#endif

namespace kestradr::trace {
namespace {

using Clock = std::chrono::steady_clock;

struct State {
  std::FILE* file = nullptr;
  Clock::time_point start;
  std::string pending;  // lines of the running sequence
  uint8_t command = 0;
  bool inSequence = false;
};

State& Trace() {
  static State state;
  return state;
}

void Flush(State& s) {
  if (s.pending.empty()) return;
  // Unbuffered and appending: one write per sequence, so two processes tracing into
  // one file do not interleave inside a sequence.
  std::fwrite(s.pending.data(), 1, s.pending.size(), s.file);
  s.pending.clear();
}

void Append(char direction, const char* byte, const char* note) {
  State& s = Trace();
  const auto micros =
      std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - s.start).count();
  char text[64];
  const int length = std::snprintf(text, sizeof text, "%10lld %c %02X %s%s%s\n",
                                   static_cast<long long>(micros), direction, s.command, byte,
                                   note != nullptr ? " " : "", note != nullptr ? note : "");
  if (length > 0) s.pending.append(text, static_cast<size_t>(length));
  // A byte outside any sequence (the late answer to a package line) goes out at once.
  if (!s.inSequence) Flush(s);
}

std::string Hex(uint8_t byte) {
  char text[3];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

bool StartFromEnvironment() {
  const char* path = std::getenv("TAURAVAT_TRACE");
  if (path != nullptr && *path != '\0') Start(path);
  return enabled;
}

}  // namespace

bool enabled = false;
[[maybe_unused]] const bool startedFromEnvironment = StartFromEnvironment();

void Start(const char* path) {
  State& s = Trace();
  if (s.file != nullptr) {
    Flush(s);
    std::fclose(s.file);
    s.file = nullptr;
  }
  enabled = false;
  if (path == nullptr) return;
  s.file = std::fopen(path, "ab");
  if (s.file == nullptr) return;
  std::setvbuf(s.file, nullptr, _IONBF, 0);
  s.start = Clock::now();
  s.inSequence = false;
  s.pending.clear();

  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  if (const std::tm* utc = std::gmtime(&now)) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", utc);
  }
  char header[128];
  const int length =
      std::snprintf(header, sizeof header, "# tauravat trace: driver, pid %ld, %s UTC\n",
                    static_cast<long>(TRACE_PID()), stamp);
  if (length > 0) s.pending.assign(header, static_cast<size_t>(length));
  Flush(s);
  enabled = true;
}

void BeginSequence(uint8_t command) {
  State& s = Trace();
  s.command = command;
  s.inSequence = true;
}

void EndSequence() {
  State& s = Trace();
  s.inSequence = false;
  Flush(s);
}

void Sent(uint8_t byte, bool ok) {
  Append('>', Hex(byte).c_str(), ok ? nullptr : "failed");
}

void Received(uint8_t byte, bool ok) {
  if (ok) {
    Append('<', Hex(byte).c_str(), nullptr);
  } else {
    Append('<', "--", "timeout");
  }
}

}  // namespace kestradr::trace
