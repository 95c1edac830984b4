// When a thread of the port's hand-over watches for the other's signal before it sleeps.
// Watching costs the core for as long as it lasts; sleeping costs a wake-up. So, like an
// adaptive mutex that spins only while the holder runs, a thread watches only for an
// answer that is due at once: from the other thread while that one is awake and
// watching too, or from the line while its answers have lately come within the window.
// A printer at 9600 b/s answers a millisecond or more after the question, and following
// a printout asks hundreds of times a second: watching for those answers was most of
// what following cost.
#pragma once

#include <atomic>
#include <chrono>

namespace kestradr {

using SpinClock = std::chrono::steady_clock;

// How long a thread watches for the other thread while that one is awake: it answers
// within microseconds unless it is preempted.
inline constexpr std::chrono::microseconds kAwakeWatch{50};
// How long the caller watches for a byte from the line while such bytes have lately come
// that fast: enough for a byte already received or an echo, and far shorter than a byte
// takes at the speeds printers use (382 µs at 28800 b/s).
inline constexpr std::chrono::microseconds kLineAnswerWatch{200};

// Every how many writes handed to a sleeping writer thread the caller watches anyway.
inline constexpr int kWriteTrialEvery = 16;

inline int Micros(std::chrono::microseconds watch) {
  return static_cast<int>(watch.count());
}

// Until when a thread watches without sleeping, published for the other thread.
class WatchMark {
 public:
  void Start(std::chrono::microseconds watch) {
    until_.store(watch.count() > 0 ? (SpinClock::now() + watch).time_since_epoch().count() : 0);
  }
  bool Watching() const { return SpinClock::now().time_since_epoch().count() < until_.load(); }

 private:
  std::atomic<SpinClock::rep> until_{0};
};

// True at every `every`-th call: a watch tried where the rule says sleep, so that two
// threads that both sleep find their way back to watching when it would pay again.
class Trials {
 public:
  explicit constexpr Trials(int every) : every_(every) {}
  bool Due() {
    if (++count_ < every_) return false;
    count_ = 0;
    return true;
  }

 private:
  int every_;
  int count_ = 0;
};

// Whether to watch for the answers at one place of waiting, judged from how its last
// waits ended: watching goes on while they end within the window, stops after two that
// did not, and comes back with one that does (even asleep) or with a trial.
class AnswerHistory {
 public:
  static constexpr int kMissesBeforeSleeping = 2;
  static constexpr int kTrialEvery = 64;

  explicit constexpr AnswerHistory(std::chrono::microseconds window) : window_(window) {}

  std::chrono::microseconds NextWatch() {
    if (misses_ < kMissesBeforeSleeping || trials_.Due()) return window_;
    return std::chrono::microseconds(0);
  }

  // How long the wait took, from the request to the answer seen.
  void Ended(SpinClock::duration waited) {
    if (waited <= window_) {
      misses_ = 0;
    } else if (misses_ < kMissesBeforeSleeping) {
      ++misses_;
    }
  }

 private:
  std::chrono::microseconds window_;
  int misses_ = 0;
  Trials trials_{kTrialEvery};
};

}  // namespace kestradr
