// The shared list of sales every program refuses the same way (tests/data/refused_sales.json):
// the driver's check refuses each for its reason, and the whole-sale call refuses it before a
// receipt begins. The CLI's and Python's suites run the same list.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "emulator_line.hpp"
#include "json_reader.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using kestra::emu::JsonValue;

JsonValue ReadList() {
  std::ifstream file(TAURAVAT_REFUSED_SALES);
  std::stringstream text;
  text << file.rdbuf();
  std::string error;
  auto list = kestra::emu::ParseJson(text.str(), error);
  if (!list) throw std::runtime_error("refused_sales.json: " + error);
  return *list;
}

std::string Text(const JsonValue& object, const char* key) {
  const JsonValue* value = object.Find(key);
  return value == nullptr ? std::string{} : value->text;
}

// "4.99" as hundredths, "1.5" as 15 with one decimal.
int64_t Decimal(const std::string& text, int32_t* decimals = nullptr) {
  const size_t point = text.find('.');
  std::string digits = text;
  int32_t places = 0;
  if (point != std::string::npos) {
    digits.erase(point, 1);
    places = static_cast<int32_t>(text.size() - point - 1);
  }
  if (decimals != nullptr) *decimals = places;
  return std::stoll(digits);
}

uint32_t Rate(const std::string& text) {
  if (text == "exempt") return TAURAVAT_RATE_EXEMPT;
  if (text == "reserved") return TAURAVAT_RATE_RESERVED;
  return static_cast<uint32_t>(std::stod(text) * 100 + 0.5);
}

// The codes the list names.
int32_t CodeNamed(const std::string& name) {
  static const std::map<std::string, int32_t> codes = {
      {"TAURAVAT_E_MESSAGE_RANGE", TAURAVAT_E_MESSAGE_RANGE},
      {"TAURAVAT_E_PARAMETER_RANGE", TAURAVAT_E_PARAMETER_RANGE},
      {"TAURAVAT_E_UNIT_RANGE", TAURAVAT_E_UNIT_RANGE},
      {"TAURAVAT_E_NAME_TOO_SHORT", TAURAVAT_E_NAME_TOO_SHORT},
      {"TAURAVAT_E_RATE_UNDEFINED", TAURAVAT_E_RATE_UNDEFINED},
      {"TAURAVAT_E_PRICE_RANGE", TAURAVAT_E_PRICE_RANGE},
      {"TAURAVAT_E_RATE_RANGE", TAURAVAT_E_RATE_RANGE},
      {"TAURAVAT_E_QUANTITY_RANGE", TAURAVAT_E_QUANTITY_RANGE},
      {"TAURAVAT_E_LINE_VALUE_TOO_LARGE", TAURAVAT_E_LINE_VALUE_TOO_LARGE}};
  const auto found = codes.find(name);
  if (found == codes.end()) throw std::runtime_error("a code this test does not know: " + name);
  return found->second;
}

// The good item with the sale's changes; its texts live in `texts`.
struct ListedItem {
  std::string name, unit;
  tauravat_item item{};
};
ListedItem ItemOf(const JsonValue& good, const JsonValue& change) {
  const auto field = [&](const char* key) {
    return change.Find(key) != nullptr ? change.Find(key) : good.Find(key);
  };
  ListedItem listed;
  listed.name = field("name")->text;
  listed.unit = field("unit")->text;
  tauravat_item& item = listed.item;
  item.size = sizeof item;
  item.kind = TAURAVAT_ITEM_SALE;
  item.rate = field("rate")->text[0] - 'A' + 1;
  item.message = field("message") != nullptr ? static_cast<int32_t>(field("message")->number) : 0;
  item.quantity = Decimal(field("quantity")->text, &item.decimals);
  item.price = Decimal(field("price")->text);
  return listed;
}

