// The rules of a tax-rate table before it is written: what the model's rate format can
// carry and the order the older models take their rates in.
#include <optional>
#include <string>

#include "check.hpp"
#include "messages.hpp"

namespace kestradr {
namespace {

constexpr size_t kRates = 7;

bool Has(uint32_t mask, size_t rate) {
  return (mask >> rate & 1u) != 0;
}

bool Ordinary(uint32_t value) {
  return value != TAURAVAT_RATE_RESERVED && value != TAURAVAT_RATE_EXEMPT;
}

int32_t Refuse(Problem& problem, int32_t rule, size_t rate, int64_t limit = 0) {
  problem.code = TAURAVAT_E_PARAMETER_RANGE;
  problem.rule = rule;
  problem.field = "rates[" + std::to_string(rate) + "]";
  problem.limit = limit;
  return problem.code;
}

}  // namespace

int32_t CheckRates(const tauravat_model_info& model, const tauravat_rates& rates,
                   Problem& problem) {
  if (const int32_t code = CheckRateTable(rates, problem)) return code;
  if (rates.count < model.rate_count) {
    problem.code = TAURAVAT_E_PARAMETER_RANGE;
    problem.rule = TAURAVAT_RULE_TOO_FEW;
    problem.field = "rates.count";
    problem.limit = model.rate_count;
    return problem.code;
  }
  // The rates the model keeps; the others are not written.
  const auto kept = [&](size_t rate) { return Has(model.rates_editable, rate); };
  for (size_t rate = 0; rate < kRates; ++rate) {
    if (!kept(rate)) continue;
    const uint32_t value = rates.values[rate];
    if (value == TAURAVAT_RATE_RESERVED && !Has(model.rates_reserved, rate))
      return Refuse(problem, TAURAVAT_RULE_NOT_ALLOWED, rate);
    if (value == TAURAVAT_RATE_EXEMPT && !Has(model.rates_exempt, rate))
      return Refuse(problem, TAURAVAT_RULE_NOT_ALLOWED, rate);
    if (Ordinary(value) && value > model.highest_rate)
      return Refuse(problem, TAURAVAT_RULE_TOO_LARGE, rate, model.highest_rate);
  }
  // Before whole percents: an operator who typed the rates in the wrong order hears that
  // first, as the rate editor has always told it.
  std::optional<uint32_t> previous;
  for (size_t rate = 0; rate < kRates; ++rate) {
    const uint32_t value = rates.values[rate];
    if (!kept(rate) || !Has(model.rates_ordered, rate) || !Ordinary(value)) continue;
    if (previous && value > *previous) return Refuse(problem, TAURAVAT_RULE_ORDER, rate, *previous);
    previous = value;
  }
  for (size_t rate = 0; rate < kRates; ++rate) {
    const uint32_t value = rates.values[rate];
    if (kept(rate) && model.whole_percent_rates != 0 && Ordinary(value) && value % 100 != 0)
      return Refuse(problem, TAURAVAT_RULE_WHOLE_PERCENT, rate, 100);
  }
  return TAURAVAT_OK;
}

}  // namespace kestradr
