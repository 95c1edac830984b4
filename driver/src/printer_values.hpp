// The values Printer's operations take and give: typed lines for a receipt, money in
// grosz as 64 bits, and the selectors and periods of the reads and reports. Text is code
// page 1250, the legacy interface's own (the handle interface converts its UTF-8 first).
// Money wider than the printer's 32 bits is refused by the core with
// TAURAVAT_E_PARAMETER_RANGE before anything is sent.
#pragma once

#include <cstdint>
#include <string_view>

namespace kestradr {

// One sale or cancel line.
struct ItemLine {
  bool cancel = false;  // a cancel line, printed with '-'
  std::string_view name;
  int32_t rate = 0;      // 1..7 for A..G
  int32_t message = 0;   // 0..7, the printer's message under the line
  int32_t quantity = 0;  // in steps of 10^-decimals
  int32_t decimals = 0;  // 0..4
  std::string_view unit;
  int64_t price = 0;
  int64_t value = 0;  // the caller's own line value, sent as it is; 0: quantity x price
};

// The four returnable-package lines the printer knows (" S", " Z", "-S", "-Z"). A value
// outside them is refused with TAURAVAT_E_PACKAGE_KIND_RANGE once the receipt's status
// has been read, as the legacy interface always did.
enum class PackageKind : int32_t {
  kSold = 0,
  kReturned = 1,
  kSoldCancelled = 2,
  kReturnedCancelled = 3,
};

// The two values and the amount are the printer's to interpret and go out unchanged.
struct PackageLine {
  PackageKind kind = PackageKind::kSold;
  uint16_t firstValue = 0;
  uint16_t secondValue = 0;
  int64_t amount = 0;  // grosz
};

// One payment form for the end of the receipt; the amounts go out unchanged.
struct PaymentLine {
  int32_t slot = 0;          // 1..4
  std::string_view name;     // cut or padded to 13 characters
  int64_t firstAmount = 0;   // grosz
  int64_t secondAmount = 0;  // grosz
};

// One extra line printed after the receipt.
struct TextLine {
  int32_t code = 0;  // 0..15, the printer's kind of line
  std::string_view text;
};

// What print supervision waits for: a printout followed until it has ended, or the
// printer made ready before a command (a stopped printout resumed). Another value, which
// the legacy PrintControl takes too, waits only while the printer prints and resumes only
// a printout stopped for paper.
enum class PrintWait : int32_t {
  kFollow = 0,
  kBefore = 1,
};

// The two forms of the periodic reports. A value outside them sends no report, but the
// rest of the call runs (the port reopened, the printout followed), as the legacy
// interface always did.
enum class ReportKind : int32_t {
  kShort = 0,
  kDetailed = 1,
};

// A day as the printer's reports take it: the year within the century (0..99 for
// 2000..2099), the month 1..12, the day 1..31.
struct ReportDate {
  int32_t year = 0;
  int32_t month = 0;
  int32_t day = 0;
};

struct DateRange {
  ReportDate from;
  ReportDate to;
};

// Daily report numbers, first and last; each travels in 16 bits (the low ones).
struct NumberRange {
  int32_t first = 0;
  int32_t last = 0;
};

// Which running total ReadSelTotal reads: the sum over every rate, or one rate's.
struct TotalSelector {
  int32_t rate = 0;  // 0: every rate's sum; 1..7: A..G
  // False for a selector that names no total. The printer is still asked, the rate
  // `rate` points at is still refused when reserved, and then the selector is refused
  // with TAURAVAT_E_PARAMETER_N_RANGE: the legacy text selector has always done so.
  bool named = true;
};

// The text selector of ReadSelTotal: "+" is every rate, "A".."G" one rate. Any other text
// names nothing and points at the rate of its first character's low three bits.
TotalSelector SelectorOf(std::string_view text);

}  // namespace kestradr
