// Work handed from a worker thread to "the main thread": whichever thread is waiting
// inside the port's operations (WriteByte, ReadByte, Stop) runs it. Each serial link has
// its own queue, so two ports on two threads never run each other's work. The worker blocks
// until its task has run, or until its own stop event releases it, so closing the port
// never waits on a hand-over that nobody serves.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "event.hpp"

namespace kestradr {

class MainThreadQueue {
 public:
  // Worker side: true when the task ran, false when `stop` came first (the task is then
  // withdrawn if it had not started).
  bool RunOnMainThread(std::function<void()> task, const Event& stop);

  // Main side: runs every waiting task. Put Pending() into the waits that should serve.
  void Drain();
  const Event& Pending() const { return pending_; }

 private:
  struct Item {
    std::function<void()> task;
    Event done;
  };
  std::mutex mutex_;
  std::deque<std::shared_ptr<Item>> items_;
  Event pending_;
};

// Waits like WaitForAny, running the tasks handed over through `queue` while it waits.
// Returns the index in `events`, kWaitTimeout or kWaitFailed.
int WaitServingMainQueue(MainThreadQueue& queue, std::initializer_list<const Event*> events,
                         int timeoutMs = kInfinite, int spinMicros = 0);

}  // namespace kestradr
