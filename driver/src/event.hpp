// Manual-reset events and a wait for any of several, in the manner of the Win32
// kernel events the port hand-over was designed around. One implementation file per
// platform (event_posix.cpp, later event_win32.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace kestradr {

class Event {
 public:
  explicit Event(bool initiallySignalled = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool Set();     // false on failure (the OS error is left in errno / GetLastError)
  bool Reset();
  bool IsSet() const;
  bool Valid() const;

  // Platform handle: an eventfd on Linux (pollable together with a device), a HANDLE on
  // Windows.
  std::intptr_t NativeHandle() const { return handle_; }

 private:
  std::intptr_t handle_;
};

inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;
inline constexpr int kInfinite = -1;

// Waits until one of the events is signalled and returns its index (the lowest index
// when several are), kWaitTimeout after timeoutMs (kInfinite waits forever), or
// kWaitFailed when a handle is invalid. A null pointer in the list is an invalid handle.
int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs = kInfinite);

}  // namespace kestradr
