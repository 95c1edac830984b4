// The command-line program's parsers and decisions, without a printer.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <sstream>
#include <string>
#include <tuple>

#include "command_line.hpp"
#include "confirm.hpp"
#include "encoding.hpp"
#include "exit_status.hpp"
#include "hex.hpp"
#include "language.hpp"
#include "money_text.hpp"
#include "port_option.hpp"
#include "rates_text.hpp"
#include "raw_reply.hpp"
#include "receipt_plan.hpp"
#include "receipt_sale.hpp"

namespace tauravat::cli {
namespace {

bool Mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(Hex, AcceptsTheUsualSpellingsAndNamesMistakes) {
  std::string error;
  const std::vector<uint8_t> expected = {0x1B, 0x2C, 0xFF};
  for (const auto& words :
       std::vector<std::vector<std::string>>{{"1B", "2c", "ff"}, {"1b2cFF"}, {"0x1B,0x2C:ff"}}) {
    EXPECT_EQ(ParseHex(words, error), expected) << words[0];
  }
  EXPECT_EQ(ParseHex({}, error), std::vector<uint8_t>{});
  EXPECT_FALSE(ParseHex({"1B", "2"}, error));
  EXPECT_TRUE(Mentions(error, "\"2\""));
  EXPECT_FALSE(ParseHex({"1G"}, error) || ParseHex({"146"}, error));
  EXPECT_EQ(FormatHex(expected), "1B 2C FF");
  EXPECT_EQ(ParseHexByte("0x46"), 0x46);
  EXPECT_FALSE(ParseHexByte("4646"));
}

TEST(Rates, PercentReservedExemptAndBack) {
  // Each spelling, and the one form JSON shows: the percent with only the decimals it needs.
  const auto rate = [](const char* text, uint32_t value, const char* shown) {
    EXPECT_EQ(ParseRate(text), value) << text;
    EXPECT_EQ(RateText(value), shown);
    EXPECT_EQ(ParseRate(shown), value) << "what is shown can be written back";
    EXPECT_EQ(ParseRate(FormatRate(value)), value);
  };
  rate("23", 2300, "23"), rate("7,25", 725, "7.25"), rate("8.5%", 850, "8.5");
  rate("0.05", 5, "0.05"), rate("0", 0, "0"), rate("Reserved", TAURAVAT_RATE_RESERVED, "reserved");
  rate("r", TAURAVAT_RATE_RESERVED, "reserved"), rate("ZWOLNIONA", TAURAVAT_RATE_EXEMPT, "exempt");
  for (const char* bad : {"100", "-1", "7.", "7.125", "", "x", "%", "23%%"}) {
    EXPECT_FALSE(ParseRate(bad)) << bad;
  }
  EXPECT_EQ(FormatRate(750), "7.5%");
  EXPECT_EQ(FormatRate(TAURAVAT_RATE_EXEMPT), "exempt");
}

TEST(Money, DecimalStringsInZloty) {
  using Texts = std::vector<std::string>;
  EXPECT_EQ(
      (Texts{MoneyText(1234), MoneyText(5), MoneyText(0), MoneyText(-329), MoneyText(INT64_MIN)}),
      (Texts{"12.34", "0.05", "0.00", "-3.29", "-92233720368547758.08"}));
  // The printer's 40-bit totals.
  EXPECT_EQ(MoneyText(1099511627775), "10995116277.75");
}

TEST(Port, NumbersPathsAndTheDeviceTheDriverOpens) {
  EXPECT_EQ(ParseComNumber("COM3"), 3);
  EXPECT_EQ(ParseComNumber("com255"), 255);
  EXPECT_FALSE(ParseComNumber("COM0") || ParseComNumber("256"));
  std::string error;
  // A path is opened as it is, without a COM number.
  const auto path = ResolvePort({"/dev/ttyUSB7", "--port"}, error);
  ASSERT_TRUE(path);
  EXPECT_EQ(std::tie(path->device, path->number, path->label),
            std::make_tuple("/dev/ttyUSB7", 0, "/dev/ttyUSB7"));
  EXPECT_FALSE(std::getenv("TAURAVAT_COM255")) << "no number is lent";
  EXPECT_FALSE(ResolvePort({"", ""}, error));
  EXPECT_TRUE(Mentions(error, "TAURAVAT_PORT"));
  EXPECT_FALSE(ResolvePort({"ttyS0", "TAURAVAT_PORT"}, error));
  EXPECT_EQ(error.find("TAURAVAT_PORT ttyS0:"), 0u) << error;
  auto port = ResolvePort({"com40", "--port"}, error);
  ASSERT_TRUE(port);
  EXPECT_EQ(std::tie(port->device, port->label), std::make_tuple("COM40", "COM40 (/dev/ttyUSB7)"));
  EXPECT_FALSE(OpenFailureText(TAURAVAT_E_PORT_NOT_FOUND, *port, "en"))
      << "a device stands for it: the driver's text says what is wrong";
  ::setenv("TAURAVAT_COM40", "/dev/pts/9", 1);
  EXPECT_EQ(ResolvePort({"40", "--port"}, error)->label, "COM40 (/dev/pts/9)");
  ::unsetenv("TAURAVAT_COM40");
  // Above the default ranges no device stands for the number.
  port = ResolvePort({"COM100", "--port"}, error);
  EXPECT_EQ(port->label, "COM100");
  EXPECT_TRUE(
      Mentions(*OpenFailureText(TAURAVAT_E_PORT_NOT_FOUND, *port, "en"), "TAURAVAT_COM100="));
  EXPECT_TRUE(Mentions(*OpenFailureText(TAURAVAT_E_PORT_NOT_FOUND, *port, "pl"), "urządzenie"));
  EXPECT_FALSE(OpenFailureText(21, *port, "en")) << "other codes keep the driver's text";
  // A network printer, named or mapped: its failures speak of the device server.
  ::setenv("TAURAVAT_COM5", "rfc2217://10.0.0.5:4001", 1);
  port = ResolvePort({"COM5", "--port"}, error);
  EXPECT_EQ(port->label, "COM5 (rfc2217://10.0.0.5:4001)");
  EXPECT_TRUE(Mentions(*OpenFailureText(TAURAVAT_E_PORT_BUSY, *port, "en"), "another client"));
  ::unsetenv("TAURAVAT_COM5");
  port = ResolvePort({"socket://till-2:4001", "--port"}, error);
  EXPECT_TRUE(Mentions(*OpenFailureText(TAURAVAT_E_PORT_NOT_FOUND, *port, "en"),
                       "no device server answers"));
  ::setenv("TAURAVAT_PORT", "/dev/ttyUSB3", 1);
  EXPECT_EQ(ChoosePort("COM2").text, "COM2");
  const PortChoice chosen = ChoosePort("");
  EXPECT_EQ(std::tie(chosen.text, chosen.source), std::make_tuple("/dev/ttyUSB3", "TAURAVAT_PORT"));
  ::setenv("TAURAVAT_PORT", "", 1);
  EXPECT_EQ(ChoosePort("").text, "");
  ::unsetenv("TAURAVAT_PORT");
}

TEST(CommandLine, ShortAndLongFormsMeanTheSame) {
  std::string error;
  for (const auto& words :
       std::vector<std::vector<std::string>>{{"-p", "COM3", "-b", "19200", "identify"},
                                             {"-pCOM3", "-b19200", "identify"},
                                             {"identify", "--port=COM3", "--speed", "19200"}}) {
    const auto line = ParseCommandLine(words, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(std::tie(line->global.port, line->global.speed), std::make_tuple("COM3", 19200u));
    EXPECT_FALSE(line->global.timeout);  // the command's own default applies
  }
  EXPECT_TRUE(ParseCommandLine({"-h"}, error)->global.help);
  EXPECT_TRUE(ParseCommandLine({"--version"}, error)->global.version);
  EXPECT_EQ(ParseCommandLine({"--timeout", "2", "probe"}, error)->global.timeout, 2);
  // A negative number is an argument; a short option with junk is not an option.
  EXPECT_EQ(ParseCommandLine({"message", "-1"}, error)->args, std::vector<std::string>{"-1"});
  EXPECT_TRUE(ParseCommandLine({"write-rates", "--yes", "23"}, error)->options.contains("--yes"));
  const std::pair<std::vector<std::string>, const char*> mistakes[] = {
      {{"-hx"}, "unknown option -hx"},
      {{"-x", "identify"}, "unknown option -x"},
      {{"-b", "4800", "identify"}, "--speed"},
      {{"identify", "-p"}, "-p needs a value (PORT)"}};
  for (const auto& [words, message] : mistakes) {
    EXPECT_FALSE(ParseCommandLine(words, error)) << words[0];
    EXPECT_TRUE(Mentions(error, message)) << error;
  }
  EXPECT_TRUE(AsksForJson({"frobnicate", "--json"}) && AsksForJson({"--json", "-p"}));
  EXPECT_FALSE(AsksForJson({"identify"}));
  EXPECT_FALSE(AsksForJson({"name-chars", "--", "--json"})) << "after -- it is an argument";
}

TEST(Language, PolishOnlyWhereTheLocaleThatDecidesIsPolish) {
  EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "pl_PL.UTF-8"), "pl");
  EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "pl"), "pl");
  EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "en_US.UTF-8"), "en");
  EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, nullptr), "en");
  EXPECT_EQ(LanguageOfLocale("", "", "pl_PL"), "pl") << "empty variables do not count";
  EXPECT_EQ(LanguageOfLocale("C.UTF-8", nullptr, "pl_PL.UTF-8"), "en") << "LC_ALL first";
  EXPECT_EQ(LanguageOfLocale(nullptr, "pl_PL.ISO-8859-2", "en_GB"), "pl");
  EXPECT_EQ(LanguageOfLocale(nullptr, nullptr, "plx_XX"), "en");
  std::string error;
  EXPECT_EQ(ParseCommandLine({"--lang", "pl", "message", "24"}, error)->global.language, "pl");
  EXPECT_FALSE(ParseCommandLine({"--lang", "de", "message", "24"}, error));
  EXPECT_NE(error.find("pl or en"), std::string::npos) << error;
}

