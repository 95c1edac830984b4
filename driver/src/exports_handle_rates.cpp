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
    RateArray held;
    held.fill(TAURAVAT_RATE_RESERVED);
    int32_t heldCount = 0;
    if (const int32_t result = connection.ReadVAT(heldCount, held); result != TAURAVAT_OK)
      return result;

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

    RateArray wanted;
    std::copy(std::begin(table.values), std::end(table.values), wanted.begin());
    int32_t count = table.count;
    const int32_t result = connection.SetVAT(count, wanted);
    if (result == TAURAVAT_OK && written != nullptr) *written = 1;
    return result;
  });
}
