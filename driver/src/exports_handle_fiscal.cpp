// The handle interface: tax rates, reports, clock, counters, identity numbers,
// drawer and line feed. Dates take four-digit years here; the printer keeps
// two.
#include <algorithm>
#include <string>

#include "handle.hpp"
#include "handle_marshal.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

constexpr int32_t kFirstYear = 2000;
constexpr int32_t kLastYear = 2099;
constexpr int32_t kLargestReportNumber = 0xFFFF;  // travels in 16 bits
constexpr int32_t kMostFedLines = 0xFF;

bool InRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

bool KnownKind(int32_t kind) {
  return kind == TAURAVAT_REPORT_SHORT || kind == TAURAVAT_REPORT_DETAILED;
}

bool ValidDate(int32_t year, int32_t month, int32_t day) {
  return InRange(year, kFirstYear, kLastYear) && InRange(month, 1, 12) && InRange(day, 1, 31);
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_vat(tauravat_printer* printer,
                                                                int32_t* count, uint32_t rates[7]) {
  if (count == nullptr || rates == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    // The rates a model does not keep read as not in use, not as whatever the
    // caller held.
    TaxRates read;
    read.values.fill(TAURAVAT_RATE_RESERVED);
    if (const int32_t result = connection.ReadVAT(read); result != TAURAVAT_OK) return result;
    *count = read.count;
    std::copy(read.values.begin(), read.values.end(), rates);
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_set_vat(tauravat_printer* printer,
                                                               int32_t* count,
                                                               const uint32_t rates[7]) {
  if (count == nullptr || rates == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    TaxRates wanted{.count = *count};
    std::copy(rates, rates + wanted.values.size(), wanted.values.begin());
    const int32_t result = connection.SetVAT(wanted);
    *count = wanted.count;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_daily_report(tauravat_printer* printer,
                                                                    int32_t force) {
  return WithPrinter(printer,
                     [&](Printer& connection) { return connection.DailyReport(force != 0); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
tauravat_locked_articles_report(tauravat_printer* printer) {
  return WithPrinter(printer,
                     [](Printer& connection) { return connection.LockedArticlesReport(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
tauravat_printer_status_report(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.PrinterStatusReport(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_period_report(
    tauravat_printer* printer, int32_t kind, int32_t from_year, int32_t from_month,
    int32_t from_day, int32_t to_year, int32_t to_month, int32_t to_day) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (!KnownKind(kind) || !ValidDate(from_year, from_month, from_day) ||
        !ValidDate(to_year, to_month, to_day))
      return TAURAVAT_E_PARAMETER_RANGE;
    return connection.PeriodReport(
        static_cast<ReportKind>(kind),
        {.from = {.year = from_year - kFirstYear, .month = from_month, .day = from_day},
         .to = {.year = to_year - kFirstYear, .month = to_month, .day = to_day}});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_monthly_report(tauravat_printer* printer,
                                                                      int32_t kind, int32_t year,
                                                                      int32_t month) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (!KnownKind(kind) || !ValidDate(year, month, 1)) return TAURAVAT_E_PARAMETER_RANGE;
    return connection.MonthlyReport(static_cast<ReportKind>(kind), year - kFirstYear, month);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_number_report(tauravat_printer* printer,
                                                                     int32_t kind, int32_t from,
                                                                     int32_t to) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (!KnownKind(kind) || !InRange(from, 0, kLargestReportNumber) ||
        !InRange(to, 0, kLargestReportNumber))
      return TAURAVAT_E_PARAMETER_RANGE;
    return connection.NumberReport(static_cast<ReportKind>(kind), {.first = from, .last = to});
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_clock(tauravat_printer* printer,
                                                                  char* text, size_t size,
                                                                  size_t* needed) {
  if (MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    // "2005.12.31" and "23:59" or "23:59:07": written the ISO way.
    std::string date;
    std::string time;
    if (const int32_t result = connection.ReadClock(date, time); result != TAURAVAT_OK)
      return result;
    std::replace(date.begin(), date.end(), '.', '-');
    return TextOut(date + " " + time, text, size, needed);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_number(tauravat_printer* printer,
                                                                      int32_t* number) {
  if (number == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(
      printer, [&](Printer& connection) { return connection.ReadLastReceiptNumber(*number); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_receipt_counter(tauravat_printer* printer,
                                                                       int32_t* number,
                                                                       int32_t* known) {
  if (number == nullptr || known == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    int32_t counter = 0;
    bool tells = false;
    if (const int32_t result = connection.ReceiptCounter(counter, tells); result != TAURAVAT_OK)
      return result;
    *number = counter;
    *known = tells ? 1 : 0;
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
tauravat_daily_report_number(tauravat_printer* printer, int32_t* number) {
  if (number == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer,
                     [&](Printer& connection) { return connection.DailyReportNumber(*number); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_printer_number(tauravat_printer* printer,
                                                                      int32_t* number, char* code,
                                                                      size_t size, size_t* needed) {
  if (number == nullptr || MissingBuffer(code, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    int32_t read = 0;
    std::string characters;
    if (const int32_t result = connection.PrinterNumber(read, characters); result != TAURAVAT_OK)
      return result;
    const int32_t result = Cp1250TextOut(characters, code, size, needed);
    if (result == TAURAVAT_OK) *number = read;
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_unique_number(tauravat_printer* printer,
                                                                          char* text, size_t size,
                                                                          size_t* needed) {
  if (MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    std::string characters;
    if (const int32_t result = connection.ReadUniqueCharacters(characters); result != TAURAVAT_OK)
      return result;
    return Cp1250TextOut(characters, text, size, needed);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open_drawer(tauravat_printer* printer,
                                                                   int32_t drawer) {
  return WithPrinter(printer, [&](Printer& connection) { return connection.OpenDrawer(drawer); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_write_line_feed(tauravat_printer* printer,
                                                                       int32_t lines) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (!InRange(lines, 0, kMostFedLines)) return TAURAVAT_E_PARAMETER_RANGE;
    return connection.WriteLineFeed(static_cast<uint8_t>(lines));
  });
}
