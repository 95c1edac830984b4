// Exceptions never cross the exported interface: every export runs its body through
// Guarded(), which turns anything thrown into the internal-failure code.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>

namespace kestradr {

inline constexpr int32_t kInternalFailure = 999;
inline constexpr int32_t kNullBuffer = 225;

template <typename Body>
int32_t Guarded(Body&& body) noexcept {
  try {
    return std::forward<Body>(body)();
  } catch (...) {
    return kInternalFailure;
  }
}

// A null pointer where the contract needs memory: reported as the internal failure, the
// way an access violation caught by the guard would have been.
struct NullArgument {};
template <typename T>
T& Deref(T* pointer) {
  if (pointer == nullptr) throw NullArgument{};
  return *pointer;
}

// Text handed out through a p-twin's buffer: copied whole with its terminating NUL.
inline void CopyOut(char* buffer, const std::string& text) {
  std::memcpy(buffer, text.c_str(), text.size() + 1);
}

// Text coming in through a p-twin: a null pointer reads as a null argument.
inline std::string TextIn(const char* text) { return std::string(&Deref(text)); }

}  // namespace kestradr
