// A receipt plan as the driver's whole sale, and the driver's check of it: the rules of what
// a printer takes live in the driver alone (tauravat_check_sale).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "receipt_plan.hpp"
#include "tauravat.h"

namespace tauravat::cli {

// The plan's lines (items, packages, subtotals), payments and extra lines as a
// tauravat_sale. Points into `plan`, which must outlive it.
struct PlanSale {
  explicit PlanSale(const ReceiptPlan& plan);
  PlanSale(const PlanSale&) = delete;
  PlanSale& operator=(const PlanSale&) = delete;

  std::vector<tauravat_item> items;  // one for each of plan.lines, in its place
  std::vector<tauravat_payment> payments;
  std::vector<tauravat_line> lines;
  tauravat_sale sale{};
};

// The first problem of `plan` for `model` with the printer's `rates` (NULL: not known): the
// driver's check of the sale. Fields are named as the file names them ("items[4].name",
// "extra_lines[0].text").
int32_t CheckPlan(const tauravat_model_info& model, const tauravat_rates* rates,
                  const ReceiptPlan& plan, tauravat_problem& problem);

// Renames the problem's field, as the driver names it, to the file's name for it.
void NameAsFile(tauravat_problem& problem);

// A problem's place: "items[0].name at character 6 (U+20AC)".
std::string ProblemPlace(const tauravat_problem& problem);

// The model of that short name ("luno", "taura2", ...) from the driver's table.
bool ModelNamed(const std::string& name, tauravat_model_info& model);
// The short names the driver knows, ", " between them.
std::string ModelNames();

}  // namespace tauravat::cli