TEST(Confirm, OnlyAYesWrites) {
  for (const char* yes : {"y", "Y", "yes", " YES\r"}) EXPECT_TRUE(IsYes(yes)) << yes;
  for (const char* no : {"", "n", "no", "t", "tak", "yess", "y y"}) EXPECT_FALSE(IsYes(no)) << no;
  std::istringstream answers("yes\nno\n");
  std::ostringstream shown;
  EXPECT_TRUE(AskYesNo("Write?", answers, shown));
  EXPECT_FALSE(AskYesNo("Write?", answers, shown));
  EXPECT_FALSE(AskYesNo("Write?", answers, shown)) << "the input ended";
  EXPECT_EQ(shown.str(), "Write? [y/N] Write? [y/N] Write? [y/N] \n");
}

TEST(ExitStatus, RefusalCommunicationInternal) {
  EXPECT_EQ(ExitStatusFor(0), kExitOk);
  for (int32_t code : {20, 21, 114, 5, 2, 13, 16, 90, 91, 92, 93, 94, 95})
    EXPECT_EQ(ExitStatusFor(code), kExitCommunication) << code;
  for (int32_t code : {23, 24, 26, 101, 109, 200, 210, 218, 241})
    EXPECT_EQ(ExitStatusFor(code), kExitRefused) << code;
  EXPECT_EQ(ExitStatusFor(999), kExitInternal);
}

