// tauravat_write_rates: a rate write that spends fiscal memory only on a change. Every
// write appends an entry the fiscal memory never frees and prints a notice of the change;
// writing the rates the printer already holds would spend both for nothing.
#include <algorithm>

#include "check.hpp"
#include "handle.hpp"
#include "model_info.hpp"
#include "tauravat.h"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_write_rates(tauravat_printer* printer,
                                                                   const tauravat_rates* rates,
                                                                   uint32_t flags,
                                                                   int32_t* written) {
  if (written != nullptr) *written = 0;
  if (rates == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (rates->size < kRatesSize || rates->count < 0 || rates->count > 7 ||
        (flags & ~TAURAVAT_FORCE) != 0) {
      return TAURAVAT_E_PARAMETER_RANGE;
    }
    TaxRates read;
    read.values.fill(TAURAVAT_RATE_RESERVED);
    if (const int32_t result = connection.ReadVAT(read); result != TAURAVAT_OK) return result;
    const RateArray& held = read.values;
    const int32_t heldCount = read.count;

    // The rates not given stay as the printer holds them.
    const tauravat_model_info model = ModelInfoOf(ModelOf(connection.IdentifiedType()));
    tauravat_rates table{};
    table.size = sizeof table;
    table.count = std::max({rates->count, heldCount, model.rate_count});
    for (size_t i = 0; i < held.size(); ++i) {
      table.values[i] = static_cast<int32_t>(i) < rates->count ? rates->values[i] : held[i];
    }
    Problem problem;
    if (const int32_t code = CheckRates(model, table, problem)) return code;

    const auto kept = static_cast<ptrdiff_t>(std::clamp(model.rate_count, 0, 7));
    const bool same = std::equal(held.begin(), held.begin() + kept, table.values);
    if (same && (flags & TAURAVAT_FORCE) == 0) return TAURAVAT_OK;

    TaxRates wanted{.count = table.count};
    std::copy(std::begin(table.values), std::end(table.values), wanted.values.begin());
    const int32_t result = connection.SetVAT(wanted);
    if (result == TAURAVAT_OK && written != nullptr) *written = 1;
    return result;
  });
}
