#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "kestra/emu/models.hpp"
#include "tauravat.h"

namespace kestra::emu {

// Rates are kept in the driver's representation: hundredths of a percent, with the two
// marker values of tauravat.h (TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_EXEMPT).
inline constexpr int kRateSlots = 7;  // A..G

using RateTable = std::array<uint16_t, kRateSlots>;
using RateAmounts = std::array<int64_t, kRateSlots>;  // grosz per rate A..G

RateTable AllReserved();

// One daily report as the fiscal memory records it.
struct DailyRecord {
  uint16_t number = 0;
  std::chrono::sys_seconds when{};
  RateAmounts sales{};
  uint16_t receipts = 0;
  uint16_t cancelled = 0;
};

// The fiscal state that outlives receipts: rates, the day's totals and counters, the
// grand totals and the log of daily reports.
class FiscalMemory {
 public:
  FiscalMemory(RateFormat format, RateTable rates);

  RateFormat Format() const { return format_; }
  const RateTable& Rates() const { return rates_; }
  bool AnyRateSet() const;
  // A rate letter (0 = A) that receipts may use: within the format and not reserved.
  bool RateUsable(int index) const;

  // Encode the rates as the model's read command answers them.
  std::vector<uint8_t> EncodeRates() const;
  // Decode a rate write; false (and nothing changed) when a value is not acceptable.
  bool WriteRates(std::span<const uint8_t> wire);
  // The rate-change entries written so far (each taken write adds one, same rates or not).
  int RateChanges() const { return rateChanges_; }

  // Day counters (zeroed by the daily report).
  uint16_t ReceiptsToday() const { return receiptsToday_; }
  uint16_t CancelledToday() const { return cancelledToday_; }
  // Receipts are numbered from 1 after each daily report: the last one's number is the
  // day's count, as command 0x66 answers it and as the receipt shows it. A cancelled
  // receipt takes no number.
  uint16_t LastReceiptNumber() const { return receiptsToday_; }
  uint16_t DailyReportNumber() const { return dailyReportNumber_; }
  const RateAmounts& DayTotals() const { return dayTotals_; }
  const RateAmounts& GrandTotals() const { return grandTotals_; }
  const std::vector<DailyRecord>& Reports() const { return reports_; }

  // Preset counters, e.g. to start the emulator as a printer in mid-day.
  void PresetCounters(uint16_t receiptsToday, uint16_t cancelledToday, uint16_t reportNumber);

  // A completed receipt: its per-rate amounts after discount.
  void RecordReceipt(const RateAmounts& amounts);
  void RecordCancelledReceipt();
  // Closes the day and returns its record.
  DailyRecord CloseDay(std::chrono::sys_seconds when);

 private:
  RateFormat format_;
  RateTable rates_;
  uint16_t receiptsToday_ = 0;
  uint16_t cancelledToday_ = 0;
  uint16_t dailyReportNumber_ = 0;
  int rateChanges_ = 0;
  RateAmounts dayTotals_{};
  RateAmounts grandTotals_{};
  std::vector<DailyRecord> reports_;
};

}  // namespace kestra::emu
