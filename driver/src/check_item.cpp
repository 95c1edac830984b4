// The rules of an item line and of a whole sale.
#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <utility>

#include "article_name.hpp"
#include "check.hpp"
#include "check_text.hpp"
#include "messages.hpp"
#include "model_info.hpp"
#include "receipt.hpp"

namespace kestradr {
namespace {

constexpr int32_t kHighestMessage = 7;
constexpr int32_t kHighestDecimals = 4;
constexpr size_t kUnitCharacters = 4;
constexpr size_t kPaymentNameCharacters = 13;
constexpr size_t kLineCharacters = 253;  // the code and a line feed fill the printer's 255
constexpr size_t kPaymentSlots = 4;
constexpr size_t kExtraLines = 6;
constexpr int32_t kHighestLineCode = 15;

// Records the problem and returns its code.
int32_t Refuse(Problem& problem, int32_t code, int32_t rule, std::string field, int64_t limit = 0) {
  problem.code = code;
  problem.rule = rule;
  problem.field = std::move(field);
  problem.limit = limit;
  return code;
}

// A value outside low..high: TOO_SMALL or TOO_LARGE with the bound it passed.
bool Outside(int64_t value, int64_t low, int64_t high, Problem& problem, int32_t code,
             std::string field) {
  if (value >= low && value <= high) return false;
  const bool small = value < low;
  Refuse(problem, code, small ? TAURAVAT_RULE_TOO_SMALL : TAURAVAT_RULE_TOO_LARGE, std::move(field),
         small ? low : high);
  return true;
}

// A text of the caller's, printable; NULL is refused unless `optional`. Its printed form in
// `printed`.
int32_t ReadText(const char* text, bool optional, std::string field, PrintedText& printed,
                 Problem& problem) {
  if (text == nullptr) {
    printed = {};
    if (optional) return TAURAVAT_OK;
    return Refuse(problem, TAURAVAT_E_NULL_ARGUMENT, TAURAVAT_RULE_MISSING, std::move(field));
  }
  if (!ReadPrintable(text, printed, problem)) {
    problem.code = TAURAVAT_E_PARAMETER_RANGE;
    problem.field = std::move(field);
    return problem.code;
  }
  return TAURAVAT_OK;
}

int32_t TooLong(const PrintedText& printed, size_t limit, int32_t code, std::string field,
                Problem& problem) {
  if (FitsIn(printed, limit, problem)) return TAURAVAT_OK;
  problem.code = code;
  problem.field = std::move(field);
  return code;
}

// The element `index` of a caller's array whose elements are as large as the first says.
template <class T>
const T& Element(const T* array, size_t index) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(array);
  return *reinterpret_cast<const T*>(bytes + index * array->size);
}

// An element's size: at least this header's, and that of the first (the array's stride).
bool WrongSize(uint32_t size, uint32_t least, uint32_t stride, std::string field,
               Problem& problem) {
  if (size >= least && size == stride) return false;
  Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_SIZE, std::move(field), least);
  return true;
}

std::string Indexed(std::string_view name, size_t index) {
  return std::string(name) + "[" + std::to_string(index) + "]";
}

// The line's value as it goes out: the caller's, or quantity x price.
int64_t ValueOf(const tauravat_item& item) {
  if (item.value != 0) return item.value;
  return LineValue(static_cast<int32_t>(item.quantity), item.decimals,
                   static_cast<int32_t>(item.price));
}

// A package or subtotal line: the model must print it, and a package must carry its
// members. The line itself is the field a model refuses ("items[2]"), or its kind alone.
int32_t CheckExtraLine(const tauravat_model_info& model, const tauravat_item& item,
                       std::string_view prefix, Problem& problem) {
  const std::string at(prefix);
  const bool package = item.kind == TAURAVAT_ITEM_PACKAGE;
  if (package && item.size < kPackageItemSize)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_SIZE, at + "size",
                  kPackageItemSize);
  const std::string line = at.empty() ? "kind" : at.substr(0, at.size() - 1);
  if ((model.features & (package ? TAURAVAT_FEATURE_PACKAGES : TAURAVAT_FEATURE_SUBTOTAL)) == 0)
    return Refuse(problem, TAURAVAT_E_COMMAND_UNAVAILABLE, TAURAVAT_RULE_NOT_ALLOWED, line);
  if (!package) return TAURAVAT_OK;
  if (Outside(item.package_kind, 0, 3, problem, TAURAVAT_E_PACKAGE_KIND_RANGE,
              at + "package_kind") ||
      Outside(item.package_amount, INT32_MIN, INT32_MAX, problem, TAURAVAT_E_PARAMETER_RANGE,
              at + "package_amount"))
    return problem.code;
  return TAURAVAT_OK;
}

