#include "progress_steps.hpp"

#include <utility>

namespace kestradr {

std::string_view StepOfCaption(std::string_view utf8Caption) {
  // Every caption the driver shows (ShowCentreMessage), with its identifier.
  static constexpr std::pair<std::string_view, std::string_view> kSteps[] = {
      {"Odczyt typu urządzenia...", "read_device_type"},
      {"Odczyt bajtów statusu...", "read_status"},
      {"Test czy tryb fiskalny...", "check_fiscal_mode"},
      {"Sprawdzanie warunków wystawienia paragonu...", "receipt_conditions"},
      {"Trwa kontrola wydruku...", "check_printout"},
      {"Trwa wydruk...", "follow_printout"},
      {"Wznawianie wydruku...", "resume_printout"},
      {"Odczyt stawek podatkowych...", "read_rates"},
      {"Zapis stawek podatkowych...", "write_rates"},
      {"Raport dobowy...", "daily_report"},
      {"Raport nazw towarów zablokowanych...", "locked_articles_report"},
      {"Raport stanu drukarki...", "printer_status_report"},
      {"Raport okresowy...", "period_report"},
      {"Raport miesięczny...", "monthly_report"},
      {"Odczyt zegara...", "read_clock"},
      {"Odczyt numeru unikatowego...", "read_unique_number"},
      {"Odczyt numeru raportu dobowego...", "read_daily_report_number"},
      {"Odczyt numeru ostatniego paragonu...", "read_receipt_number"},
      {"Zapis ilosci wierszy do wysunięcia...", "write_line_feed"},
      {"Otwarcie szuflady...", "open_drawer"},
  };
  if (utf8Caption.empty()) return {};
  for (const auto& [caption, step] : kSteps)
    if (caption == utf8Caption) return step;
  return "other";
}

}  // namespace kestradr
