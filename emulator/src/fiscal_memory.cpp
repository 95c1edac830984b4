#include "kestra/emu/fiscal_memory.hpp"

namespace kestra::emu {
namespace {

// Models with fewer slots keep G as their fixed exempt rate and the unused slots
// reserved, so receipts and totals can always be indexed by letter.
RateTable Normalised(RateFormat format, RateTable rates) {
  const int count = RateCount(format);
  for (int i = count; i < kRateSlots; ++i)
    rates[static_cast<std::size_t>(i)] = TAURAVAT_RATE_RESERVED;
  if (format != RateFormat::kSevenRates) rates[6] = TAURAVAT_RATE_EXEMPT;
  return rates;
}

bool OrdinaryRate(unsigned value) {
  return value <= 9999;
}

}  // namespace

RateTable AllReserved() {
  RateTable t;
  t.fill(TAURAVAT_RATE_RESERVED);
  return t;
}

FiscalMemory::FiscalMemory(RateFormat format, RateTable rates)
    : format_(format), rates_(Normalised(format, rates)) {}

bool FiscalMemory::AnyRateSet() const {
  for (int i = 0; i < RateCount(format_); ++i) {
    if (rates_[static_cast<std::size_t>(i)] != TAURAVAT_RATE_RESERVED) return true;
  }
  return false;
}

bool FiscalMemory::RateUsable(int index) const {
  if (index < 0 || index >= kRateSlots) return false;
  return rates_[static_cast<std::size_t>(index)] != TAURAVAT_RATE_RESERVED;
}

std::vector<uint8_t> FiscalMemory::EncodeRates() const {
  std::vector<uint8_t> out;
  const int count = RateCount(format_);
  for (int i = 0; i < count; ++i) {
    const uint16_t v = rates_[static_cast<std::size_t>(i)];
    switch (format_) {
      case RateFormat::kFourRates:
        out.push_back(v == TAURAVAT_RATE_RESERVED ? 0xFF : static_cast<uint8_t>(v / 100));
        break;
      case RateFormat::kSixRates:
        if (v == TAURAVAT_RATE_RESERVED) {
          out.insert(out.end(), {0xFF, 0x00});
        } else {
          out.insert(out.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)});
        }
        break;
      case RateFormat::kSevenRates:
        if (v == TAURAVAT_RATE_RESERVED) {
          out.insert(out.end(), {0x80, 0x00});
        } else if (v == TAURAVAT_RATE_EXEMPT) {
          out.insert(out.end(), {0x40, 0x00});
        } else {
          out.insert(out.end(), {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v & 0xFF)});
        }
        break;
    }
  }
  return out;
}

bool FiscalMemory::WriteRates(std::span<const uint8_t> wire) {
  const int count = RateCount(format_);
  const std::size_t width = format_ == RateFormat::kFourRates ? 1 : 2;
  if (wire.size() != static_cast<std::size_t>(count) * width) return false;
  RateTable next = rates_;
  for (int i = 0; i < count; ++i) {
    const auto at = static_cast<std::size_t>(i);
    uint16_t value = 0;
    if (format_ == RateFormat::kFourRates) {
      const uint8_t b = wire[at];
      if (b == 0xFF) {
        value = TAURAVAT_RATE_RESERVED;
      } else if (b <= 99) {
        value = static_cast<uint16_t>(b * 100);
      } else {
        return false;
      }
    } else {
      const unsigned v = (unsigned{wire[2 * at]} << 8) | wire[2 * at + 1];
      if (format_ == RateFormat::kSixRates && v >= 0xFF00) {
        value = TAURAVAT_RATE_RESERVED;
      } else if (format_ == RateFormat::kSevenRates && v >= 0x8000) {
        value = TAURAVAT_RATE_RESERVED;
      } else if (format_ == RateFormat::kSevenRates && v == 0x4000) {
        value = TAURAVAT_RATE_EXEMPT;
      } else if (OrdinaryRate(v)) {
        value = static_cast<uint16_t>(v);
      } else {
        return false;
      }
    }
    next[at] = value;
  }
  rates_ = Normalised(format_, next);
  ++rateChanges_;
  return true;
}

void FiscalMemory::PresetCounters(uint16_t receiptsToday, uint16_t cancelledToday,
                                  uint16_t reportNumber) {
  receiptsToday_ = receiptsToday;
  cancelledToday_ = cancelledToday;
  dailyReportNumber_ = reportNumber;
}

void FiscalMemory::RecordReceipt(const RateAmounts& amounts) {
  for (std::size_t i = 0; i < amounts.size(); ++i) dayTotals_[i] += amounts[i];
  ++receiptsToday_;
}

void FiscalMemory::RecordCancelledReceipt() {
  ++cancelledToday_;
}

DailyRecord FiscalMemory::CloseDay(std::chrono::sys_seconds when) {
  DailyRecord record;
  record.number = ++dailyReportNumber_;
  record.when = when;
  record.sales = dayTotals_;
  record.receipts = receiptsToday_;
  record.cancelled = cancelledToday_;
  for (std::size_t i = 0; i < dayTotals_.size(); ++i) grandTotals_[i] += dayTotals_[i];
  dayTotals_ = {};
  receiptsToday_ = 0;
  cancelledToday_ = 0;
  reports_.push_back(record);
  return record;
}

}  // namespace kestra::emu
