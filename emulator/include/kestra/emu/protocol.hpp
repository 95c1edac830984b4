#pragma once

#include <cstdint>
#include <optional>

namespace kestra::emu {

inline constexpr uint8_t kEsc = 0x1B;
inline constexpr uint8_t kAck = 0x06;
inline constexpr uint8_t kNak = 0x15;
inline constexpr uint8_t kLineFeed = 0x0A;

// How the printer answers right after the command byte.
enum class FirstReply {
  kSilent,       // the computer sends the parameters at once and reads nothing
  kStatusByte,   // one status byte, no acknowledgement
  kAcknowledge,  // ACK followed by `dataBytes` bytes
};

// The framing of one command: everything the parser needs to find the end of a
// sequence without understanding it, so an ESC inside parameters is never mistaken
// for the start of the next command.
struct CommandShape {
  FirstReply first = FirstReply::kAcknowledge;
  int dataBytes = 0;  // after the ACK (kAcknowledge) or the single byte (kStatusByte: always 1)
  int parameterBytes = 0;  // fixed count, ignored when `untilLineFeed`
  bool untilLineFeed = false;
  int secondReplyBytes = 0;  // bytes the printer sends after the parameters
};

// The longest parameter block a command may carry: its length travels in one byte.
inline constexpr int kMaxParameterBytes = 255;

// The framing of a command code, or nothing for a code this printer family never had.
std::optional<CommandShape> LookupCommand(uint8_t command);

// Command codes, named after what they do.
namespace cmd {
inline constexpr uint8_t kItemLine = 0x06;
inline constexpr uint8_t kTotal = 0x07;
inline constexpr uint8_t kExtraLine = 0x09;
inline constexpr uint8_t kPackage = 0x17;
inline constexpr uint8_t kDiscount = 0x1B;
inline constexpr uint8_t kReceiptBegin = 0x21;
inline constexpr uint8_t kLockedNamesReport = 0x22;
inline constexpr uint8_t kCancel = 0x23;
inline constexpr uint8_t kReceiptEnd = 0x24;
inline constexpr uint8_t kDailyReport = 0x25;
inline constexpr uint8_t kStateReport = 0x26;
inline constexpr uint8_t kPeriodReportDetailed = 0x28;
inline constexpr uint8_t kPeriodReportShort = 0x29;
inline constexpr uint8_t kResume = 0x2A;
inline constexpr uint8_t kPeriodicReport = 0x31;
inline constexpr uint8_t kClock = 0x35;
inline constexpr uint8_t kClockWithSeconds = 0x40;
inline constexpr uint8_t kWriteRates4 = 0x44;
inline constexpr uint8_t kLineFeedCount = 0x46;
inline constexpr uint8_t kStatus2 = 0x54;
inline constexpr uint8_t kStatus3 = 0x55;
inline constexpr uint8_t kStatus4 = 0x56;
inline constexpr uint8_t kDrawer1 = 0x57;
inline constexpr uint8_t kDrawer2 = 0x58;
inline constexpr uint8_t kDrawer3 = 0x59;
inline constexpr uint8_t kStatus1 = 0x5B;
inline constexpr uint8_t kStatus8 = 0x5D;
inline constexpr uint8_t kByte5E = 0x5E;
inline constexpr uint8_t kStatus5 = 0x5F;
inline constexpr uint8_t kStatus6 = 0x50;
inline constexpr uint8_t kLockByte = 0x60;
inline constexpr uint8_t kReceiptCounter = 0x66;
inline constexpr uint8_t kReadRates4 = 0x70;
inline constexpr uint8_t kUniqueNumber = 0x71;
inline constexpr uint8_t kSubtotal = 0x80;
inline constexpr uint8_t kPaymentFirst = 0x81;
inline constexpr uint8_t kPaymentSecond = 0x82;
inline constexpr uint8_t kBareStatus90 = 0x90;
inline constexpr uint8_t kMemoryStatus = 0x94;
inline constexpr uint8_t kPrintStatus = 0x95;
inline constexpr uint8_t kJumperStatus = 0x96;
inline constexpr uint8_t kModeStatus = 0x9B;
inline constexpr uint8_t kBareStatus9F = 0x9F;
inline constexpr uint8_t kReadRates6 = 0xD0;
inline constexpr uint8_t kReadRates7 = 0xD1;
inline constexpr uint8_t kWriteRates6 = 0xD4;
inline constexpr uint8_t kWriteRates7 = 0xD5;
inline constexpr uint8_t kPrinterNumber = 0xD8;
inline constexpr uint8_t kDailyReportNumber = 0xD9;
inline constexpr uint8_t kRateTotals = 0xDA;
inline constexpr uint8_t kStatus7 = 0xF3;
inline constexpr uint8_t kEuro = 0xF5;
inline constexpr uint8_t kCounters = 0xF7;
inline constexpr uint8_t kSubType = 0xFE;
inline constexpr uint8_t kIdentify = 0xFF;
}  // namespace cmd

}  // namespace kestra::emu
