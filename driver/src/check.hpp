// The rules an item, a whole sale and a tax-rate table must meet before anything of them
// reaches a printer, checked against a model's description alone (no port). The exports
// tauravat_check_* are a shell over these, and the handle's own receipt calls use them.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "tauravat.h"

namespace kestradr {

// What is wrong and where (tauravat_problem without its size and fixed buffer).
struct Problem {
  int32_t code = TAURAVAT_OK;
  int32_t rule = TAURAVAT_RULE_NONE;
  std::string field;
  int32_t offset = -1;
  uint32_t codePoint = 0;
  int64_t limit = 0;
};

// The highest ordinary tax rate, in hundredths of a percent: what the rate editor has always
// taken (99.83 %).
inline constexpr uint32_t kHighestRate = 9983;
// The highest amount a price, a line, a payment or the receipt's total may reach, in grosz.
inline constexpr int64_t kHighestAmount = 999'999'999;

// Each returns the code of the first problem found (0 when none) and describes it in
// `problem`. `model` has been read from the caller (ReadModel). Field names of an item are
// prefixed with `prefix` ("items[2]."), those of the rate table are "rates...".
int32_t CheckItem(const tauravat_model_info& model, const tauravat_rates* rates,
                  const tauravat_item& item, std::string_view prefix, Problem& problem);
int32_t CheckSale(const tauravat_model_info& model, const tauravat_rates* rates,
                  const tauravat_sale& sale, Problem& problem);
int32_t CheckRates(const tauravat_model_info& model, const tauravat_rates& rates, Problem& problem);

// The first problem of a rate table given with an item or a sale (its size and count).
int32_t CheckRateTable(const tauravat_rates& rates, Problem& problem);

}  // namespace kestradr