int32_t CheckPayments(const tauravat_model_info& model, const tauravat_sale& sale,
                      Problem& problem) {
  if (sale.payment_count == 0) return TAURAVAT_OK;
  if ((model.features & TAURAVAT_FEATURE_PAYMENT_FORMS) == 0)
    return Refuse(problem, TAURAVAT_E_COMMAND_UNAVAILABLE, TAURAVAT_RULE_NOT_ALLOWED, "payments");
  if (sale.payments == nullptr)
    return Refuse(problem, TAURAVAT_E_NULL_ARGUMENT, TAURAVAT_RULE_MISSING, "payments");
  if (sale.payment_count > kPaymentSlots)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_MANY, "payments",
                  kPaymentSlots);
  std::array<bool, kPaymentSlots + 1> taken{};
  for (size_t i = 0; i < sale.payment_count; ++i) {
    const tauravat_payment& payment = Element(sale.payments, i);
    const std::string at = Indexed("payments", i) + ".";
    if (WrongSize(payment.size, kPaymentSize, sale.payments->size, at + "size", problem))
      return problem.code;
    const int64_t slot = payment.slot == 0 ? static_cast<int64_t>(i) + 1 : payment.slot;
    if (Outside(slot, 1, kPaymentSlots, problem, TAURAVAT_E_PARAMETER_RANGE, at + "slot"))
      return problem.code;
    if (taken[static_cast<size_t>(slot)])
      return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_NOT_ALLOWED, at + "slot");
    taken[static_cast<size_t>(slot)] = true;
    PrintedText name;
    if (const int32_t code = ReadText(payment.name, false, at + "name", name, problem)) return code;
    // An empty name is an empty slot: the printer would print nothing of it.
    if (name.text.empty())
      return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_FEW, at + "name", 1);
    if (const int32_t code =
            TooLong(name, kPaymentNameCharacters, TAURAVAT_E_PARAMETER_RANGE, at + "name", problem))
      return code;
    if (Outside(payment.first_amount, 0, kHighestAmount, problem, TAURAVAT_E_PARAMETER_RANGE,
                at + "first_amount") ||
        Outside(payment.second_amount, 0, kHighestAmount, problem, TAURAVAT_E_PARAMETER_RANGE,
                at + "second_amount"))
      return problem.code;
  }
  return TAURAVAT_OK;
}

int32_t CheckLines(const tauravat_sale& sale, Problem& problem) {
  if (sale.line_count == 0) return TAURAVAT_OK;
  if (sale.lines == nullptr)
    return Refuse(problem, TAURAVAT_E_NULL_ARGUMENT, TAURAVAT_RULE_MISSING, "lines");
  if (sale.line_count > kExtraLines)
    return Refuse(problem, TAURAVAT_E_NO_FREE_LINES, TAURAVAT_RULE_TOO_MANY, "lines", kExtraLines);
  for (size_t i = 0; i < sale.line_count; ++i) {
    const tauravat_line& line = Element(sale.lines, i);
    const std::string at = Indexed("lines", i) + ".";
    if (WrongSize(line.size, kLineSize, sale.lines->size, at + "size", problem))
      return problem.code;
    if (Outside(line.code, 0, kHighestLineCode, problem, TAURAVAT_E_PARAMETER_RANGE, at + "code"))
      return problem.code;
    PrintedText text;
    if (const int32_t code = ReadText(line.text, false, at + "text", text, problem)) return code;
    if (const int32_t code =
            TooLong(text, kLineCharacters, TAURAVAT_E_PARAMETER_RANGE, at + "text", problem))
      return code;
  }
  return TAURAVAT_OK;
}

}  // namespace

int32_t CheckRateTable(const tauravat_rates& rates, Problem& problem) {
  if (rates.size < kRatesSize)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_SIZE, "rates.size",
                  kRatesSize);
  if (Outside(rates.count, 0, 7, problem, TAURAVAT_E_PARAMETER_RANGE, "rates.count"))
    return problem.code;
  return TAURAVAT_OK;
}

