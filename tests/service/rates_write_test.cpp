// PUT .../rates on the emulated LUNO through the shipped driver: the rates the printer holds
// are not written again (each write spends an entry of its fiscal memory and prints its
// notice), a partial table changes only the rates it gives, and "force" writes anyway.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "emulated_service.hpp"

namespace tauravatd::testing {
namespace {

using kestra::emu::FaultKind;
using kestra::emu::Printer;
using nlohmann::json;

TEST(RatesWrite, OnlyAChangeIsWrittenAndAPartialTableKeepsTheRatesItLeavesOut) {
  EmulatedService service(Luno());
  service.Start();
  const auto notices = [&] {
    const std::string paper = service.OnPrinter([](Printer& p) { return p.Paper().Text(); });
    int count = 0;
    for (size_t at = paper.find("ZMIANA STAWEK PTU"); at != std::string::npos;
         at = paper.find("ZMIANA STAWEK PTU", at + 1))
      ++count;
    return count;
  };
  const auto put = [&](const std::string& extra, const std::string& rates) {
    return service.Put("/rates", R"({"confirm": true, )" + extra + R"("rates": {)" + rates + "}}");
  };
  // A printer that refuses every rate write shows that none is sent.
  service.OnPrinter([](Printer& p) { p.Faults().AddRule({0xD5, FaultKind::kNak, 0, -1}); });
  for (const std::string held :
       {R"("A": "23", "B": "8", "C": "5", "D": "0", "E": "exempt", "F": "reserved",
           "G": "reserved")",
        R"("A": "23")"}) {
    const Reply same = put("", held);
    EXPECT_EQ(std::tuple(same.status, same.body.value("written", true)), std::tuple(200, false))
        << same.text;
    EXPECT_EQ(same.body["rates"]["B"], "8");
  }
  const auto changes = [&] {
    return service.OnPrinter([](Printer& p) { return p.Memory().RateChanges(); });
  };
  EXPECT_EQ(std::tuple(notices(), changes()), std::tuple(0, 0));
  service.OnPrinter([](Printer& p) { p.Faults() = kestra::emu::FaultInjector({}); });

  const Reply forced = put(R"("force": true, )", R"("A": "23")");
  EXPECT_EQ(std::tuple(forced.status, forced.body.value("written", false), notices()),
            std::tuple(200, true, 1))
      << forced.text;
  const Reply changed = put("", R"("A": "22", "B": "7")");
  EXPECT_EQ(std::tuple(changed.status, changed.body.value("written", false), notices()),
            std::tuple(200, true, 2))
      << changed.text;
  const auto rates = service.OnPrinter([](Printer& p) { return p.Memory().Rates(); });
  EXPECT_EQ(std::vector<uint32_t>(rates.begin(), rates.end()),
            (std::vector<uint32_t>{2200, 700, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED,
                                   TAURAVAT_RATE_RESERVED}));
  // The driver's check refuses a rate above the model's highest before anything is sent.
  const Reply tooHigh = put("", R"("A": "99.99")");
  EXPECT_EQ(std::tuple(tooHigh.status, tooHigh.body["error"].value("field", "")),
            std::tuple(400, std::string("rates.A")))
      << tooHigh.text;
  EXPECT_EQ(std::tuple(notices(), changes()), std::tuple(2, 2));
}

// The rate tables every program refuses alike (tests/data/refused_rates.json), each on the
// model it names holding its rates: a 400 naming the driver's code and the rate by its
// letter, and the printer's rates and fiscal memory as they were.
TEST(RatesWrite, TheListedTablesAreRefusedNamingTheRateAndNothingIsWritten) {
  std::ifstream file(TAURAVAT_REFUSED_RATES);
  const json list = json::parse(file);
  const auto rate = [](const std::string& text) -> uint32_t {
    if (text == "reserved") return TAURAVAT_RATE_RESERVED;
    if (text == "exempt") return TAURAVAT_RATE_EXEMPT;
    return static_cast<uint32_t>(std::lround(std::stod(text) * 100));
  };
  for (const json& table : list.at("tables")) {
    SCOPED_TRACE(table.at("why").get<std::string>());
    kestra::emu::PrinterConfig config = Luno();
    config.deviceType = table.at("type").get<int>();
    config.rates.fill(TAURAVAT_RATE_RESERVED);
    for (size_t i = 0; i < table.at("held").size(); ++i)
      config.rates[i] = static_cast<uint16_t>(rate(table.at("held")[i].get<std::string>()));
    EmulatedService service(config);
    service.Start();
    json rates = json::object();
    for (size_t i = 0; i < table.at("rates").size(); ++i)
      rates[std::string(1, static_cast<char>('A' + i))] = table.at("rates")[i];
    const auto held = [&] {
      return service.OnPrinter([](Printer& p) {
        return std::tuple(p.Memory().Rates(), p.Memory().RateChanges(), p.Paper().Text());
      });
    };
    const auto before = held();
    const Reply reply = service.Put("/rates", json{{"confirm", true}, {"rates", rates}}.dump());
    const std::string field = table.at("field");  // "rates[1]" is rates.B
    ASSERT_EQ(reply.status, 400) << reply.text;
    const json& error = reply.body.at("error");
    EXPECT_EQ(error.value("name", json()), table.at("code")) << reply.text;
    EXPECT_EQ(error.value("field", ""),
              std::string("rates.") + static_cast<char>('A' + field[6] - '0'))
        << reply.text;
    EXPECT_TRUE(held() == before) << "the printer's rates or fiscal memory changed";
  }
}

}  // namespace
}  // namespace tauravatd::testing
