// The service's counters in the Prometheus text format (GET /metrics).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "journal.hpp"

namespace tauravatd {

class Metrics {
 public:
  // Upper bounds of the receipt time histogram, in seconds.
  static constexpr std::array<double, 9> kReceiptBuckets = {0.25, 0.5, 1, 2, 5, 10, 30, 60, 120};

  void ReceiptFinished(const std::string& printer, ReceiptState outcome, double seconds);
  // A receipt decided by settlement: counted by outcome, not timed.
  void ReceiptSettled(const std::string& printer, ReceiptState outcome);
  void CodeSeen(const std::string& printer, int32_t code, const std::string& codeName);

  // What a worker shows at the moment of the scrape.
  struct PrinterGauge {
    std::string printer;
    size_t queueLength = 0;
    bool connected = false;
    bool stalled = false;
  };
  std::string Render(const std::vector<PrinterGauge>& printers) const;

 private:
  struct Timing {
    std::array<uint64_t, kReceiptBuckets.size()> buckets{};
    uint64_t count = 0;
    double sum = 0;
  };

  mutable std::mutex mutex_;
  std::map<std::pair<std::string, std::string>, uint64_t> receipts_;  // printer, outcome
  std::map<std::pair<std::string, int32_t>, std::pair<std::string, uint64_t>> codes_;
  std::map<std::string, Timing> timing_;
};

}  // namespace tauravatd
