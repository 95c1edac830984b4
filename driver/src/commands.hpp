// Every command the driver sends, with the shape of its exchange: how many bytes the
// first reply has (the ACK included; 0 for none), how many parameter bytes follow, and
// how many bytes the printer sends after them. Call sites send a command by its entry,
// so a code and its shape are written once; the protocol suite checks the table against
// the emulator's framing.
#pragma once

#include <cstdint>

namespace kestradr {

struct Command {
  uint8_t code = 0;
  uint8_t reply = 0;           // first reply, ACK included; 1 for a bare status byte
  uint8_t parameters = 0;      // fixed parameter bytes
  uint8_t secondReply = 0;     // bytes after the parameters
  bool untilLineFeed = false;  // parameters are a text ended by a line feed
  const char* name = "";
};

namespace cmd {

// Receipt.
inline constexpr Command kItemLine{0x06, 0, 49, 0, false, "item line"};
inline constexpr Command kReceiptSum{0x07, 0, 4, 0, false, "receipt sum"};
inline constexpr Command kExtraLine{0x09, 0, 0, 0, true, "extra line"};
// The package line's acknowledgement comes after its parameters and is read on its own.
inline constexpr Command kPackage{0x17, 0, 10, 1, false, "package line"};
inline constexpr Command kDiscount{0x1B, 0, 1, 0, false, "discount"};
inline constexpr Command kReceiptBegin{0x21, 1, 0, 0, false, "receipt begin"};
inline constexpr Command kCancel{0x23, 1, 0, 0, false, "cancel receipt"};
inline constexpr Command kReceiptEnd{0x24, 1, 0, 0, false, "receipt end"};
inline constexpr Command kSubtotal{0x80, 0, 0, 0, false, "subtotal"};
inline constexpr Command kPaymentFirst{0x81, 0, 18, 0, false, "payment, first amount"};
inline constexpr Command kPaymentSecond{0x82, 0, 18, 0, false, "payment, second amount"};
inline constexpr Command kRateTotals{0xDA, 36, 0, 0, false, "totals per rate"};

// Reports and printing.
inline constexpr Command kLockedArticlesReport{0x22, 1, 0, 0, false, "locked names report"};
inline constexpr Command kDailyReport{0x25, 1, 0, 0, false, "daily report"};
inline constexpr Command kPrinterStatusReport{0x26, 1, 0, 0, false, "printer state report"};
inline constexpr Command kPeriodReportDetailed{0x28, 1, 12, 0, false, "period report"};
inline constexpr Command kPeriodReportShort{0x29, 1, 12, 0, false, "short period report"};
inline constexpr Command kResumePrinting{0x2A, 1, 0, 0, false, "resume printing"};
inline constexpr Command kPeriodicReport{0x31, 1, 5, 1, false, "monthly or by-number report"};
inline constexpr Command kLineFeed{0x46, 1, 1, 0, false, "line feed"};
inline constexpr Command kDrawer1{0x57, 1, 0, 0, false, "drawer 1"};
inline constexpr Command kDrawer2{0x58, 1, 0, 0, false, "drawer 2"};
inline constexpr Command kDrawer3{0x59, 1, 0, 0, false, "drawer 3"};

// Clock, counters, numbers.
inline constexpr Command kClock{0x35, 11, 0, 0, false, "clock"};
inline constexpr Command kClockWithSeconds{0x40, 13, 0, 0, false, "clock with seconds"};
inline constexpr Command kReceiptCounter{0x66, 3, 0, 0, false, "receipt counter"};
inline constexpr Command kUniqueNumber{0x71, 12, 0, 0, false, "unique number"};
inline constexpr Command kPrinterNumber{0xD8, 5, 0, 0, false, "printer number"};
inline constexpr Command kDailyReportNumber{0xD9, 3, 0, 0, false, "daily report number"};
inline constexpr Command kLongCounters{0xF7, 8, 0, 0, false, "long counters"};

// Tax rates in the three formats.
inline constexpr Command kReadRates4{0x70, 5, 0, 0, false, "read rates (4)"};
inline constexpr Command kReadRates6{0xD0, 13, 0, 0, false, "read rates (6)"};
inline constexpr Command kReadRates7{0xD1, 15, 0, 0, false, "read rates (7)"};
inline constexpr Command kWriteRates4{0x44, 1, 4, 0, false, "write rates (4)"};
inline constexpr Command kWriteRates6{0xD4, 1, 12, 0, false, "write rates (6)"};
inline constexpr Command kWriteRates7{0xD5, 1, 14, 0, false, "write rates (7)"};

// Identification and status.
inline constexpr Command kIdentify{0xFF, 2, 0, 0, false, "identify"};
inline constexpr Command kIdentifySubType{0xFE, 4, 0, 0, false, "identify sub-type"};
inline constexpr Command kStatus1{0x5B, 2, 0, 0, false, "status byte 1"};
inline constexpr Command kStatus2{0x54, 2, 0, 0, false, "status byte 2"};
inline constexpr Command kStatus3{0x55, 2, 0, 0, false, "status byte 3"};
inline constexpr Command kStatus4{0x56, 2, 0, 0, false, "status byte 4"};
inline constexpr Command kStatus5{0x5F, 2, 0, 0, false, "status byte 5"};
inline constexpr Command kStatus6{0x50, 2, 0, 0, false, "status byte 6"};
inline constexpr Command kStatus7{0xF3, 2, 0, 0, false, "status byte 7"};
inline constexpr Command kStatus8{0x5D, 2, 0, 0, false, "status byte 8"};
inline constexpr Command kEuroStatus{0xF5, 2, 0, 0, false, "euro change"};
inline constexpr Command kStatus5E{0x5E, 1, 0, 0, false, "status 0x5E"};
inline constexpr Command kLockStatus{0x60, 1, 0, 0, false, "lock byte"};
inline constexpr Command kMemoryStatus{0x94, 1, 0, 0, false, "memory status"};
inline constexpr Command kPrintStatus{0x95, 1, 0, 0, false, "print status"};
inline constexpr Command kServiceStatus{0x96, 1, 0, 0, false, "service status"};
inline constexpr Command kFiscalStatus{0x9B, 1, 0, 0, false, "fiscal status"};

}  // namespace cmd

// Every entry above, for the check against the emulator.
inline constexpr Command kDriverCommands[] = {
    cmd::kItemLine,
    cmd::kReceiptSum,
    cmd::kExtraLine,
    cmd::kPackage,
    cmd::kDiscount,
    cmd::kReceiptBegin,
    cmd::kCancel,
    cmd::kReceiptEnd,
    cmd::kSubtotal,
    cmd::kPaymentFirst,
    cmd::kPaymentSecond,
    cmd::kRateTotals,
    cmd::kLockedArticlesReport,
    cmd::kDailyReport,
    cmd::kPrinterStatusReport,
    cmd::kPeriodReportDetailed,
    cmd::kPeriodReportShort,
    cmd::kResumePrinting,
    cmd::kPeriodicReport,
    cmd::kLineFeed,
    cmd::kDrawer1,
    cmd::kDrawer2,
    cmd::kDrawer3,
    cmd::kClock,
    cmd::kClockWithSeconds,
    cmd::kReceiptCounter,
    cmd::kUniqueNumber,
    cmd::kPrinterNumber,
    cmd::kDailyReportNumber,
    cmd::kLongCounters,
    cmd::kReadRates4,
    cmd::kReadRates6,
    cmd::kReadRates7,
    cmd::kWriteRates4,
    cmd::kWriteRates6,
    cmd::kWriteRates7,
    cmd::kIdentify,
    cmd::kIdentifySubType,
    cmd::kStatus1,
    cmd::kStatus2,
    cmd::kStatus3,
    cmd::kStatus4,
    cmd::kStatus5,
    cmd::kStatus6,
    cmd::kStatus7,
    cmd::kStatus8,
    cmd::kEuroStatus,
    cmd::kStatus5E,
    cmd::kLockStatus,
    cmd::kMemoryStatus,
    cmd::kPrintStatus,
    cmd::kServiceStatus,
    cmd::kFiscalStatus,
};

// Reply-length classes by code, for any command including raw ones (RSSequence): the
// bare-data commands answer one status byte without an acknowledgement, and the list
// commands end their reply at a record that begins with 0xFF (their record length;
// 0 for the others).
bool IsBareDataCommand(uint8_t command);
uint8_t RecordLength(uint8_t command);

}  // namespace kestradr
