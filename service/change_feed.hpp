// What changes in the service, for those who follow it (the event stream, the broker): a
// printer's state, and the journal's entries. A follower learns that something changed and
// reads the state itself, so it may compare with what it last passed on and drop repeats.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "journal.hpp"

namespace tauravatd {

class ChangeFeed {
 public:
  struct Follower {
    // Something shown in the printer's status may have changed (GET /v1/printers/{name}).
    std::function<void(const std::string& printer)> printerChanged;
    // An entry was admitted, saved or sent back to the queue: the entry as it now is.
    std::function<void(const JournalEntry& entry)> entryChanged;
  };

  // Ends the following when it goes; after that no call of the follower is under way.
  class Subscription {
   public:
    Subscription() = default;
    Subscription(ChangeFeed* feed, int key) : feed_(feed), key_(key) {}
    Subscription(Subscription&& other) noexcept { *this = std::move(other); }
    Subscription& operator=(Subscription&& other) noexcept;
    ~Subscription() { Cancel(); }
    void Cancel();

   private:
    ChangeFeed* feed_ = nullptr;
    int key_ = 0;
  };

  // The follower's functions run on the thread that made the change, one change at a
  // time: they must hand the change on and return, and never call back into the feed.
  [[nodiscard]] Subscription Follow(Follower follower);

  void PrinterChanged(const std::string& printer);
  void EntryChanged(const JournalEntry& entry);

 private:
  void Unfollow(int key);

  std::recursive_mutex mutex_;  // held while followers run, so Cancel waits for them
  std::map<int, Follower> followers_;
  int nextKey_ = 1;
};

}  // namespace tauravatd
