#include "kestra/emu/protocol.hpp"

namespace kestra::emu {
namespace {

constexpr CommandShape Bare() {
  return {FirstReply::kStatusByte, 1, 0, false, 0};
}
constexpr CommandShape Ack(int data = 0, int params = 0, int second = 0) {
  return {FirstReply::kAcknowledge, data, params, false, second};
}
constexpr CommandShape Silent(int params, int second = 0) {
  return {FirstReply::kSilent, 0, params, false, second};
}

}  // namespace

std::optional<CommandShape> LookupCommand(uint8_t command) {
  switch (command) {
    case cmd::kByte5E:
    case cmd::kLockByte:
    case cmd::kBareStatus90:
    case cmd::kMemoryStatus:
    case cmd::kPrintStatus:
    case cmd::kJumperStatus:
    case cmd::kModeStatus:
    case cmd::kBareStatus9F:
      return Bare();

    case cmd::kStatus1:
    case cmd::kStatus2:
    case cmd::kStatus3:
    case cmd::kStatus4:
    case cmd::kStatus5:
    case cmd::kStatus6:
    case cmd::kStatus7:
    case cmd::kStatus8:
    case cmd::kEuro:
    case cmd::kIdentify:
      return Ack(1);
    case cmd::kSubType:
      return Ack(3);
    case cmd::kReceiptCounter:
    case cmd::kDailyReportNumber:
      return Ack(2);
    case cmd::kCounters:
      return Ack(7);
    case cmd::kReadRates7:
      return Ack(14);
    case cmd::kReadRates6:
      return Ack(12);
    case cmd::kReadRates4:
      return Ack(4);
    case cmd::kRateTotals:
      return Ack(35);
    case cmd::kClock:
      return Ack(10);
    case cmd::kClockWithSeconds:
      return Ack(12);
    case cmd::kPrinterNumber:
      return Ack(4);
    case cmd::kUniqueNumber:
      return Ack(11);

    case cmd::kReceiptBegin:
    case cmd::kReceiptEnd:
    case cmd::kCancel:
    case cmd::kDailyReport:
    case cmd::kLockedNamesReport:
    case cmd::kStateReport:
    case cmd::kDrawer1:
    case cmd::kDrawer2:
    case cmd::kDrawer3:
    case cmd::kResume:
      return Ack();

    case cmd::kLineFeedCount:
      return Ack(0, 1);
    case cmd::kWriteRates7:
      return Ack(0, 14);
    case cmd::kWriteRates6:
      return Ack(0, 12);
    case cmd::kWriteRates4:
      return Ack(0, 4);
    case cmd::kPeriodReportDetailed:
    case cmd::kPeriodReportShort:
      return Ack(0, 12);
    case cmd::kPeriodicReport:
      return Ack(0, 5, 1);

    case cmd::kItemLine:
      return Silent(49);
    case cmd::kPackage:
      return Silent(10, 1);
    case cmd::kSubtotal:
      return Silent(0);
    case cmd::kDiscount:
      return Silent(1);
    case cmd::kTotal:
      return Silent(4);
    case cmd::kPaymentFirst:
    case cmd::kPaymentSecond:
      return Silent(18);
    case cmd::kExtraLine:
      return CommandShape{FirstReply::kSilent, 0, 0, true, 0};
    default:
      return std::nullopt;
  }
}

}  // namespace kestra::emu
