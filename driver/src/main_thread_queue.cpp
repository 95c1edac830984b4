#include "main_thread_queue.hpp"

#include <algorithm>
#include <exception>
#include <vector>

namespace kestradr {

bool MainThreadQueue::RunOnMainThread(std::function<void()> task, const Event& stop) {
  auto item = std::make_shared<Item>();
  item->task = std::move(task);
  {
    std::lock_guard lock(mutex_);
    items_.push_back(item);
    pending_.Set();
  }
  if (WaitForAny({&item->done, &stop}) == 0) return true;
  std::lock_guard lock(mutex_);
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  if (items_.empty()) pending_.Reset();
  return false;
}

void MainThreadQueue::Drain() {
  std::deque<std::shared_ptr<Item>> taken;
  {
    // Pending() is set exactly while items wait, so an empty queue costs no system call.
    std::lock_guard lock(mutex_);
    if (items_.empty()) return;
    taken.swap(items_);
    pending_.Reset();
  }
  // Every worker is released even if a task throws; the first exception goes on up.
  std::exception_ptr failure;
  for (const auto& item : taken) {
    try {
      item->task();
    } catch (...) {
      if (!failure) failure = std::current_exception();
    }
    item->done.Set();
  }
  if (failure) std::rethrow_exception(failure);
}

int WaitServingMainQueue(MainThreadQueue& queue, std::initializer_list<const Event*> events,
                         int timeoutMs, int spinMicros) {
  std::vector<const Event*> waited(events);
  const auto served = static_cast<int>(waited.size());
  // WaitForAny takes an initializer_list; the lists here are at most three long.
  for (;;) {
    queue.Drain();
    int index = kWaitFailed;
    switch (served) {
      case 1:
        index = WaitForAny({waited[0], &queue.Pending()}, timeoutMs, spinMicros);
        break;
      case 2:
        index = WaitForAny({waited[0], waited[1], &queue.Pending()}, timeoutMs, spinMicros);
        break;
      case 3:
        index =
            WaitForAny({waited[0], waited[1], waited[2], &queue.Pending()}, timeoutMs, spinMicros);
        break;
      default:
        return kWaitFailed;
    }
    if (index != served) return index;
  }
}

}  // namespace kestradr
