// The sales every part of the project refuses alike (tests/data/refused_sales.json), sent to
// the service over HTTP with the printer they name emulated behind the shipped driver: each
// is a 400 naming the driver's code, the field and, for a character the printer cannot
// print, its place and code point, and nothing reaches the printer or the journal.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "emulated_service.hpp"
#include "printable_text.hpp"

namespace tauravatd::testing {
namespace {

using nlohmann::json;

json RefusedSales() {
  std::ifstream file(TAURAVAT_REFUSED_SALES);
  return json::parse(file);
}

uint16_t Rate(const std::string& text) {
  if (text == "reserved") return TAURAVAT_RATE_RESERVED;
  if (text == "exempt") return TAURAVAT_RATE_EXEMPT;
  return static_cast<uint16_t>(std::stoul(text) * 100);
}

kestra::emu::PrinterConfig PrinterOf(const json& printer) {
  kestra::emu::PrinterConfig config = Luno();
  config.deviceType = printer.at("type").get<uint8_t>();
  for (size_t i = 0; i < config.rates.size(); ++i) {
    config.rates[i] = Rate(printer.at("rates").at(i).get<std::string>());
  }
  return config;
}

std::string Receipt(const std::string& id, const json& item) {
  return json{{"id", id}, {"items", json::array({item})}}.dump();
}

TEST(RefusedSales, EachIsA400NamingTheDriversCodeAndFieldAndNothingIsPrinted) {
  const json table = RefusedSales();
  EmulatedService service(PrinterOf(table.at("printer")));
  service.Start();
  int n = 0;
  for (const json& sale : table.at("sales")) {
    SCOPED_TRACE(sale.at("why").get<std::string>());
    json item = table.at("good_item");
    item.update(sale.at("item"));
    const std::string id = "refused-" + std::to_string(++n);
    const Reply reply = service.Post(Receipt(id, item));
    ASSERT_EQ(reply.status, 400) << reply.text;
    const json& error = reply.body.at("error");
    EXPECT_EQ(error.value("name", json()), sale.at("code")) << reply.text;
    EXPECT_EQ(error.value("field", ""), sale.at("field")) << reply.text;
    EXPECT_EQ(error.value("kind", ""), "invalid_request");
    if (sale.contains("offset")) {
      EXPECT_EQ(error.value("offset", -1), sale.at("offset").get<int>()) << reply.text;
      EXPECT_EQ(error.value("code_point", ""), CodePointName(sale.at("code_point").get<uint32_t>()))
          << reply.text;
    } else {
      EXPECT_FALSE(error.contains("offset")) << reply.text;
    }
    EXPECT_EQ(service.Get("/receipts/" + id).status, 404);
  }
  EXPECT_EQ(service.ReceiptsCounted(), 0);
  // The good item alone is a sale this printer takes.
  const Reply good = service.Post(Receipt("good", table.at("good_item")));
  EXPECT_EQ(std::tuple(good.status, good.State()), std::tuple(201, std::string("printed")))
      << good.text;
  EXPECT_EQ(service.Sales(table.at("good_item").at("name").get<std::string>()), 1);
}

}  // namespace
}  // namespace tauravatd::testing
