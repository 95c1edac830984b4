// The handle interface's model descriptions and checks: pure functions of the model table,
// except tauravat_printer_model, which asks the handle for the model it identified.
#include <algorithm>
#include <cstring>

#include "check.hpp"
#include "export_guard.hpp"
#include "handle.hpp"
#include "model_info.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

// The caller's description as far as this header knows it; false with the problem when
// it cannot be used.
bool ReadModel(const tauravat_model_info* model, tauravat_model_info& known, Problem& problem) {
  problem.field = "model";
  if (model == nullptr) {
    problem.code = TAURAVAT_E_NULL_ARGUMENT;
    problem.rule = TAURAVAT_RULE_MISSING;
    return false;
  }
  problem.code = TAURAVAT_E_PARAMETER_RANGE;
  if (model->size < kModelInfoSize) {
    problem.rule = TAURAVAT_RULE_SIZE;
    problem.limit = kModelInfoSize;
    return false;
  }
  std::memcpy(&known, model, sizeof known);
  // A description made up by the caller must still index the rate tables safely.
  problem.rule = TAURAVAT_RULE_NOT_ALLOWED;
  if (known.rate_count < 0 || known.rate_count > 7 || known.highest_item_rate < 1 ||
      known.highest_item_rate > 7)
    return false;
  problem = {};
  return true;
}

int32_t WriteModel(const DeviceModel& model, tauravat_model_info* info) {
  if (info->size < kModelInfoSize) return TAURAVAT_E_PARAMETER_RANGE;
  const uint32_t size = info->size;
  *info = ModelInfoOf(model);
  info->size = size;
  return TAURAVAT_OK;
}

void WriteProblem(const Problem& found, tauravat_problem& out) {
  out.code = found.code;
  out.rule = found.rule;
  out.offset = found.offset;
  out.code_point = found.codePoint;
  out.limit = found.limit;
  const size_t length = std::min(found.field.size(), sizeof out.field - 1);
  std::memcpy(out.field, found.field.data(), length);
  out.field[length] = '\0';
}

// The frame of the three checks: the model read, the problem written whatever the outcome.
template <class Check>
int32_t RunCheck(const tauravat_model_info* model, tauravat_problem* problem,
                 Check&& check) noexcept {
  return Guarded([&]() -> int32_t {
    if (problem != nullptr && problem->size < kProblemSize) return TAURAVAT_E_PARAMETER_RANGE;
    Problem found;
    tauravat_model_info known{};
    if (ReadModel(model, known, found)) check(known, found);
    if (problem != nullptr) WriteProblem(found, *problem);
    return found.code;
  });
}

Problem Missing(const char* field) {
  Problem problem;
  problem.code = TAURAVAT_E_NULL_ARGUMENT;
  problem.rule = TAURAVAT_RULE_MISSING;
  problem.field = field;
  return problem;
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_model_by_type(int32_t type,
                                                                     tauravat_model_info* info) {
  if (info == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    const DeviceModel* model = type >= 0 && type < kDeviceTypeCount
                                   ? FindDeviceModel(static_cast<uint8_t>(type))
                                   : nullptr;
    if (model == nullptr) return TAURAVAT_E_PARAMETER_RANGE;
    return WriteModel(*model, info);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_printer_model(tauravat_printer* printer,
                                                                     tauravat_model_info* info) {
  if (info == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (info->size < kModelInfoSize) return TAURAVAT_E_PARAMETER_RANGE;
    if (const int32_t result = connection.Prologue(true, false); result != TAURAVAT_OK)
      return result;
    return WriteModel(ModelOf(connection.IdentifiedType()), info);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_item(const tauravat_model_info* model,
                                                                  const tauravat_rates* rates,
                                                                  const tauravat_item* item,
                                                                  tauravat_problem* problem) {
  return RunCheck(model, problem, [&](const tauravat_model_info& known, Problem& found) {
    if (item == nullptr)
      found = Missing("item");
    else
      CheckItem(known, rates, *item, "", found);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_sale(const tauravat_model_info* model,
                                                                  const tauravat_rates* rates,
                                                                  const tauravat_sale* sale,
                                                                  tauravat_problem* problem) {
  return RunCheck(model, problem, [&](const tauravat_model_info& known, Problem& found) {
    if (sale == nullptr)
      found = Missing("sale");
    else
      CheckSale(known, rates, *sale, found);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_check_rates(const tauravat_model_info* model,
                                                                   const tauravat_rates* rates,
                                                                   tauravat_problem* problem) {
  return RunCheck(model, problem, [&](const tauravat_model_info& known, Problem& found) {
    if (rates == nullptr)
      found = Missing("rates");
    else
      CheckRates(known, *rates, found);
  });
}
