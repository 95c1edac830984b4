#include "receipt_plan.hpp"

#include <algorithm>
#include <cstdio>
#include <initializer_list>

#include <nlohmann/json.hpp>

#include "tauravat.h"

namespace tauravat::cli {
namespace {

using nlohmann::json;

struct PlanError {
  std::string text;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw PlanError{where + ": " + what};
}

void OnlyKeys(const json& object, const std::string& where,
              std::initializer_list<std::string_view> allowed) {
  if (!object.is_object()) Fail(where, "expected an object");
  for (const auto& [key, value] : object.items()) {
    if (std::find(allowed.begin(), allowed.end(), key) == allowed.end()) {
      Fail(where, "unknown field \"" + key + "\"");
    }
  }
}

int64_t Integer(const json& object, const std::string& key, const std::string& where, int64_t min,
                int64_t max, std::optional<int64_t> fallback) {
  const std::string place = where + "." + key;
  if (!object.contains(key)) {
    if (!fallback) Fail(place, "missing");
    return *fallback;
  }
  const json& value = object.at(key);
  if (!value.is_number_integer()) Fail(place, "expected a whole number");
  const int64_t n = value.is_number_unsigned()
                        ? static_cast<int64_t>(std::min<uint64_t>(value.get<uint64_t>(), INT64_MAX))
                        : value.get<int64_t>();
  if (n < min || n > max) {
    Fail(place,
         std::to_string(n) + " is outside " + std::to_string(min) + ".." + std::to_string(max));
  }
  return n;
}

// A text of the file, UTF-8 as JSON is. What the printer can print of it is the driver's
// check to say (tauravat_check_sale).
std::string Text(const json& object, const std::string& key, const std::string& where,
                 bool required) {
  const std::string place = where + "." + key;
  if (!object.contains(key)) {
    if (required) Fail(place, "missing");
    return {};
  }
  if (!object.at(key).is_string()) Fail(place, "expected a string");
  return object.at(key).get<std::string>();
}

// A whole number the driver bounds; one beyond 32 bits stays beyond its bounds.
int32_t Clamped(int64_t n) {
  return static_cast<int32_t>(std::clamp<int64_t>(n, INT32_MIN, INT32_MAX));
}

int64_t AnyInteger(const json& object, const std::string& key, const std::string& where,
                   std::optional<int64_t> fallback) {
  return Integer(object, key, where, INT64_MIN, INT64_MAX, fallback);
}

// Money: a whole number is grosz (the files written before decimal strings), a string is
// złoty with at most two places ("12.50", "12.5", "12"), as the service and Python take it.
int64_t Money(const json& object, const std::string& key, const std::string& where,
              std::optional<int64_t> fallback) {
  if (!object.contains(key) || !object.at(key).is_string()) {
    return AnyInteger(object, key, where, fallback);
  }
  const std::string place = where + "." + key;
  const std::string text = object.at(key).get<std::string>();
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  const auto digits = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || !digits(whole) || !digits(fraction) || fraction.size() > 2 ||
      (point != std::string::npos && fraction.empty())) {
    Fail(place, "\"" + text + "\" is not an amount in złoty (\"12.50\") nor grosz (1250)");
  }
  std::string grosz = whole + (fraction + "00").substr(0, 2);
  grosz.erase(0, std::min(grosz.find_first_not_of('0'), grosz.size() - 1));
  if (grosz.size() > 18) Fail(place, "\"" + text + "\" has too many digits");
  return std::stoll(grosz);
}

int32_t Rate(const json& item, const std::string& where) {
  const std::string place = where + ".rate";
  if (!item.contains("rate")) Fail(place, "missing");
  const json& rate = item.at("rate");
  if (rate.is_string()) {
    const std::string letter = rate.get<std::string>();
    if (letter.size() == 1 && letter[0] >= 'A' && letter[0] <= 'G') return letter[0] - 'A' + 1;
    if (letter.size() == 1 && letter[0] >= 'a' && letter[0] <= 'g') return letter[0] - 'a' + 1;
  } else if (rate.is_number_integer()) {
    return Clamped(AnyInteger(item, "rate", where, std::nullopt));
  }
  Fail(place, "expected a letter A..G or a number");
}

// "1.500" -> 1500 with 3 places; 2 -> 2 with none; 0.35 -> 35 with 2.
void Quantity(const json& item, const std::string& where, ItemLine& line) {
  const std::string place = where + ".quantity";
  if (!item.contains("quantity")) Fail(place, "missing");
  const json& value = item.at("quantity");
  std::string text;
  if (value.is_number_integer()) {
    text = std::to_string(value.get<int64_t>());
  } else if (value.is_number_float()) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.4f", value.get<double>());
    text = buffer;
    while (text.back() == '0') text.pop_back();
    if (text.back() == '.') text.pop_back();
  } else if (value.is_string()) {
    text = value.get<std::string>();
  } else {
    Fail(place, "expected a number");
  }
  const size_t point = text.find('.');
  const std::string whole = text.substr(0, point);
  const std::string fraction = point == std::string::npos ? "" : text.substr(point + 1);
  const auto digits = [](const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (whole.empty() || !digits(whole) || !digits(fraction) ||
      (point != std::string::npos && fraction.empty())) {
    Fail(place, "\"" + text + "\" is not a positive decimal number");
  }
  std::string all = whole + fraction;
  all.erase(0, std::min(all.find_first_not_of('0'), all.size() - 1));
  if (all.size() > 18) Fail(place, "\"" + text + "\" has too many digits");
  line.quantity = std::stoll(all);
  line.decimals = static_cast<int32_t>(std::min<size_t>(fraction.size(), INT32_MAX));
}

ItemLine Item(const json& item, const std::string& where) {
  OnlyKeys(item, where,
           {"name", "rate", "quantity", "price", "unit", "value", "cancel", "message"});
  ItemLine line;
  line.name = Text(item, "name", where, true);
  line.rate = Rate(item, where);
  Quantity(item, where, line);
  line.price = Money(item, "price", where, std::nullopt);
  line.unit = Text(item, "unit", where, false);
  line.message = Clamped(AnyInteger(item, "message", where, 0));
  if (item.contains("cancel") && !item.at("cancel").is_boolean()) {
    Fail(where + ".cancel", "expected true or false");
  }
  line.cancel = item.value("cancel", false);
  line.value = Money(item, "value", where, 0);
  return line;
}

PackageLine Package(const json& item, const std::string& where) {
  OnlyKeys(item, where, {"package", "first", "second", "amount"});
  PackageLine line;
  const json& kind = item.at("package");
  static constexpr std::string_view kKinds[] = {"S", "Z", "-S", "-Z"};
  bool known = false;
  if (kind.is_string()) {
    std::string text = kind.get<std::string>();
    if (text.size() == 2 && text[0] == ' ') text.erase(0, 1);
    for (int32_t k = 0; k < 4; ++k) {
      if (text == kKinds[k]) {
        line.kind = k;
        known = true;
      }
    }
  } else if (kind.is_number_integer() && kind.get<int64_t>() >= 0 && kind.get<int64_t>() <= 3) {
    line.kind = static_cast<int32_t>(kind.get<int64_t>());
    known = true;
  }
  if (!known) Fail(where + ".package", "expected \"S\", \"Z\", \"-S\", \"-Z\" or 0..3");
  line.first = static_cast<uint16_t>(Integer(item, "first", where, 0, 65535, 0));
  line.second = static_cast<uint16_t>(Integer(item, "second", where, 0, 65535, 0));
  line.amount =
      static_cast<int32_t>(Integer(item, "amount", where, INT32_MIN, INT32_MAX, std::nullopt));
  return line;
}

ReceiptLine Line(const json& item, const std::string& where) {
  if (!item.is_object()) Fail(where, "expected an object");
  if (item.contains("package")) return Package(item, where);
  if (item.contains("subtotal")) {
    OnlyKeys(item, where, {"subtotal"});
    if (item.at("subtotal") != true) Fail(where + ".subtotal", "expected true");
    return SubtotalLine{};
  }
  return Item(item, where);
}

const json& Array(const json& root, const std::string& key, size_t max, bool required) {
  static const json kEmpty = json::array();
  if (!root.contains(key)) {
    if (required) Fail(key, "missing");
    return kEmpty;
  }
  const json& array = root.at(key);
  if (!array.is_array()) Fail(key, "expected an array");
  if (required && array.empty()) Fail(key, "empty");
  if (array.size() > max) Fail(key, "at most " + std::to_string(max) + " entries");
  return array;
}

ReceiptPlan Plan(const json& root) {
  OnlyKeys(root, "receipt", {"items", "discount", "payments", "extra_lines"});
  ReceiptPlan plan;
  const json& items = Array(root, "items", 10000, true);
  for (size_t i = 0; i < items.size(); ++i) {
    plan.lines.push_back(Line(items[i], "items[" + std::to_string(i) + "]"));
  }
  if (std::none_of(plan.lines.begin(), plan.lines.end(),
                   [](const ReceiptLine& l) { return std::holds_alternative<ItemLine>(l); })) {
    Fail("items", "no article line");
  }
  plan.discount = Clamped(AnyInteger(root, "discount", "receipt", 0));

  const json& payments = Array(root, "payments", SIZE_MAX, false);
  for (size_t i = 0; i < payments.size(); ++i) {
    const std::string where = "payments[" + std::to_string(i) + "]";
    OnlyKeys(payments[i], where, {"slot", "name", "first", "second"});
    PaymentSlot slot;
    slot.slot = Clamped(AnyInteger(payments[i], "slot", where, static_cast<int64_t>(i + 1)));
    slot.name = Text(payments[i], "name", where, true);
    slot.first = Money(payments[i], "first", where, std::nullopt);
    slot.second = Money(payments[i], "second", where, 0);
    plan.payments.push_back(slot);
  }

  const json& lines = Array(root, "extra_lines", SIZE_MAX, false);
  for (size_t i = 0; i < lines.size(); ++i) {
    const std::string where = "extra_lines[" + std::to_string(i) + "]";
    OnlyKeys(lines[i], where, {"code", "text"});
    ExtraLine line;
    line.code = Clamped(AnyInteger(lines[i], "code", where, 0));
    line.text = Text(lines[i], "text", where, true);
    plan.extraLines.push_back(line);
  }
  return plan;
}

}  // namespace

std::optional<ReceiptPlan> ParseReceiptPlan(std::string_view text, std::string& error) {
  json root;
  try {
    root = json::parse(text);
  } catch (const json::parse_error& e) {
    error = std::string("not valid JSON: ") + e.what();
    return std::nullopt;
  }
  try {
    return Plan(root);
  } catch (const PlanError& e) {
    error = e.text;
  } catch (const json::exception& e) {
    error = e.what();
  }
  return std::nullopt;
}

}  // namespace tauravat::cli