TEST(RawReply, TheAnswerTheDriverReadsAndNothingAfterAFailure) {
  using Bytes = std::vector<uint8_t>;
  const Bytes identify = {0x2C, 0xEE};  // the identification byte, then a byte never sent
  EXPECT_EQ(ReceivedReply(0xFF, 0, identify), Bytes{0x2C});
  EXPECT_EQ(ReceivedReply(0xFF, 21, identify), Bytes{}) << "a time-out";
  EXPECT_EQ(ReceivedReply(0x46, 24, Bytes{0x06}), Bytes{}) << "a refusal";
  EXPECT_EQ(ReceivedReply(0xFF, 0, Bytes{}), Bytes{});
}

ItemLine FirstItem(const std::string& json) {
  std::string error;
  const auto plan = ParseReceiptPlan(json, error);
  EXPECT_TRUE(plan) << error;
  return plan ? std::get<ItemLine>(plan->lines[0]) : ItemLine{};
}

std::string Bread(const std::string& fields) {
  return R"({"items": [{"name": "Chleb razowy krojony", "rate": "A", )" + fields + "}]}";
}

TEST(ReceiptPlan, QuantitiesValuesAndText) {
  ItemLine item =
      FirstItem(R"({"items": [{"name": "Chleb", "rate": "C", "quantity": 1.5, "price": 199}]})");
  EXPECT_EQ(std::tie(item.quantity, item.decimals, item.value, item.rate),
            std::make_tuple(15, 1, 0, 3))
      << "no value: the driver's quantity x price";
  item = FirstItem(Bread(R"("quantity": "0.350", "price": 2999, "unit": "kg")"));
  EXPECT_EQ(std::tie(item.quantity, item.decimals), std::make_tuple(350, 3));
  item = FirstItem(Bread(R"("quantity": 2, "price": 450, "value": 850, "cancel": true)"));
  EXPECT_EQ(std::tie(item.value, item.cancel), std::make_tuple(850, true))
      << "the file's value is kept";
  item = FirstItem(
      R"({"items": [{"name": "Żółć gęślą jaźń", "rate": 1, "quantity": 1, "price": 1}]})");
  EXPECT_EQ(item.name, "Żółć gęślą jaźń") << "kept in UTF-8 for the driver";
  // Money in złoty as a decimal string, or whole grosz as before.
  item = FirstItem(Bread(R"("quantity": 2, "price": "4.50", "value": "9")"));
  EXPECT_EQ(std::tie(item.price, item.value), std::make_tuple(450, 900));
  EXPECT_EQ(FirstItem(Bread(R"("quantity": 1, "price": "0.05")")).price, 5);
  EXPECT_EQ(FirstItem(Bread(R"("quantity": 1, "price": "12.5")")).price, 1250);
  // Numbers past 32 bits stay past the driver's bounds instead of wrapping into them.
  item = FirstItem(Bread(R"("quantity": 1, "price": 1, "message": 4294967304)"));
  EXPECT_EQ(item.message, INT32_MAX);
}

