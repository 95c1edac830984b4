// The checks of items, sales and tax-rate tables, and the model descriptions they read,
// through the public header alone: each case names the code, the field, the offset and the
// character it expects.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "kestra/emu/models.hpp"
#include "sale_item.hpp"
#include "tauravat.h"

namespace {

constexpr uint32_t R = TAURAVAT_RATE_RESERVED;
constexpr uint32_t Z = TAURAVAT_RATE_EXEMPT;
constexpr int32_t kLuno = 7, kRx820a4 = 0, kRx820a6 = 1;

tauravat_model_info Model(int32_t type) {
  tauravat_model_info info{};
  info.size = sizeof info;
  EXPECT_EQ(tauravat_model_by_type(type, &info), TAURAVAT_OK) << type;
  return info;
}

tauravat_rates Rates(std::vector<uint32_t> values) {
  tauravat_rates rates{sizeof rates, static_cast<int32_t>(values.size()), {}};
  std::copy(values.begin(), values.end(), rates.values);
  return rates;
}

tauravat_item Bread() {
  tauravat_item bread = SaleItem("Chleb razowy", 450);
  bread.unit = "szt";
  return bread;
}

// A returned crate: " Z", 2 of 50, 12.00.
tauravat_item Package() {
  tauravat_item package{};
  package.size = sizeof package;
  package.kind = TAURAVAT_ITEM_PACKAGE;
  package.package_kind = 1;
  package.package_first_value = 2;
  package.package_second_value = 50;
  package.package_amount = 1200;
  return package;
}

// The item as the first headers had it, without the package members.
constexpr uint32_t kFirstItemSize = offsetof(tauravat_item, package_kind);

tauravat_item Subtotal(uint32_t size = sizeof(tauravat_item)) {
  tauravat_item subtotal{};
  subtotal.size = size;
  subtotal.kind = TAURAVAT_ITEM_SUBTOTAL;
  return subtotal;
}

// What a check found, in a form a failed expectation prints whole.
struct Found {
  int32_t code = 0;
  std::string field;
  int32_t offset = -1;
  uint32_t codePoint = 0;
  int32_t rule = TAURAVAT_RULE_NONE;
  int64_t limit = 0;
  bool operator==(const Found&) const = default;
};
void PrintTo(const Found& f, std::ostream* out) {
  *out << "{" << f.code << ", \"" << f.field << "\", " << f.offset << ", U+" << std::hex
       << f.codePoint << std::dec << ", rule " << f.rule << ", limit " << f.limit << "}";
}

template <class Check, class... Arguments>
Found Checked(Check check, Arguments... arguments) {
  tauravat_problem problem{};
  std::memset(&problem, 0x5A, sizeof problem);
  problem.size = sizeof problem;
  const int32_t code = check(arguments..., &problem);
  EXPECT_EQ(code, problem.code);
  return {code, problem.field, problem.offset, problem.code_point, problem.rule, problem.limit};
}

const Found kFine{};

// A problem outside any text: no offset, no character.
Found At(const char* field, int32_t rule, int64_t limit = 0,
         int32_t code = TAURAVAT_E_PARAMETER_RANGE) {
  return {code, field, -1, 0, rule, limit};
}

constexpr int32_t kTooSmall = TAURAVAT_RULE_TOO_SMALL, kTooLarge = TAURAVAT_RULE_TOO_LARGE,
                  kTooFew = TAURAVAT_RULE_TOO_FEW, kTooMany = TAURAVAT_RULE_TOO_MANY,
                  kNotAllowed = TAURAVAT_RULE_NOT_ALLOWED, kOrder = TAURAVAT_RULE_ORDER;

struct ItemCase {
  const char* what;
  void (*change)(tauravat_item&);
  Found expected;
  int32_t type = kLuno;
};

TEST(CheckItem, EachRuleNamesItsFieldAndTheCharacter) {
  // clang-format off
  const ItemCase cases[] = {
      {"fine", [](tauravat_item&) {}, kFine},
      {"typographic forms print plain",
       [](tauravat_item& i) { i.name = "„Chleb” – razowy…"; }, kFine},
      {"euro", [](tauravat_item& i) { i.name = "Chleb € razowy"; },
       {TAURAVAT_E_PARAMETER_RANGE, "name", 6, 0x20AC, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"beyond the printed 28",
       [](tauravat_item& i) { i.name = "Chleb razowy krojony pakowany €"; },
       {TAURAVAT_E_PARAMETER_RANGE, "name", 30, 0x20AC, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"enye", [](tauravat_item& i) { i.name = "Sok Señor"; },
       {TAURAVAT_E_PARAMETER_RANGE, "name", 6, 0xF1, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"control", [](tauravat_item& i) { i.name = "Chleb\trazowy"; },
       {TAURAVAT_E_PARAMETER_RANGE, "name", 5, 0x09, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"not UTF-8", [](tauravat_item& i) { i.name = "Żurek \xC5"; },
       {TAURAVAT_E_PARAMETER_RANGE, "name", 6, 0, TAURAVAT_RULE_NOT_UTF8}},
      {"no name", [](tauravat_item& i) { i.name = nullptr; },
       At("name", TAURAVAT_RULE_MISSING, 0, TAURAVAT_E_NULL_ARGUMENT)},
      {"unit unprintable", [](tauravat_item& i) { i.unit = "m²"; },
       {TAURAVAT_E_PARAMETER_RANGE, "unit", 1, 0xB2, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"kind", [](tauravat_item& i) { i.kind = 4; },
       At("kind", kNotAllowed)},
      {"size", [](tauravat_item& i) { i.size = kFirstItemSize - 8; },
       At("size", TAURAVAT_RULE_SIZE, kFirstItemSize)},
      {"the first header's size", [](tauravat_item& i) { i.size = kFirstItemSize; }, kFine},
      {"a package", [](tauravat_item& i) { i = Package(); }, kFine},
      {"a package needs its members",
       [](tauravat_item& i) { i = Package(); i.size = kFirstItemSize; },
       At("size", TAURAVAT_RULE_SIZE, sizeof(tauravat_item))},
      {"no packages on the RX820", [](tauravat_item& i) { i = Package(); },
       At("kind", kNotAllowed, 0, TAURAVAT_E_COMMAND_UNAVAILABLE), kRx820a4},
      {"package kind 4", [](tauravat_item& i) { i = Package(); i.package_kind = 4; },
       At("package_kind", kTooLarge, 3, TAURAVAT_E_PACKAGE_KIND_RANGE)},
      {"package amount beyond 32 bits",
       [](tauravat_item& i) { i = Package(); i.package_amount = int64_t{1} << 31; },
       At("package_amount", kTooLarge, INT32_MAX)},
      {"a subtotal reads nothing else",
       [](tauravat_item& i) { i = Subtotal(kFirstItemSize); }, kFine},
      {"no subtotal on the RX820",
       [](tauravat_item& i) { i = Subtotal(kFirstItemSize); },
       At("kind", kNotAllowed, 0, TAURAVAT_E_COMMAND_UNAVAILABLE), kRx820a4},
      {"too few letters", [](tauravat_item& i) { i.name = "A-B-C 1"; },
       At("name", kTooFew, 5, TAURAVAT_E_NAME_TOO_SHORT)},
      {"ten on the RX820", [](tauravat_item& i) { i.name = "Chleb raz"; },
       At("name", kTooFew, 10, TAURAVAT_E_NAME_TOO_SHORT), kRx820a4},
      {"rate E is the last of the RX820A", [](tauravat_item& i) { i.rate = 6; },
       At("rate", kTooLarge, 5, TAURAVAT_E_RATE_RANGE), kRx820a4},
      {"rate 0", [](tauravat_item& i) { i.rate = 0; },
       At("rate", kTooSmall, 1, TAURAVAT_E_RATE_RANGE)},
      {"message 8", [](tauravat_item& i) { i.message = 8; },
       At("message", kTooLarge, 7, TAURAVAT_E_MESSAGE_RANGE)},
      {"message 9", [](tauravat_item& i) { i.message = 9; },
       At("message", kTooLarge, 7, TAURAVAT_E_MESSAGE_RANGE)},
      {"seven digits on the LUNO",
       [](tauravat_item& i) { i.quantity = 9'999'999; i.price = 100; }, kFine},
      {"six on the RX820", [](tauravat_item& i) { i.quantity = 1'000'000; },
       At("quantity", kTooLarge, 999'999, TAURAVAT_E_QUANTITY_RANGE), kRx820a6},
      {"decimals", [](tauravat_item& i) { i.decimals = 5; },
       At("decimals", kTooLarge, 4, TAURAVAT_E_DECIMALS_RANGE)},
      {"5-letter unit", [](tauravat_item& i) { i.unit = "sztuk"; },
       {TAURAVAT_E_UNIT_RANGE, "unit", 4, 'k', TAURAVAT_RULE_TOO_LONG, 4}},
      {"unit as printed", [](tauravat_item& i) { i.unit = "kg…"; },
       {TAURAVAT_E_UNIT_RANGE, "unit", 2, 0x2026, TAURAVAT_RULE_TOO_LONG, 4}},
      {"price over the limit", [](tauravat_item& i) { i.price = 1'000'000'000; },
       At("price", kTooLarge, 999'999'999, TAURAVAT_E_PRICE_RANGE)},
      {"line value", [](tauravat_item& i) { i.quantity = 2000; i.price = 999'999; },
       At("value", kTooLarge, 999'999'999, TAURAVAT_E_LINE_VALUE_TOO_LARGE)},
      {"worth nothing", [](tauravat_item& i) { i.quantity = 1; i.decimals = 3; i.price = 1; },
       At("value", kTooSmall, 1)},
      {"negative value", [](tauravat_item& i) { i.value = -1; },
       At("value", kTooSmall)},
  };
  // clang-format on
  for (const ItemCase& c : cases) {
    SCOPED_TRACE(c.what);
    tauravat_item item = Bread();
    c.change(item);
    const tauravat_model_info model = Model(c.type);
    EXPECT_EQ(Checked(tauravat_check_item, &model, nullptr, &item), c.expected);
  }
}

TEST(CheckItem, WithTheRateTableAReservedRateIsRefusedAndAnUncarriedOneIsNot) {
  const tauravat_model_info luno = Model(kLuno);
  const tauravat_rates rates = Rates({2300, 800, 500, 0, Z, R, R});
  tauravat_item item = Bread();
  item.rate = 6;
  EXPECT_EQ(Checked(tauravat_check_item, &luno, nullptr, &item), kFine) << "no table: model only";
  EXPECT_EQ(Checked(tauravat_check_item, &luno, &rates, &item),
            At("rate", TAURAVAT_RULE_RESERVED, 0, TAURAVAT_E_RATE_UNDEFINED));
  const tauravat_model_info six = Model(kRx820a6);
  const tauravat_rates sixRates = Rates({2300, 800, 500, 0, R, R});
  item.rate = 7;  // G: not in a 6-rate table, the exempt rate of those printers
  EXPECT_EQ(Checked(tauravat_check_item, &six, &sixRates, &item), kFine);
  tauravat_rates broken = rates;
  broken.count = 8;
  EXPECT_EQ(Checked(tauravat_check_item, &luno, &broken, &item), At("rates.count", kTooLarge, 7));
}

struct RatesCase {
  const char* what;
  int32_t type;
  std::vector<uint32_t> rates;
  Found expected;
};

TEST(CheckRates, RangesMarkersOrderAndWholePercentsAsTheModelTakesThem) {
  // clang-format off
  const RatesCase cases[] = {
      {"the LUNO's own", kLuno, {2300, 800, 500, 0, Z, R, R}, kFine},
      {"hundredths, any order", kLuno, {550, 2350, 0, Z, Z, R, 9983}, kFine},
      {"above 99.83 %", kLuno, {2300, 9984, 0, R, R, R, R},
       At("rates[1]", kTooLarge, 9983)},
      {"a partial table", kLuno, {2300, 800, 500, 0}, At("rates.count", kTooFew, 7)},
      {"the proposal", kRx820a6, {2200, 700, 0, R, R, R, Z}, kFine},
      {"growing", kRx820a6, {700, 2200, 0, R, R, R, Z}, At("rates[1]", kOrder, 700)},
      {"F is ordered too", kRx820a6, {2200, 700, 0, R, R, 500, Z}, At("rates[5]", kOrder, 0)},
      {"markers left out", kRx820a6, {2200, R, 2300, R, R, R, Z}, At("rates[2]", kOrder, 2200)},
      {"no exempt in A..F", kRx820a6, {Z, 700, 0, R, R, R, Z}, At("rates[0]", kNotAllowed)},
      {"G is not kept", kRx820a6, {2200, 700, 0, R, R, R, 99999}, kFine},
      {"equal rates", 5, {2300, 2300, 800, 500, 0, 0, Z}, kFine},
      {"half a percent", kRx820a4, {2300, 750, 0, R},
       At("rates[1]", TAURAVAT_RULE_WHOLE_PERCENT, 100)},
      {"the order first", kRx820a4, {700, 2250, 0, R}, At("rates[1]", kOrder, 700)},
      {"A..D only", kRx820a4, {2200, 700, 0, 0, 2300, 77, 99999}, kFine},
      {"no exempt on 4 rates", 4, {2200, Z, 0, R}, At("rates[1]", kNotAllowed)},
      {"no order on the TAURA II", 3, {0, 500, 2300, 850, Z, R, R}, kFine},
  };
  // clang-format on
  for (const RatesCase& c : cases) {
    SCOPED_TRACE(c.what);
    const tauravat_model_info model = Model(c.type);
    const tauravat_rates rates = Rates(c.rates);
    EXPECT_EQ(Checked(tauravat_check_rates, &model, &rates), c.expected);
  }
}

// A sale: three items, two payment forms, two extra lines, on a LUNO.
struct Sale {
  std::vector<tauravat_item> items{Bread(), Bread(), Bread()};
  std::vector<tauravat_payment> payments{{sizeof(tauravat_payment), 0, "Gotówka", 1000, 0},
                                         {sizeof(tauravat_payment), 0, "Karta", 350, 0}};
  std::vector<tauravat_line> lines{{sizeof(tauravat_line), 0, "Dziękujemy"},
                                   {sizeof(tauravat_line), 1, "Zapraszamy ponownie"}};
  int32_t discount = 0;
  tauravat_sale Struct() {
    return {sizeof(tauravat_sale),
            items.data(),
            items.size(),
            discount,
            payments.empty() ? nullptr : payments.data(),
            payments.size(),
            lines.empty() ? nullptr : lines.data(),
            lines.size()};
  }
};

struct SaleCase {
  const char* what;
  void (*change)(Sale&);
  Found expected;
  int32_t type = kLuno;
};

TEST(CheckSale, ItemsPaymentsLinesAndTheTotalEachNamedByItsPlace) {
  using F = Found;
  // clang-format off
  const SaleCase cases[] = {
      {"fine", [](Sale&) {}, kFine},
      {"a cancel line", [](Sale& s) { s.items[2].kind = TAURAVAT_ITEM_CANCEL; }, kFine},
      {"an item's unit", [](Sale& s) { s.items[2].unit = "sztuk"; },
       F{TAURAVAT_E_UNIT_RANGE, "items[2].unit", 4, 'k', TAURAVAT_RULE_TOO_LONG, 4}},
      {"reserved rate", [](Sale& s) { s.items[1].rate = 7; },
       At("items[1].rate", TAURAVAT_RULE_RESERVED, 0, TAURAVAT_E_RATE_UNDEFINED)},
      {"cancelling more than sold",
       [](Sale& s) { s.items[1].kind = TAURAVAT_ITEM_CANCEL; s.items[1].price = 451; },
       At("items[1].value", kTooLarge, 450)},
      {"no items", [](Sale& s) { s.items.clear(); }, At("items", kTooFew, 1)},
      {"items of two sizes", [](Sale& s) { s.items[1].size += 8; },
       At("items[1].size", TAURAVAT_RULE_SIZE, kFirstItemSize)},
      {"packages and a subtotal",
       [](Sale& s) {
         s.items.insert(s.items.begin() + 1, Package());
         s.items.push_back(Subtotal());
       }, kFine},
      {"no packages on the RX820",
       [](Sale& s) { s.payments.clear(); s.items.insert(s.items.begin() + 1, Package()); },
       At("items[1]", kNotAllowed, 0, TAURAVAT_E_COMMAND_UNAVAILABLE), kRx820a4},
      {"no article line",
       [](Sale& s) { s.items = {Package(), Subtotal()}; },
       At("items", kTooFew, 1)},
      {"discount", [](Sale& s) { s.discount = 100; }, At("discount_percent", kTooLarge, 99)},
      {"no payment forms on the RX820", [](Sale&) {},
       At("payments", kNotAllowed, 0, TAURAVAT_E_COMMAND_UNAVAILABLE), kRx820a4},
      {"five payments", [](Sale& s) { s.payments.resize(5, s.payments[1]); },
       At("payments", kTooMany, 4)},
      {"a slot twice", [](Sale& s) { s.payments[1].slot = 1; },
       At("payments[1].slot", kNotAllowed)},
      {"slot 5", [](Sale& s) { s.payments[0].slot = 5; }, At("payments[0].slot", kTooLarge, 4)},
      {"14 characters", [](Sale& s) { s.payments[1].name = "Karta kredytow"; },
       F{TAURAVAT_E_PARAMETER_RANGE, "payments[1].name", 13, 'w', TAURAVAT_RULE_TOO_LONG, 13}},
      {"empty name", [](Sale& s) { s.payments[0].name = ""; }, At("payments[0].name", kTooFew, 1)},
      {"negative amount", [](Sale& s) { s.payments[0].second_amount = -1; },
       At("payments[0].second_amount", kTooSmall, 0)},
      {"seven lines", [](Sale& s) { s.lines.resize(7, s.lines[0]); },
       At("lines", kTooMany, 6, TAURAVAT_E_NO_FREE_LINES)},
      {"line code 16", [](Sale& s) { s.lines[1].code = 16; }, At("lines[1].code", kTooLarge, 15)},
      {"euro in a line", [](Sale& s) { s.lines[0].text = "Razem 5 €"; },
       F{TAURAVAT_E_PARAMETER_RANGE, "lines[0].text", 8, 0x20AC, TAURAVAT_RULE_NOT_PRINTABLE}},
      {"no line text", [](Sale& s) { s.lines[0].text = nullptr; },
       At("lines[0].text", TAURAVAT_RULE_MISSING, 0, TAURAVAT_E_NULL_ARGUMENT)},
      {"the total", [](Sale& s) { for (auto& i : s.items) i.price = 400'000'000; },
       At("total", kTooLarge, 999'999'999)},
  };
  // clang-format on
  const tauravat_rates rates = Rates({2300, 800, 500, 0, Z, R, R});
  for (const SaleCase& c : cases) {
    SCOPED_TRACE(c.what);
    Sale sale;
    c.change(sale);
    const tauravat_sale whole = sale.Struct();
    const tauravat_model_info model = Model(c.type);
    EXPECT_EQ(Checked(tauravat_check_sale, &model, &rates, &whole), c.expected);
  }
}

TEST(Models, EveryTypeDescribedWithTheEmulatorsNamesAndFeaturesFromTheTable) {
  for (int32_t type = 0; type <= 11; ++type) {
    SCOPED_TRACE(type);
    const tauravat_model_info info = Model(type);
    EXPECT_EQ(info.type, type);
    EXPECT_EQ(std::string(info.short_name), kestra::emu::ModelShortName(type));
    EXPECT_EQ(info.fiscal, type == 11 ? 0 : 1);
    EXPECT_EQ(info.rates_editable, (1u << info.rate_count) - 1);
    EXPECT_EQ(info.rates_ordered != 0, info.rate_count < 7) << "the older formats are ordered";
    EXPECT_EQ(info.whole_percent_rates != 0, info.rate_count == 4);
    EXPECT_EQ(info.highest_rate, 9983u);
  }
  EXPECT_EQ(std::string(Model(11).name), "INNE URZĄDZENIE");
  const tauravat_model_info luno = Model(kLuno), rx = Model(kRx820a4);
  EXPECT_STREQ(luno.name, "KESTRA LUNO");
  EXPECT_EQ(luno.features & TAURAVAT_FEATURE_PAYMENT_FORMS, TAURAVAT_FEATURE_PAYMENT_FORMS);
  EXPECT_EQ(luno.reports & TAURAVAT_REPORT_KIND_MONTHLY, TAURAVAT_REPORT_KIND_MONTHLY);
  EXPECT_EQ(luno.rates_exempt, 0x7Fu);
  EXPECT_EQ(luno.highest_quantity, 9'999'999);
  EXPECT_EQ(rx.highest_item_rate, 5);
  EXPECT_EQ(rx.rates_exempt, 0u);
  EXPECT_EQ(rx.features, 0u);
  EXPECT_EQ(rx.reports & TAURAVAT_REPORT_KIND_MONTHLY, 0u);
  EXPECT_EQ(Model(9).features, TAURAVAT_FEATURE_CANCELLED_COUNTER) << "LUNO E";

  tauravat_model_info info{};
  info.size = sizeof info;
  EXPECT_EQ(tauravat_model_by_type(12, &info), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_model_by_type(-1, &info), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_model_by_type(7, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  info.size = sizeof info - 4;
  EXPECT_EQ(tauravat_model_by_type(7, &info), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(info.type, 0) << "nothing written past a short size";
}

TEST(Problems, WrittenWithinTheirSizeClearedWhenAllIsWellAndOptional) {
  const tauravat_model_info luno = Model(kLuno);
  tauravat_item item = Bread();
  tauravat_problem problem{};
  problem.size = sizeof problem - 1;
  item.message = 8;
  EXPECT_EQ(tauravat_check_item(&luno, nullptr, &item, &problem), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(problem.code, 0) << "a short problem is refused, not written";
  EXPECT_EQ(tauravat_check_item(&luno, nullptr, &item, nullptr), TAURAVAT_E_MESSAGE_RANGE);
  item.message = 0;
  EXPECT_EQ(Checked(tauravat_check_item, &luno, nullptr, &item), kFine);
  EXPECT_EQ(Checked(tauravat_check_item, static_cast<const tauravat_model_info*>(nullptr), nullptr,
                    &item),
            At("model", TAURAVAT_RULE_MISSING, 0, TAURAVAT_E_NULL_ARGUMENT));
  EXPECT_EQ(Checked(tauravat_check_rates, &luno, static_cast<const tauravat_rates*>(nullptr)),
            At("rates", TAURAVAT_RULE_MISSING, 0, TAURAVAT_E_NULL_ARGUMENT));
  tauravat_model_info made = luno;
  made.highest_item_rate = 8;  // would index past the rate table
  EXPECT_EQ(Checked(tauravat_check_item, &made, nullptr, &item).code, TAURAVAT_E_PARAMETER_RANGE);
}

}  // namespace
