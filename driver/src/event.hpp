// Manual-reset events and a wait for any of several, in the manner of the Win32
// kernel events the port hand-over was designed around. One implementation file per
// platform (event_posix.cpp, event_win32.cpp).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <mutex>

namespace kestradr {

class Event;

int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs, int spinMicros);

class Event {
 public:
  explicit Event(bool initiallySignalled = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  bool Set();  // false on failure (the OS error is left in errno / GetLastError)
  bool Reset();
  bool IsSet() const;
  bool Valid() const;

  // Platform handle: an eventfd on Linux (pollable together with a device), a HANDLE on
  // Windows. Once given out, the eventfd follows every change of the event.
  std::intptr_t NativeHandle() const;

 private:
  friend int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs, int spinMicros);

  // POSIX: the state lives in `signalled_`; the eventfd is written only while a thread
  // sleeps on it (or its handle was given out), so a hand-over between two threads that
  // watch the state costs no system call. The lock keeps the eventfd changes in order.
  bool FollowState() const;
  bool BeginSleep() const;
  void EndSleep() const;

  std::intptr_t handle_;
  std::atomic<bool> signalled_{false};
  mutable std::atomic<bool> kernelSignalled_{false};
  mutable std::atomic<int> sleepers_{0};
  mutable std::atomic<bool> handedOut_{false};
  mutable std::mutex change_;
};

inline constexpr int kWaitTimeout = -1;
inline constexpr int kWaitFailed = -2;
inline constexpr int kInfinite = -1;

// Waits until one of the events is signalled and returns its index (the lowest index
// when several are), kWaitTimeout after timeoutMs (kInfinite waits forever), or
// kWaitFailed when a handle is invalid. A null pointer in the list is an invalid handle.
// With spinMicros > 0 the wait first watches the events for that long without
// sleeping: a hand-over between two busy threads then costs no wake-up.
int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs = kInfinite,
               int spinMicros = 0);

}  // namespace kestradr