int32_t CheckItem(const tauravat_model_info& model, const tauravat_rates* rates,
                  const tauravat_item& item, std::string_view prefix, Problem& problem) {
  const std::string at(prefix);
  if (item.size < kItemSize)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_SIZE, at + "size", kItemSize);
  if (item.kind == TAURAVAT_ITEM_PACKAGE || item.kind == TAURAVAT_ITEM_SUBTOTAL)
    return CheckExtraLine(model, item, prefix, problem);
  if (item.kind != TAURAVAT_ITEM_SALE && item.kind != TAURAVAT_ITEM_CANCEL)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_NOT_ALLOWED, at + "kind");
  if (rates != nullptr)
    if (const int32_t code = CheckRateTable(*rates, problem)) return code;
  PrintedText name, unit;
  if (const int32_t code = ReadText(item.name, false, at + "name", name, problem)) return code;
  if (const int32_t code = ReadText(item.unit, true, at + "unit", unit, problem)) return code;

  // Counted on the name as it goes out: cut to its field (padding adds only blanks).
  const auto field = std::string_view(name.text).substr(0, kArticleNameLength);
  const auto significant = std::count_if(field.begin(), field.end(), IsSignificantNameChar);
  if (significant < model.min_name_characters)
    return Refuse(problem, TAURAVAT_E_NAME_TOO_SHORT, TAURAVAT_RULE_TOO_FEW, at + "name",
                  model.min_name_characters);
  if (Outside(item.rate, 1, model.highest_item_rate, problem, TAURAVAT_E_RATE_RANGE, at + "rate") ||
      Outside(item.message, 0, kHighestMessage, problem, TAURAVAT_E_MESSAGE_RANGE,
              at + "message") ||
      Outside(item.quantity, 1, model.highest_quantity, problem, TAURAVAT_E_QUANTITY_RANGE,
              at + "quantity") ||
      Outside(item.decimals, 0, kHighestDecimals, problem, TAURAVAT_E_DECIMALS_RANGE,
              at + "decimals"))
    return problem.code;
  // Cut to its field, a unit would print as another one.
  if (const int32_t code =
          TooLong(unit, kUnitCharacters, TAURAVAT_E_UNIT_RANGE, at + "unit", problem))
    return code;
  if (Outside(item.price, 1, kHighestAmount, problem, TAURAVAT_E_PRICE_RANGE, at + "price"))
    return problem.code;
  // The printer would cancel the whole receipt for a line on a rate it holds reserved.
  if (rates != nullptr && item.rate <= rates->count &&
      rates->values[item.rate - 1] == TAURAVAT_RATE_RESERVED)
    return Refuse(problem, TAURAVAT_E_RATE_UNDEFINED, TAURAVAT_RULE_RESERVED, at + "rate");
  if (item.value < 0)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_SMALL, at + "value", 0);
  // A line worth nothing is a quantity too small to carry its price.
  const int64_t value = ValueOf(item);
  if (value == 0)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_SMALL, at + "value", 1);
  if (value > kHighestAmount)
    return Refuse(problem, TAURAVAT_E_LINE_VALUE_TOO_LARGE, TAURAVAT_RULE_TOO_LARGE, at + "value",
                  kHighestAmount);
  return TAURAVAT_OK;
}

int32_t CheckSale(const tauravat_model_info& model, const tauravat_rates* rates,
                  const tauravat_sale& sale, Problem& problem) {
  if (sale.size < kSaleSize)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_SIZE, "size", kSaleSize);
  if (sale.item_count == 0)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_FEW, "items", 1);
  if (sale.items == nullptr)
    return Refuse(problem, TAURAVAT_E_NULL_ARGUMENT, TAURAVAT_RULE_MISSING, "items");
  // What each rate holds as the lines go: a cancel line takes back from its rate.
  std::array<int64_t, 7> held{};
  bool articles = false;
  for (size_t i = 0; i < sale.item_count; ++i) {
    const tauravat_item& item = Element(sale.items, i);
    const std::string at = Indexed("items", i) + ".";
    if (WrongSize(item.size, kItemSize, sale.items->size, at + "size", problem))
      return problem.code;
    if (const int32_t code = CheckItem(model, rates, item, at, problem)) return code;
    if (item.kind == TAURAVAT_ITEM_PACKAGE || item.kind == TAURAVAT_ITEM_SUBTOTAL) continue;
    articles = true;
    int64_t& rate = held[static_cast<size_t>(item.rate - 1)];
    const int64_t value = ValueOf(item);
    if (item.kind == TAURAVAT_ITEM_CANCEL && value > rate)
      return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_LARGE, at + "value",
                    rate);
    rate += item.kind == TAURAVAT_ITEM_SALE ? value : -value;
  }
  // The printer drops a receipt without an article line, and what else it held with it.
  if (!articles)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_FEW, "items", 1);
  if (Outside(sale.discount_percent, 0, 99, problem, TAURAVAT_E_PARAMETER_RANGE,
              "discount_percent"))
    return problem.code;
  if (const int32_t code = CheckPayments(model, sale, problem)) return code;
  if (const int32_t code = CheckLines(sale, problem)) return code;
  int64_t total = 0;
  for (const int64_t rate : held) total += rate;
  if (total > kHighestAmount)
    return Refuse(problem, TAURAVAT_E_PARAMETER_RANGE, TAURAVAT_RULE_TOO_LARGE, "total",
                  kHighestAmount);
  return TAURAVAT_OK;
}

}  // namespace kestradr