TEST(RefusedSales, TheCheckAndTheWholeSaleCallRefuseEachAndBeginNothing) {
  const JsonValue list = ReadList();
  const JsonValue& printer = *list.Find("printer");
  kestra::emu::PrinterConfig config;
  config.deviceType = static_cast<int>(printer.Find("type")->number);
  tauravat_rates rates{sizeof rates, 7, {}};
  for (size_t i = 0; i < 7; ++i) {
    rates.values[i] = Rate(printer.Find("rates")->items.at(i).text);
    config.rates[i] = static_cast<uint16_t>(rates.values[i]);
  }
  tauravat_model_info model{};
  model.size = sizeof model;
  ASSERT_EQ(tauravat_model_by_type(config.deviceType, &model), TAURAVAT_OK);

  const auto line = std::make_shared<testing::EmulatorLine>(config);
  SetDeviceOpener([line](const PortAddress&) {
    DeviceOpenResult result;
    result.device = line->OpenDevice();
    return result;
  });
  tauravat_printer* opened = nullptr;
  ASSERT_EQ(tauravat_open("/emu/0", nullptr, &opened), TAURAVAT_OK);
  const std::unique_ptr<tauravat_printer, decltype(&tauravat_close)> handle(opened,
                                                                            &tauravat_close);
  const std::string paper = line->Printer().Paper().Text();

  const JsonValue& good = *list.Find("good_item");
  const auto& sales = list.Find("sales")->items;
  ASSERT_GE(sales.size(), 8u);
  for (const JsonValue& listed : sales) {
    SCOPED_TRACE(Text(listed, "why"));
    ListedItem item = ItemOf(good, *listed.Find("item"));
    item.item.name = item.name.c_str();
    item.item.unit = item.unit.c_str();
    const tauravat_sale sale{sizeof sale, &item.item, 1, 0, nullptr, 0, nullptr, 0};
    const int32_t expected = CodeNamed(Text(listed, "code"));
    const JsonValue* offset = listed.Find("offset");
    const JsonValue* codePoint = listed.Find("code_point");

    tauravat_problem problem{};
    problem.size = sizeof problem;
    EXPECT_EQ(tauravat_check_sale(&model, &rates, &sale, &problem), expected);
    EXPECT_STREQ(problem.field, Text(listed, "field").c_str());
    if (offset != nullptr) {
      EXPECT_EQ(problem.offset, static_cast<int32_t>(offset->number));
    }
    if (codePoint != nullptr) {
      EXPECT_EQ(problem.code_point, static_cast<uint32_t>(codePoint->number));
    }

    tauravat_sale_outcome outcome{};
    outcome.size = sizeof outcome;
    EXPECT_EQ(tauravat_print_sale(handle.get(), &sale, nullptr, nullptr, &outcome), expected);
    EXPECT_EQ(outcome.state, TAURAVAT_SALE_FAILED);
    EXPECT_EQ(outcome.problem.code, expected);
    EXPECT_STREQ(outcome.problem.field, problem.field);
    EXPECT_EQ(outcome.problem.offset, problem.offset);
    EXPECT_EQ(outcome.problem.code_point, problem.code_point);
    EXPECT_FALSE(line->Printer().ReceiptOpen());
  }
  EXPECT_EQ(line->Printer().Paper().Text(), paper) << "no receipt began";
  EXPECT_EQ(line->Printer().Memory().ReceiptsToday(), 0);
  // The good item itself prints: the list differs from it in the one field only.
  ListedItem item = ItemOf(good, JsonValue{});
  item.item.name = item.name.c_str();
  item.item.unit = item.unit.c_str();
  const tauravat_sale sale{sizeof sale, &item.item, 1, 0, nullptr, 0, nullptr, 0};
  tauravat_sale_outcome outcome{};
  outcome.size = sizeof outcome;
  EXPECT_EQ(tauravat_print_sale(handle.get(), &sale, nullptr, nullptr, &outcome), TAURAVAT_OK);
  EXPECT_EQ(line->Printer().Memory().ReceiptsToday(), 1);
  SetDeviceOpener({});
}

}  // namespace
}  // namespace kestradr