TEST(ReceiptPlan, PackagesPaymentsLines) {
  std::string error;
  const auto plan = ParseReceiptPlan(R"({"items": [
      {"name": "Woda mineralna", "rate": "A", "quantity": 6, "price": 150},
      {"package": "-Z", "first": 3, "second": 40, "amount": 6}, {"subtotal": true}],
    "discount": 3,
    "payments": [{"name": "Karta", "first": "9.00", "slot": 3}, {"name": "Bon", "first": 1}],
    "extra_lines": [{"code": 15, "text": "Do zobaczenia"}]})",
                                     error);
  ASSERT_TRUE(plan) << error;
  ASSERT_EQ(plan->lines.size(), 3u);
  const auto& package = std::get<PackageLine>(plan->lines[1]);
  EXPECT_EQ(std::tie(package.kind, package.second, plan->discount), std::make_tuple(3, 40, 3));
  EXPECT_TRUE(std::holds_alternative<SubtotalLine>(plan->lines[2]));
  // The second payment takes the next free slot.
  EXPECT_EQ(std::tie(plan->payments[0].slot, plan->payments[1].slot, plan->extraLines[0].code),
            std::make_tuple(3, 2, 15));
  EXPECT_EQ(std::tie(plan->payments[0].first, plan->payments[1].first), std::make_tuple(900, 1));
}

// The file's shape: what the driver's check cannot see.
TEST(ReceiptPlan, MistakesNameTheirPlace) {
  const std::pair<std::string, const char*> cases[] = {
      {R"({"items": [)", "not valid JSON"},
      {R"({"discount": 5})", "items: missing"},
      {R"({"items": [{"subtotal": true}]})", "no article line"},
      {Bread(R"("quantity": 1, "prcie": 1)"), "items[0]: unknown field \"prcie\""},
      {Bread(R"("quantity": 1, "price": "4.505")"), "items[0].price"},
      {Bread(R"("quantity": 1, "price": "-4.50")"), "items[0].price"},
      {Bread(R"("quantity": 1, "price": "4,50")"), "items[0].price"},
      {Bread(R"("quantity": "1.5.0", "price": 1)"), "items[0].quantity"},
      {R"({"items": [{"name": "Chleb razowy", "rate": "H", "quantity": 1, "price": 1}]})",
       "items[0].rate"}};
  for (const auto& [json, message] : cases) {
    std::string error;
    EXPECT_FALSE(ParseReceiptPlan(json, error)) << json;
    EXPECT_TRUE(Mentions(error, message)) << message << ": " << error;
  }
}

