#include "log.hpp"

#include <cstdio>
#include <mutex>

namespace tauravatd {
namespace {

std::mutex logMutex;

void Write(const char* priority, std::string_view text) {
  std::lock_guard lock(logMutex);
  std::fprintf(stderr, "%stauravatd: %.*s\n", priority, static_cast<int>(text.size()), text.data());
  std::fflush(stderr);
}

}  // namespace

void LogNote(std::string_view text) {
  Write("<5>", text);
}

void LogWarning(std::string_view text) {
  Write("<4>", text);
}

}  // namespace tauravatd
