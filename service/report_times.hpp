// When this service last printed each printer's daily report: the printer tells the
// report's number, not when it was made.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "journal.hpp"

namespace tauravatd {

class ReportTimes {
 public:
  void Record(const std::string& printer) {
    std::lock_guard lock(mutex_);
    times_[printer] = UtcNow();
  }
  std::optional<std::string> Last(const std::string& printer) const {
    std::lock_guard lock(mutex_);
    const auto found = times_.find(printer);
    if (found == times_.end()) return std::nullopt;
    return found->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> times_;  // UTC, as the journal writes times
};

}  // namespace tauravatd