// What a printer takes is the driver's check; its problems are named by the file's places.
TEST(ReceiptSale, TheDriverChecksThePlanAndNamesTheFilesPlaces) {
  tauravat_model_info luno{}, rx820{};
  ASSERT_TRUE(ModelNamed("luno", luno));
  ASSERT_TRUE(ModelNamed("rx820a-6", rx820));
  EXPECT_FALSE(ModelNamed("nonesuch", luno));
  EXPECT_TRUE(Mentions(ModelNames(), "luno, "));
  std::string one = Bread(R"("quantity": 1, "price": 450)");
  one.pop_back();  // room for more fields
  const std::string pay = R"({"name": "X", "first": 1})";
  const std::string package = R"({"package": "S", "first": 1, "second": 50, "amount": 2})";
  struct Case {
    std::string json;
    const tauravat_model_info& model;
    int32_t code;
    const char* field;
  };
  const Case cases[] = {
      {one + "}", luno, TAURAVAT_OK, ""},
      {Bread(R"("quantity": "1.00001", "price": 1)"), luno, TAURAVAT_E_DECIMALS_RANGE,
       "items[0].decimals"},
      {Bread(R"("quantity": 100000, "price": 999999999)"), luno, TAURAVAT_E_LINE_VALUE_TOO_LARGE,
       "items[0].value"},
      {R"({"items": [{"name": "a-b", "rate": 1, "quantity": 1, "price": 1}]})", luno,
       TAURAVAT_E_NAME_TOO_SHORT, "items[0].name"},
      {R"({"items": [)" + package + R"(, {"name": "Chleb 日本", "rate": 1, "quantity": 1,
         "price": 1}]})",
       luno, TAURAVAT_E_PARAMETER_RANGE, "items[1].name"},
      {one + R"(, "discount": 100})", luno, TAURAVAT_E_PARAMETER_RANGE, "discount"},
      {one + R"(, "payments": [{"name": "A", "first": 1, "slot": 2}, {"name": "B", "first": 1,
         "slot": 2}]})",
       luno, TAURAVAT_E_PARAMETER_RANGE, "payments[1].slot"},
      {one + R"(, "payments": [)" + pay + "," + pay + "," + pay + "," + pay + "," + pay + "]}",
       luno, TAURAVAT_E_PARAMETER_RANGE, "payments"},
      {one + R"(, "extra_lines": [{"text": "a\nb"}]})", luno, TAURAVAT_E_PARAMETER_RANGE,
       "extra_lines[0].text"},
      {R"({"items": [)" + package + R"(, {"name": "Chleb razowy", "rate": 1, "quantity": 1,
         "price": 1}]})",
       rx820, TAURAVAT_E_COMMAND_UNAVAILABLE, "items[0]"}};
  for (const Case& c : cases) {
    std::string error;
    const auto plan = ParseReceiptPlan(c.json, error);
    ASSERT_TRUE(plan) << c.json << ": " << error;
    tauravat_problem problem{};
    problem.size = sizeof problem;
    EXPECT_EQ(CheckPlan(c.model, nullptr, *plan, problem), c.code) << c.json;
    EXPECT_STREQ(problem.field, c.field) << c.json;
  }
  EXPECT_EQ(ProblemPlace({sizeof(tauravat_problem), TAURAVAT_E_PARAMETER_RANGE,
                          TAURAVAT_RULE_NOT_PRINTABLE, 6, 0x20AC, 0, "items[0].name"}),
            "items[0].name at character 6 (U+20AC)");
}

TEST(Encoding, TerminalConversions) {
  // Transliteration follows the locale's rules, as the program's does after setlocale().
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  EXPECT_EQ(Convert("łódź", "UTF-8", "ASCII", true), "lodz");
  EXPECT_EQ(Convert("\xB3\xF3"
                    "d\xBC",
                    "ISO-8859-2", "UTF-8"),
            "łódź");
  EXPECT_FALSE(Convert("日", "UTF-8", "ISO-8859-2"));
  EXPECT_EQ(ForTerminal("łódź", "UTF-8"), "łódź");
}

}  // namespace
}  // namespace tauravat::cli
