#include "model_info.hpp"

#include <array>
#include <string>

#include "check.hpp"
#include "cp1250.hpp"

namespace kestradr {
namespace {

// The table's names are code page 1250; callers of the description get them in UTF-8,
// converted once and kept for the life of the library.
const char* Utf8Name(uint8_t type) {
  static const auto names = [] {
    std::array<std::string, kDeviceTypeCount> converted;
    for (size_t i = 0; i < converted.size(); ++i)
      converted[i] = Cp1250ToUtf8(kDeviceModels[i].name);
    return converted;
  }();
  return names.at(type).c_str();
}

// Rates A.. the first `count`, as bits.
constexpr uint32_t FirstRates(uint32_t count) {
  return (1u << count) - 1;
}

}  // namespace

tauravat_model_info ModelInfoOf(const DeviceModel& model) {
  tauravat_model_info info{};
  info.size = sizeof info;
  info.type = model.type;
  info.short_name = model.shortName.data();  // literals of the table: NUL-terminated
  info.name = Utf8Name(model.type);
  info.fiscal = model.fiscal ? 1 : 0;
  info.rate_count = model.rateCount;
  const uint32_t kept = FirstRates(model.rateCount);
  info.rates_editable = kept;
  info.rates_exempt = model.exemptRates ? kept : 0;
  info.rates_reserved = kept;
  info.rates_ordered = FirstRates(model.orderedRates);
  info.whole_percent_rates = model.wholePercentRates ? 1 : 0;
  info.highest_rate = kHighestRate;
  info.highest_item_rate = model.highestRate;
  info.min_name_characters = model.minimumNameCharacters;
  info.highest_quantity = model.highestQuantity;
  const auto flag = [](bool has, uint32_t bit) { return has ? bit : 0u; };
  info.features =
      flag(model.extendedCommands,
           TAURAVAT_FEATURE_PACKAGES | TAURAVAT_FEATURE_SUBTOTAL | TAURAVAT_FEATURE_PAYMENT_FORMS) |
      flag(model.currentCommandSet, TAURAVAT_FEATURE_RATE_TOTALS | TAURAVAT_FEATURE_CLOCK_SECONDS) |
      flag(model.euroChange, TAURAVAT_FEATURE_EURO_CHANGEOVER) |
      flag(model.lockByte, TAURAVAT_FEATURE_LOCK_REASON) |
      flag(model.cancelledReceiptCounter, TAURAVAT_FEATURE_CANCELLED_COUNTER);
  info.reports =
      TAURAVAT_REPORT_KIND_DAILY | TAURAVAT_REPORT_KIND_PERIOD |
      TAURAVAT_REPORT_KIND_LOCKED_ARTICLES | TAURAVAT_REPORT_KIND_PRINTER_STATUS |
      flag(model.emptyDailyReport, TAURAVAT_REPORT_KIND_EMPTY_DAILY) |
      flag(model.currentCommandSet, TAURAVAT_REPORT_KIND_MONTHLY | TAURAVAT_REPORT_KIND_NUMBER);
  return info;
}

}  // namespace kestradr
