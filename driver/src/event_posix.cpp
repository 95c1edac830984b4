// Manual-reset events on Linux eventfd: a signalled event is a readable eventfd, so an
// event can be polled together with a serial device in one wait.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <vector>

#include "event.hpp"

// ThreadSanitizer cannot see that a poll() on an eventfd observes the write() of another
// thread; without these annotations every global handed over through an event would be
// reported as a race, though the kernel orders them as a Win32 event would.
#if defined(__SANITIZE_THREAD__)
#define KESTRADR_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define KESTRADR_TSAN 1
#endif
#endif

#ifdef KESTRADR_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace kestradr {
namespace {

void AnnotateRelease([[maybe_unused]] const Event* event) {
#ifdef KESTRADR_TSAN
  __tsan_release(const_cast<Event*>(event));
#endif
}

void AnnotateAcquire([[maybe_unused]] const Event* event) {
#ifdef KESTRADR_TSAN
  __tsan_acquire(const_cast<Event*>(event));
#endif
}

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

Event::Event(bool initiallySignalled)
    : handle_(eventfd(initiallySignalled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)),
      signalled_(initiallySignalled) {}

Event::~Event() {
  if (Valid()) close(Fd(handle_));
}

bool Event::Valid() const {
  return handle_ >= 0;
}

bool Event::Set() {
  if (!Valid()) {
    errno = EBADF;
    return false;
  }
  AnnotateRelease(this);
  std::lock_guard lock(change_);
  if (signalled_.load()) return true;  // the eventfd is readable already
  // The mirror turns first: a thread woken by the eventfd finds the event set, and one
  // that sees the mirror and resets the event waits on the lock until the eventfd is
  // written, then drains it.
  signalled_.store(true);
  const int saved = errno;  // success leaves the caller's error value alone
  const uint64_t one = 1;
  for (;;) {
    if (write(Fd(handle_), &one, sizeof one) == static_cast<ssize_t>(sizeof one)) return true;
    // A full counter (after 2^64-2 sets) is still signalled: that is success.
    if (errno == EAGAIN) {
      errno = saved;
      return true;
    }
    if (errno != EINTR) {
      signalled_.store(false);
      return false;
    }
  }
}

bool Event::Reset() {
  if (!Valid()) {
    errno = EBADF;
    return false;
  }
  std::lock_guard lock(change_);
  if (!signalled_.load()) return true;
  signalled_.store(false);
  const int saved = errno;
  uint64_t count = 0;
  for (;;) {
    if (read(Fd(handle_), &count, sizeof count) == static_cast<ssize_t>(sizeof count)) return true;
    if (errno == EAGAIN) {  // already unsignalled
      errno = saved;
      return true;
    }
    if (errno != EINTR) {
      signalled_.store(true);
      return false;
    }
  }
}

bool Event::IsSet() const {
  if (!Valid()) return false;
  const bool set = signalled_.load();
  if (set) AnnotateAcquire(this);
  return set;
}

namespace {

// The lowest index of a signalled event, or -1.
int FirstSignalled(std::initializer_list<const Event*> events) {
  int index = 0;
  for (const Event* event : events) {
    if (event->IsSet()) return index;
    ++index;
  }
  return -1;
}

}  // namespace

int WaitForAny(std::initializer_list<const Event*> events, int timeoutMs, int spinMicros) {
  for (const Event* event : events) {
    if (event == nullptr || !event->Valid()) {
      errno = EBADF;
      return kWaitFailed;
    }
  }
  if (const int index = FirstSignalled(events); index >= 0) return index;
  if (spinMicros > 0 && timeoutMs != 0) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(spinMicros);
    do {
      if (const int index = FirstSignalled(events); index >= 0) return index;
    } while (std::chrono::steady_clock::now() < until);
  }

  std::vector<pollfd> fds;
  fds.reserve(events.size());
  for (const Event* event : events) {
    if (event == nullptr || !event->Valid()) {
      errno = EBADF;
      return kWaitFailed;
    }
    fds.push_back(pollfd{Fd(event->NativeHandle()), POLLIN, 0});
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  int wait = timeoutMs < 0 ? -1 : timeoutMs;
  for (;;) {
    const int ready = poll(fds.data(), fds.size(), wait);
    if (ready > 0) break;
    if (ready == 0) return kWaitTimeout;
    if (errno != EINTR) return kWaitFailed;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
  for (std::size_t i = 0; i < fds.size(); ++i) {
    if (fds[i].revents & POLLNVAL) {
      errno = EBADF;
      return kWaitFailed;
    }
    if (fds[i].revents & POLLIN) {
      AnnotateAcquire(*(events.begin() + i));
      return static_cast<int>(i);
    }
  }
  errno = EIO;
  return kWaitFailed;
}

}  // namespace kestradr
