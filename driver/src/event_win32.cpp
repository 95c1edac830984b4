// Manual-reset events as Win32 kernel events; the wait for any of them is
// WaitForMultipleObjects, which already answers the lowest signalled index.
#include <windows.h>

#include "event.hpp"

namespace kestradr {
namespace {

HANDLE Native(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

Event::Event(bool initiallySignalled)
    : handle_(reinterpret_cast<std::intptr_t>(
          CreateEventW(nullptr, TRUE, initiallySignalled ? TRUE : FALSE, nullptr))) {}

Event::~Event() {
  if (Valid()) CloseHandle(Native(handle_));
}

bool Event::Valid() const {
  return handle_ != 0;  // CreateEvent answers NULL, not INVALID_HANDLE_VALUE, on failure
}

std::intptr_t Event::NativeHandle() const {
  return handle_;
}

bool Event::Set() {
  if (!Valid()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return SetEvent(Native(handle_)) != FALSE;
}

bool Event::Reset() {
  if (!Valid()) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return ResetEvent(Native(handle_)) != FALSE;
}

bool Event::IsSet() const {
  return Valid() && WaitForSingleObject(Native(handle_), 0) == WAIT_OBJECT_0;
}

int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs, int /*spinMicros*/) {
  if (events.size() == 0 || events.size() > MAXIMUM_WAIT_OBJECTS) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return kWaitFailed;
  }
  HANDLE handles[MAXIMUM_WAIT_OBJECTS];
  DWORD count = 0;
  for (const Event* event : events) {
    // Checked here: WaitForMultipleObjects on a NULL handle fails, but an empty list
    // entry must never turn into a wait on nothing.
    if (event == nullptr || !event->Valid()) {
      SetLastError(ERROR_INVALID_HANDLE);
      return kWaitFailed;
    }
    handles[count++] = Native(event->NativeHandle());
  }
  const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
  const DWORD woken = WaitForMultipleObjects(count, handles, FALSE, timeout);
  if (woken < WAIT_OBJECT_0 + count) return static_cast<int>(woken - WAIT_OBJECT_0);
  if (woken == WAIT_TIMEOUT) return kWaitTimeout;
  // WAIT_FAILED leaves its reason in GetLastError; an abandoned wait (mutexes only) has
  // none, so it reads as an invalid handle.
  if (woken != WAIT_FAILED) SetLastError(ERROR_INVALID_HANDLE);
  return kWaitFailed;
}

}  // namespace kestradr
