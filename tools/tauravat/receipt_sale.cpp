#include "receipt_sale.hpp"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <variant>

namespace tauravat::cli {
namespace {

// The driver names a sale's parts by their place in the sale; the file by its own.
std::string FileField(const PlanSale& sale, const std::string& field) {
  constexpr std::string_view kItems = "items[";
  if (field.starts_with(kItems)) {
    size_t index = 0;
    const char* digits = field.data() + kItems.size();
    const auto [end, error] = std::from_chars(digits, field.data() + field.size(), index);
    if (error == std::errc() && index < sale.itemLines.size())
      return "items[" + std::to_string(sale.itemLines[index]) + field.substr(end - field.data());
  }
  if (field.starts_with("lines")) return "extra_" + field;
  if (field == "discount_percent") return "discount";
  return field;
}

void SetField(tauravat_problem& problem, const std::string& field) {
  std::memset(problem.field, 0, sizeof problem.field);
  std::memcpy(problem.field, field.data(), std::min(field.size(), sizeof problem.field - 1));
}

}  // namespace

PlanSale::PlanSale(const ReceiptPlan& plan) {
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    const auto* item = std::get_if<ItemLine>(&plan.lines[i]);
    if (item == nullptr) continue;
    items.push_back({sizeof(tauravat_item),
                     item->cancel ? TAURAVAT_ITEM_CANCEL : TAURAVAT_ITEM_SALE, item->name.c_str(),
                     item->rate, item->message, item->quantity, item->decimals,
                     item->unit.empty() ? nullptr : item->unit.c_str(), item->price, item->value});
    itemLines.push_back(i);
  }
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

bool IsWholeSale(const ReceiptPlan& plan) {
  return std::all_of(plan.lines.begin(), plan.lines.end(), [](const ReceiptLine& line) {
    return std::holds_alternative<ItemLine>(line);
  });
}

int32_t CheckPlan(const tauravat_model_info& model, const tauravat_rates* rates,
                  const ReceiptPlan& plan, tauravat_problem& problem) {
  const PlanSale sale(plan);
  const int32_t code = tauravat_check_sale(&model, rates, &sale.sale, &problem);
  if (code != TAURAVAT_OK) {
    SetField(problem, FileField(sale, problem.field));
    return code;
  }
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    const ReceiptLine& line = plan.lines[i];
    if (std::holds_alternative<ItemLine>(line)) continue;
    const uint32_t needed = std::holds_alternative<PackageLine>(line) ? TAURAVAT_FEATURE_PACKAGES
                                                                      : TAURAVAT_FEATURE_SUBTOTAL;
    if ((model.features & needed) == 0) {
      problem.code = TAURAVAT_E_COMMAND_UNAVAILABLE;
      problem.rule = TAURAVAT_RULE_NOT_ALLOWED;
      SetField(problem, "items[" + std::to_string(i) + "]");
      return problem.code;
    }
  }
  return TAURAVAT_OK;
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
