#include "receipt_sale.hpp"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <variant>

namespace tauravat::cli {
namespace {

// The driver names a sale's parts as its struct does; the file as its keys do.
std::string FileField(const std::string& field) {
  if (field.starts_with("lines")) return "extra_" + field;
  if (field == "discount_percent") return "discount";
  return field;
}

void SetField(tauravat_problem& problem, const std::string& field) {
  std::memset(problem.field, 0, sizeof problem.field);
  std::memcpy(problem.field, field.data(), std::min(field.size(), sizeof problem.field - 1));
}

tauravat_item LineOf(const ReceiptLine& line) {
  tauravat_item item{};
  item.size = sizeof item;
  if (const auto* article = std::get_if<ItemLine>(&line)) {
    item.kind = article->cancel ? TAURAVAT_ITEM_CANCEL : TAURAVAT_ITEM_SALE;
    item.name = article->name.c_str();
    item.rate = article->rate;
    item.message = article->message;
    item.quantity = article->quantity;
    item.decimals = article->decimals;
    item.unit = article->unit.empty() ? nullptr : article->unit.c_str();
    item.price = article->price;
    item.value = article->value;
  } else if (const auto* package = std::get_if<PackageLine>(&line)) {
    item.kind = TAURAVAT_ITEM_PACKAGE;
    item.package_kind = package->kind;
    item.package_first_value = package->first;
    item.package_second_value = package->second;
    item.package_amount = package->amount;
  } else {
    item.kind = TAURAVAT_ITEM_SUBTOTAL;
  }
  return item;
}

}  // namespace

PlanSale::PlanSale(const ReceiptPlan& plan) {
  for (const ReceiptLine& line : plan.lines) items.push_back(LineOf(line));
  for (const PaymentSlot& slot : plan.payments)
    payments.push_back(
        {sizeof(tauravat_payment), slot.slot, slot.name.c_str(), slot.first, slot.second});
  for (const ExtraLine& line : plan.extraLines)
    lines.push_back({sizeof(tauravat_line), line.code, line.text.c_str()});
  sale = {sizeof sale,
          items.empty() ? nullptr : items.data(),
          items.size(),
          plan.discount,
          payments.empty() ? nullptr : payments.data(),
          payments.size(),
          lines.empty() ? nullptr : lines.data(),
          lines.size()};
}

int32_t CheckPlan(const tauravat_model_info& model, const tauravat_rates* rates,
                  const ReceiptPlan& plan, tauravat_problem& problem) {
  const PlanSale sale(plan);
  const int32_t code = tauravat_check_sale(&model, rates, &sale.sale, &problem);
  if (code != TAURAVAT_OK) NameAsFile(problem);
  return code;
}

void NameAsFile(tauravat_problem& problem) {
  SetField(problem, FileField(problem.field));
}

std::string ProblemPlace(const tauravat_problem& problem) {
  std::string place = problem.field;
  if (problem.offset >= 0) {
    char codePoint[16];
    std::snprintf(codePoint, sizeof codePoint, "U+%04X", problem.code_point);
    place += " at character " + std::to_string(problem.offset) + " (" + codePoint + ")";
  }
  return place;
}

bool ModelNamed(const std::string& name, tauravat_model_info& model) {
  for (int32_t type = 0; type <= 11; ++type) {
    tauravat_model_info candidate{};
    candidate.size = sizeof candidate;
    if (tauravat_model_by_type(type, &candidate) == TAURAVAT_OK && name == candidate.short_name) {
      model = candidate;
      return true;
    }
  }
  return false;
}

std::string ModelNames() {
  std::string names;
  for (int32_t type = 0; type <= 11; ++type) {
    tauravat_model_info model{};
    model.size = sizeof model;
    if (tauravat_model_by_type(type, &model) != TAURAVAT_OK) continue;
    names += (names.empty() ? "" : ", ") + std::string(model.short_name);
  }
  return names;
}

}  // namespace tauravat::cli
