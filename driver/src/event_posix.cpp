// Manual-reset events on Linux eventfd: a signalled event is a readable eventfd, so an
// event can be polled together with a serial device in one wait. The eventfd is only
// kept in step while somebody may be asleep on it; a thread that watches the state
// without sleeping sees `signalled_` alone.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdint>

#include "event.hpp"

namespace kestradr {
namespace {

// The most events one wait takes; the port's waits take at most four.
constexpr std::size_t kMaxWaitEvents = 8;

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

Event::Event(bool initiallySignalled)
    : handle_(eventfd(initiallySignalled ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK)),
      signalled_(initiallySignalled),
      kernelSignalled_(initiallySignalled) {}

Event::~Event() {
  if (Valid()) close(Fd(handle_));
}

bool Event::Valid() const {
  return handle_ >= 0;
}

std::intptr_t Event::NativeHandle() const {
  // Whoever holds the handle may poll it at any time: from now on it counts as a
  // sleeper for good, so every change reaches the eventfd.
  if (Valid() && !handedOut_.load() && !handedOut_.exchange(true)) {
    sleepers_.fetch_add(1);
    FollowState();
  }
  return handle_;
}

bool Event::Set() {
  if (!Valid()) {
    errno = EBADF;
    return false;
  }
  if (signalled_.exchange(true)) return true;
  // Paired with BeginSleep: a sleeper counted after this load sees the state set before
  // it sleeps; one counted before is woken through the eventfd.
  if (sleepers_.load() == 0) return true;
  return FollowState();
}

bool Event::Reset() {
  if (!Valid()) {
    errno = EBADF;
    return false;
  }
  signalled_.store(false);
  // With nobody asleep on it, a readable eventfd left behind is drained by the next
  // sleeper before it sleeps (if one ever comes): the thread just woken by the Set does
  // not stall on the lock of the Set still in progress.
  if (sleepers_.load() == 0) return true;
  return FollowState();
}

bool Event::IsSet() const {
  return Valid() && signalled_.load();
}

// Makes the eventfd readable exactly when the event is signalled.
bool Event::FollowState() const {
  std::lock_guard lock(change_);
  const bool wanted = signalled_.load();
  if (kernelSignalled_.load() == wanted) return true;
  const int saved = errno;  // success leaves the caller's error value alone
  for (;;) {
    uint64_t count = 1;
    const ssize_t done =
        wanted ? write(Fd(handle_), &count, sizeof count) : read(Fd(handle_), &count, sizeof count);
    // EAGAIN: a full counter (after 2^64-2 sets) is still readable; an empty one is
    // already unreadable. Either way the eventfd is as wanted.
    if (done == static_cast<ssize_t>(sizeof count) || errno == EAGAIN) break;
    if (errno != EINTR) return false;
  }
  kernelSignalled_.store(wanted);
  errno = saved;
  return true;
}

bool Event::BeginSleep() const {
  sleepers_.fetch_add(1);
  return FollowState();
}

void Event::EndSleep() const {
  sleepers_.fetch_sub(1);
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

  std::array<pollfd, kMaxWaitEvents> fds{};
  if (events.size() > fds.size()) {
    errno = EINVAL;
    return kWaitFailed;
  }
  std::size_t count = 0;
  for (const Event* event : events) fds[count++] = pollfd{Fd(event->handle_), POLLIN, 0};
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  int wait = timeoutMs < 0 ? -1 : timeoutMs;
  for (;;) {
    bool synced = true;
    for (const Event* event : events) synced = event->BeginSleep() && synced;
    // The answer is always read from the state: a readable eventfd may be a Set already
    // undone by a Reset that has not drained it yet.
    int index = FirstSignalled(events);
    int ready = 0;
    if (synced && index < 0) ready = poll(fds.data(), count, wait);
    const int pollError = errno;
    for (const Event* event : events) event->EndSleep();
    if (!synced) return kWaitFailed;
    if (index < 0) index = FirstSignalled(events);
    if (index >= 0) return index;
    if (ready < 0 && pollError != EINTR) {
      errno = pollError;
      return kWaitFailed;
    }
    for (std::size_t i = 0; i < count; ++i) {
      if (fds[i].revents & POLLNVAL) {
        errno = EBADF;
        return kWaitFailed;
      }
    }
    if (ready == 0) return kWaitTimeout;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
    }
  }
}

}  // namespace kestradr
