#include "trace.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
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

// The sink, shared by every printer of the process.
struct Sink {
  std::mutex mutex;
  std::FILE* file = nullptr;
  Clock::time_point start;
};

Sink& TheSink() {
  static Sink sink;
  return sink;
}

std::atomic<bool> enabled{false};

// The running sequence of the calling thread.
struct Sequence {
  std::string pending;
  uint8_t command = 0;
  bool inSequence = false;
};

Sequence& ThisThread() {
  thread_local Sequence sequence;
  return sequence;
}

void Write(Sink& sink, const std::string& text) {
  // Unbuffered and appending: one write per sequence, so two processes tracing into
  // one file do not interleave inside a sequence.
  if (sink.file != nullptr) std::fwrite(text.data(), 1, text.size(), sink.file);
}

void Flush(Sequence& s) {
  if (s.pending.empty()) return;
  Sink& sink = TheSink();
  {
    std::lock_guard lock(sink.mutex);
    Write(sink, s.pending);
  }
  s.pending.clear();
}

long long MicrosSinceStart() {
  Sink& sink = TheSink();
  std::lock_guard lock(sink.mutex);
  return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - sink.start).count();
}

void Append(char direction, const char* byte, const char* note) {
  Sequence& s = ThisThread();
  char text[64];
  const int length =
      std::snprintf(text, sizeof text, "%10lld %c %02X %s%s%s\n", MicrosSinceStart(), direction,
                    s.command, byte, note != nullptr ? " " : "", note != nullptr ? note : "");
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

[[maybe_unused]] const bool startedFromEnvironment = StartFromEnvironment();

bool Enabled() {
  return enabled.load(std::memory_order_relaxed);
}

void Start(const char* path) {
  Sink& sink = TheSink();
  std::lock_guard lock(sink.mutex);
  enabled = false;
  if (sink.file != nullptr) {
    std::fclose(sink.file);
    sink.file = nullptr;
  }
  ThisThread() = Sequence{};
  if (path == nullptr) return;
  sink.file = std::fopen(path, "ab");
  if (sink.file == nullptr) return;
  std::setvbuf(sink.file, nullptr, _IONBF, 0);
  sink.start = Clock::now();

  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  if (const std::tm* utc = std::gmtime(&now)) {
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", utc);
  }
  char header[128];
  const int length =
      std::snprintf(header, sizeof header, "# tauravat trace: driver, pid %ld, %s UTC\n",
                    static_cast<long>(TRACE_PID()), stamp);
  if (length > 0) Write(sink, std::string(header, static_cast<size_t>(length)));
  enabled = true;
}

void BeginSequence(uint8_t command) {
  Sequence& s = ThisThread();
  s.command = command;
  s.inSequence = true;
}

void EndSequence() {
  Sequence& s = ThisThread();
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
