#include "change_feed.hpp"

#include <utility>

namespace tauravatd {

ChangeFeed::Subscription& ChangeFeed::Subscription::operator=(Subscription&& other) noexcept {
  if (this != &other) {
    Cancel();
    feed_ = std::exchange(other.feed_, nullptr);
    key_ = std::exchange(other.key_, 0);
  }
  return *this;
}

void ChangeFeed::Subscription::Cancel() {
  if (feed_ != nullptr) std::exchange(feed_, nullptr)->Unfollow(key_);
}

ChangeFeed::Subscription ChangeFeed::Follow(Follower follower) {
  std::lock_guard lock(mutex_);
  const int key = nextKey_++;
  followers_.emplace(key, std::move(follower));
  return Subscription(this, key);
}

void ChangeFeed::Unfollow(int key) {
  std::lock_guard lock(mutex_);
  followers_.erase(key);
}

void ChangeFeed::PrinterChanged(const std::string& printer) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, follower] : followers_)
    if (follower.printerChanged) follower.printerChanged(printer);
}

void ChangeFeed::EntryChanged(const JournalEntry& entry) {
  std::lock_guard lock(mutex_);
  for (const auto& [key, follower] : followers_)
    if (follower.entryChanged) follower.entryChanged(entry);
}

}  // namespace tauravatd
