// What the printer answers to each command and what the parameters make it do.

#include <chrono>

#include "kestra/emu/printer.hpp"
#include "printouts.hpp"

namespace kestra::emu {
namespace {

void PutLe16(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(static_cast<uint8_t>(v & 0xFF));
  out.push_back(static_cast<uint8_t>((v >> 8) & 0xFF));
}

void PutDigits(std::vector<uint8_t>& out, unsigned v) {
  out.push_back(static_cast<uint8_t>((v / 10) % 10));
  out.push_back(static_cast<uint8_t>(v % 10));
}

std::vector<uint8_t> FixedText(const std::string& text, std::size_t size) {
  std::vector<uint8_t> out(text.begin(), text.end());
  out.resize(size, ' ');
  return out;
}

// The totals travel as 40-bit unsigned numbers; a negative day total cannot occur
// (cancellations are limited to earlier sales) but is clamped to be safe.
void PutTotal40(std::vector<uint8_t>& out, int64_t v) {
  auto u = static_cast<uint64_t>(v < 0 ? 0 : v);
  for (int i = 0; i < 5; ++i) {
    out.push_back(static_cast<uint8_t>(u & 0xFF));
    u >>= 8;
  }
}

}  // namespace

uint8_t Printer::StatusByte(uint8_t command) {
  uint8_t value = 0;
  switch (command) {
    case cmd::kMemoryStatus:
      value = MemoryStatus();
      engine_.OnStatusPoll();
      break;
    case cmd::kPrintStatus:
      value = PrintStatus();
      engine_.OnStatusPoll();
      break;
    case cmd::kJumperStatus:
      value = config_.status.jumper96;
      break;
    case cmd::kModeStatus:
      value = config_.status.mode9B;
      break;
    case cmd::kLockByte:
      value = config_.status.lock60;
      break;
    case cmd::kByte5E:
      value = config_.status.byte5E;
      break;
    default:
      break;
  }
  return value;
}

std::optional<std::vector<uint8_t>> Printer::Answer(uint8_t command) {
  using Bytes = std::vector<uint8_t>;
  const auto& st = config_.status;
  switch (command) {
    case cmd::kIdentify:
      return Bytes{model_.identByte};
    case cmd::kSubType:
      return Bytes{config_.subType.value_or(*model_.defaultSubType), config_.version, 0x00};
    case cmd::kStatus1:
      return Bytes{st.mode9B};
    case cmd::kStatus2:
      return Bytes{MemoryStatus()};
    case cmd::kStatus3:
      return Bytes{PrintStatus()};
    case cmd::kStatus4:
      return Bytes{st.jumper96};
    case cmd::kStatus5:
      return Bytes{st.extra5F};
    case cmd::kStatus6:
      return Bytes{st.extra50};
    case cmd::kStatus7:
      return Bytes{st.extraF3};
    case cmd::kStatus8:
      return Bytes{st.extra5D};
    case cmd::kEuro:
      return Bytes{st.euroF5};
    case cmd::kReceiptCounter: {
      Bytes out;
      PutLe16(out, memory_.LastReceiptNumber());
      return out;
    }
    case cmd::kCounters: {
      Bytes out;
      PutLe16(out, memory_.CancelledToday());
      PutLe16(out, memory_.ReceiptsToday());
      PutLe16(out, memory_.DailyReportNumber());
      out.push_back(0);
      return out;
    }
    case cmd::kDailyReportNumber: {
      Bytes out;
      PutLe16(out, memory_.DailyReportNumber());
      return out;
    }
    case cmd::kReadRates7:
    case cmd::kReadRates6:
    case cmd::kReadRates4:
      return memory_.EncodeRates();
    case cmd::kRateTotals: {
      Bytes out;
      for (int64_t v : memory_.DayTotals()) PutTotal40(out, v);
      return out;
    }
    case cmd::kClock:
    case cmd::kClockWithSeconds: {
      using namespace std::chrono;
      const auto now = Now();
      const auto day = floor<days>(now);
      const year_month_day ymd{day};
      const hh_mm_ss hms{now - day};
      Bytes out;
      PutDigits(out, static_cast<unsigned>(static_cast<int>(ymd.year()) % 100));
      PutDigits(out, static_cast<unsigned>(ymd.month()));
      PutDigits(out, static_cast<unsigned>(ymd.day()));
      PutDigits(out, static_cast<unsigned>(hms.hours().count()));
      PutDigits(out, static_cast<unsigned>(hms.minutes().count()));
      if (command == cmd::kClockWithSeconds) {
        PutDigits(out, static_cast<unsigned>(hms.seconds().count()));
      }
      return out;
    }
    case cmd::kPrinterNumber:
      return FixedText(config_.printerNumber, 4);
    case cmd::kUniqueNumber:
      return FixedText(config_.uniqueNumber, 11);

    case cmd::kReceiptBegin:
      return BeginReceipt();
    case cmd::kReceiptEnd:
      return EndReceipt();
    case cmd::kCancel:
      CancelReceipt();
      return Bytes{};
    case cmd::kDailyReport:
      return DailyReport();
    case cmd::kLockedNamesReport:
      if (receipt_) return std::nullopt;
      Print(printout::LockedNamesReport(Now()));
      return Bytes{};
    case cmd::kStateReport:
      if (receipt_) return std::nullopt;
      Print(printout::StateReport(Now(), model_.name, MemoryStatus(), PrintStatus(), st.jumper96,
                                  st.mode9B));
      return Bytes{};
    case cmd::kDrawer1:
    case cmd::kDrawer2:
    case cmd::kDrawer3:
      ++drawers_[static_cast<std::size_t>(command - cmd::kDrawer1)];
      return Bytes{};
    case cmd::kResume:
      engine_.Resume();
      return Bytes{};

    case cmd::kLineFeedCount:
      return Bytes{};
    case cmd::kWriteRates7:
    case cmd::kWriteRates6:
    case cmd::kWriteRates4:
      if (!RateWriteAllowed()) return std::nullopt;
      return Bytes{};
    case cmd::kPeriodReportDetailed:
    case cmd::kPeriodReportShort:
    case cmd::kPeriodicReport:
      if (receipt_) return std::nullopt;
      return Bytes{};
    default:
      return std::nullopt;
  }
}

std::vector<uint8_t> Printer::Execute(uint8_t command, std::span<const uint8_t> params) {
  switch (command) {
    case cmd::kLineFeedCount:
      feedLines_ = params[0];
      return {};
    case cmd::kWriteRates7:
    case cmd::kWriteRates6:
    case cmd::kWriteRates4:
      WriteRates(params);
      return {};
    case cmd::kPeriodReportDetailed:
    case cmd::kPeriodReportShort:
      PeriodReport(command == cmd::kPeriodReportDetailed, params);
      return {};
    case cmd::kPeriodicReport:
      return {PeriodicReport(params)};
    case cmd::kItemLine:
      ItemLine(params);
      return {};
    case cmd::kPackage:
      return Package(params);
    case cmd::kSubtotal:
      if (receipt_) Print({printout::Subtotal(receipt_->Gross())});
      return {};
    case cmd::kDiscount:
      Discount(params);
      return {};
    case cmd::kTotal:
      Total(params);
      return {};
    case cmd::kPaymentFirst:
    case cmd::kPaymentSecond:
      Payment(command == cmd::kPaymentFirst, params);
      return {};
    case cmd::kExtraLine:
      ExtraLine(params);
      return {};
    default:
      return {};
  }
}

void Printer::Print(std::vector<std::string> lines) {
  if (lines.empty()) return;
  // The paper is fed by the programmed number of lines after every document that ends
  // with a blank line (receipts and reports).
  if (lines.back().empty()) {
    for (int i = 0; i < feedLines_; ++i) lines.emplace_back();
  }
  engine_.Enqueue(std::move(lines));
}

}  // namespace kestra::emu
