// Daily and periodic reports, and the rate programming they gate.

#include <algorithm>
#include <string>

#include "kestra/emu/printer.hpp"
#include "printouts.hpp"

namespace kestra::emu {
namespace {

using namespace std::chrono;

bool AllDigits(std::span<const uint8_t> digits) {
  return std::all_of(digits.begin(), digits.end(), [](uint8_t d) { return d <= 9; });
}

int TwoDigits(std::span<const uint8_t> d, std::size_t at) {
  return d[at] * 10 + d[at + 1];
}

std::optional<year_month_day> DateFromDigits(std::span<const uint8_t> d, std::size_t at) {
  const year_month_day ymd{year{2000 + TwoDigits(d, at)},
                           month{static_cast<unsigned>(TwoDigits(d, at + 2))},
                           day{static_cast<unsigned>(TwoDigits(d, at + 4))}};
  if (!ymd.ok()) return std::nullopt;
  return ymd;
}

year_month YearMonthOf(sys_seconds when) {
  const year_month_day ymd{floor<days>(when)};
  return ymd.year() / ymd.month();
}

}  // namespace

std::optional<std::vector<uint8_t>> Printer::DailyReport() {
  if (receipt_) return std::nullopt;
  const DailyRecord record = memory_.CloseDay(Now());
  config_.status.memory94 &= static_cast<uint8_t>(~0x08);  // the report is no longer due
  Print(printout::DailyReport(record, memory_.Rates()));
  return std::vector<uint8_t>{};
}

bool Printer::RateWriteAllowed() const {
  return !receipt_ && memory_.ReceiptsToday() == 0;
}

void Printer::WriteRates(std::span<const uint8_t> params) {
  // An unacceptable value leaves the table as it was; the computer finds out when it
  // reads the rates back.
  if (!memory_.WriteRates(params)) return;
  Print(printout::RatesProgrammed(memory_.Rates(), RateCount(memory_.Format()), Now()));
}

void Printer::PeriodReport(bool detailed, std::span<const uint8_t> digits) {
  const char* title = detailed ? "RAPORT OKRESOWY SZCZEGÓŁOWY" : "RAPORT OKRESOWY";
  const auto from = AllDigits(digits) ? DateFromDigits(digits, 0) : std::nullopt;
  const auto to = AllDigits(digits) ? DateFromDigits(digits, 6) : std::nullopt;
  if (!from || !to) {
    Print({printout::Centered(title), printout::Centered("BŁĘDNE DATY"), ""});
    return;
  }
  std::vector<DailyRecord> chosen;
  for (const auto& r : memory_.Reports()) {
    const year_month_day d{floor<days>(r.when)};
    if (d >= *from && d <= *to) chosen.push_back(r);
  }
  const std::string range = printout::DateTime(sys_days{*from}).substr(0, 10) + " - " +
                            printout::DateTime(sys_days{*to}).substr(0, 10);
  Print(printout::PeriodReport(chosen, title, range, detailed, memory_.Rates()));
}

// Result byte: 0 accepted, 1 bad date, 2 no reports, 3 bad numbers, 4 month not
// finished, 5 mode out of range.
uint8_t Printer::PeriodicReport(std::span<const uint8_t> params) {
  const uint8_t mode = params[0];
  const auto data = params.subspan(1);
  std::vector<DailyRecord> chosen;
  std::string range;
  const bool detailed = mode == 1 || mode == 2;
  if (mode == 1 || mode == 4) {
    const int from = data[0] | data[1] << 8;
    const int to = data[2] | data[3] << 8;
    if (from == 0 || from > to) return 3;
    for (const auto& r : memory_.Reports()) {
      if (r.number >= from && r.number <= to) chosen.push_back(r);
    }
    range = "raporty " + std::to_string(from) + " - " + std::to_string(to);
  } else if (mode == 2 || mode == 5) {
    if (!AllDigits(data)) return 1;
    const int m = TwoDigits(data, 2);
    if (m < 1 || m > 12) return 1;
    const year_month wanted{year{2000 + TwoDigits(data, 0)}, month{static_cast<unsigned>(m)}};
    if (wanted >= YearMonthOf(Now())) return 4;
    for (const auto& r : memory_.Reports()) {
      if (YearMonthOf(r.when) == wanted) chosen.push_back(r);
    }
    range = "miesiąc " + std::to_string(m) + "/" + std::to_string(2000 + TwoDigits(data, 0));
  } else {
    return 5;
  }
  if (chosen.empty()) return 2;
  Print(printout::PeriodReport(chosen, detailed ? "RAPORT OKRESOWY SZCZEGÓŁOWY" : "RAPORT OKRESOWY",
                               range, detailed, memory_.Rates()));
  return 0;
}

}  // namespace kestra::emu
