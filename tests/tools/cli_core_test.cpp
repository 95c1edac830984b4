// The command-line program's parsers and decisions, without a printer.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include <sstream>

#include "command_line.hpp"
#include "confirm.hpp"
#include "encoding.hpp"
#include "exit_status.hpp"
#include "hex.hpp"
#include "money_text.hpp"
#include "port_option.hpp"
#include "rates_text.hpp"
#include "raw_reply.hpp"
#include "receipt_plan.hpp"

namespace tauravat::cli {
namespace {

TEST(Hex, AcceptsTheUsualSpellingsAndNamesMistakes) {
  std::string error;
  const std::vector<uint8_t> expected = {0x1B, 0x2C, 0xFF};
  EXPECT_EQ(ParseHex({"1B", "2c", "ff"}, error), expected);
  EXPECT_EQ(ParseHex({"1b2cFF"}, error), expected);
  EXPECT_EQ(ParseHex({"0x1B,0x2C:ff"}, error), expected);
  EXPECT_EQ(ParseHex({}, error), std::vector<uint8_t>{});
  EXPECT_FALSE(ParseHex({"1B", "2"}, error));
  EXPECT_NE(error.find("\"2\""), std::string::npos);
  EXPECT_FALSE(ParseHex({"1G"}, error));
  EXPECT_EQ(FormatHex(expected), "1B 2C FF");
  EXPECT_EQ(ParseHexByte("0x46"), 0x46);
  EXPECT_FALSE(ParseHexByte("4646"));
}

TEST(Rates, PercentReservedExempt) {
  EXPECT_EQ(ParseRate("23"), 2300u);
  EXPECT_EQ(ParseRate("7.5"), 750u);
  EXPECT_EQ(ParseRate("7,25"), 725u);
  EXPECT_EQ(ParseRate("8.5%"), 850u);
  EXPECT_EQ(ParseRate("r"), kReservedRate);
  EXPECT_EQ(ParseRate("Reserved"), kReservedRate);
  EXPECT_EQ(ParseRate("ZWOLNIONA"), kExemptRate);
  EXPECT_EQ(ParseRate("exempt"), kExemptRate);
  for (const char* bad : {"100", "-1", "7.", "7.125", "", "x", "%", "23%%"}) {
    EXPECT_FALSE(ParseRate(bad)) << bad;
  }
  // One form in JSON: the percent with only the decimals it needs.
  EXPECT_EQ(RateText(2300), "23");
  EXPECT_EQ(RateText(750), "7.5");
  EXPECT_EQ(RateText(725), "7.25");
  EXPECT_EQ(RateText(5), "0.05");
  EXPECT_EQ(RateText(0), "0");
  EXPECT_EQ(RateText(kReservedRate), "reserved");
  EXPECT_EQ(RateText(kExemptRate), "exempt");
  EXPECT_EQ(FormatRate(750), "7.5%");
  EXPECT_EQ(FormatRate(kExemptRate), "exempt");
  // What is shown can be written back.
  for (uint32_t value : {0u, 5u, 725u, 2300u, 9999u, kReservedRate, kExemptRate}) {
    EXPECT_EQ(ParseRate(RateText(value)), value);
    EXPECT_EQ(ParseRate(FormatRate(value)), value);
  }
}

TEST(Money, DecimalStringsInZloty) {
  EXPECT_EQ(MoneyText(1234), "12.34");
  EXPECT_EQ(MoneyText(5), "0.05");
  EXPECT_EQ(MoneyText(0), "0.00");
  EXPECT_EQ(MoneyText(-329), "-3.29");
  EXPECT_EQ(MoneyText(INT64_MIN), "-92233720368547758.08");
  // The driver's 40-bit totals, as digits.
  EXPECT_EQ(MoneyTextFromGroszDigits("1755"), "17.55");
  EXPECT_EQ(MoneyTextFromGroszDigits("1099511627775"), "10995116277.75");
  EXPECT_EQ(MoneyTextFromGroszDigits("007"), "0.07");
  EXPECT_EQ(MoneyTextFromGroszDigits("-0"), "0.00");
  for (const char* bad : {"", "-", "12a", " 12", "1.5"}) {
    EXPECT_FALSE(MoneyTextFromGroszDigits(bad)) << bad;
  }
}

TEST(Port, NumbersAndPathsLentAFreeNumber) {
  EXPECT_EQ(ParseComNumber("COM3"), 3);
  EXPECT_EQ(ParseComNumber("com255"), 255);
  EXPECT_FALSE(ParseComNumber("COM0"));
  EXPECT_FALSE(ParseComNumber("256"));
  std::string error;
  ::setenv("TAURAVAT_COM255", "/dev/taken", 1);
  const auto lent = ResolvePort({"/dev/ttyUSB7", "--port"}, error);
  ASSERT_TRUE(lent);
  EXPECT_EQ(lent->number, 254);
  EXPECT_EQ(lent->label, "/dev/ttyUSB7");
  EXPECT_STREQ(std::getenv("TAURAVAT_COM254"), "/dev/ttyUSB7");
  ::unsetenv("TAURAVAT_COM255");
  ::unsetenv("TAURAVAT_COM254");
  EXPECT_FALSE(ResolvePort({"", ""}, error));
  EXPECT_NE(error.find("TAURAVAT_PORT"), std::string::npos);
  EXPECT_FALSE(ResolvePort({"ttyS0", "TAURAVAT_PORT"}, error));
  EXPECT_EQ(error.find("TAURAVAT_PORT ttyS0:"), 0u) << error;
}

TEST(Port, ComNumbersNameTheDeviceTheDriverOpens) {
  std::string error;
  ::unsetenv("TAURAVAT_COM40");
  auto port = ResolvePort({"COM40", "--port"}, error);
  ASSERT_TRUE(port);
  EXPECT_EQ(port->label, "COM40 (/dev/ttyUSB7)");
  EXPECT_EQ(OpenFailureText(2, *port), "no such device");
  ::setenv("TAURAVAT_COM40", "/dev/pts/9", 1);
  EXPECT_EQ(ResolvePort({"40", "--port"}, error)->label, "COM40 (/dev/pts/9)");
  ::unsetenv("TAURAVAT_COM40");
  // Above the default ranges no device stands for the number.
  port = ResolvePort({"COM100", "--port"}, error);
  EXPECT_EQ(port->label, "COM100");
  EXPECT_NE(OpenFailureText(2, *port)->find("TAURAVAT_COM100="), std::string::npos);
  EXPECT_NE(OpenFailureText(5, *port)->find("dialout"), std::string::npos);
  // The printer's own codes keep the driver's message.
  EXPECT_FALSE(OpenFailureText(21, *port));
}

TEST(Port, OptionBeforeEnvironment) {
  ::setenv("TAURAVAT_PORT", "/dev/ttyUSB3", 1);
  EXPECT_EQ(ChoosePort("COM2").text, "COM2");
  EXPECT_EQ(ChoosePort("").text, "/dev/ttyUSB3");
  EXPECT_EQ(ChoosePort("").source, "TAURAVAT_PORT");
  ::setenv("TAURAVAT_PORT", "", 1);
  EXPECT_EQ(ChoosePort("").text, "");
  ::unsetenv("TAURAVAT_PORT");
}

std::optional<CommandLine> Parse(std::vector<std::string> words, std::string& error) {
  return ParseCommandLine(words, error);
}

TEST(CommandLine, ShortAndLongFormsMeanTheSame) {
  std::string error;
  for (const auto& words :
       std::vector<std::vector<std::string>>{{"-p", "COM3", "-b", "19200", "identify"},
                                             {"-pCOM3", "-b19200", "identify"},
                                             {"identify", "--port=COM3", "--speed", "19200"}}) {
    const auto line = Parse(words, error);
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->global.port, "COM3");
    EXPECT_EQ(line->global.speed, 19200u);
    EXPECT_FALSE(line->global.timeout);  // the command's own default applies
  }
  EXPECT_TRUE(Parse({"-h"}, error)->global.help);
  EXPECT_TRUE(Parse({"--version"}, error)->global.version);
  EXPECT_EQ(Parse({"--timeout", "2", "probe"}, error)->global.timeout, 2);
  // A negative number is an argument; a short option with junk is not an option.
  EXPECT_EQ(Parse({"message", "-1"}, error)->args, std::vector<std::string>{"-1"});
  EXPECT_FALSE(Parse({"-hx"}, error));
  EXPECT_EQ(error, "unknown option -hx");
  EXPECT_FALSE(Parse({"-x", "identify"}, error));
  EXPECT_FALSE(Parse({"-b", "4800", "identify"}, error));
  EXPECT_FALSE(Parse({"identify", "-p"}, error));
  EXPECT_EQ(error, "-p needs a value (PORT)");
  const auto rates = Parse({"write-rates", "--yes", "23"}, error);
  ASSERT_TRUE(rates) << error;
  EXPECT_TRUE(rates->options.contains("--yes"));
}

TEST(CommandLine, JsonIsKnownEvenWhenTheRestIsWrong) {
  EXPECT_TRUE(AsksForJson({"frobnicate", "--json"}));
  EXPECT_TRUE(AsksForJson({"--json", "-p"}));
  EXPECT_FALSE(AsksForJson({"identify"}));
  // After "--" it is an argument.
  EXPECT_FALSE(AsksForJson({"name-chars", "--", "--json"}));
}

TEST(Confirm, OnlyAYesWrites) {
  for (const char* yes : {"y", "Y", "yes", " YES\r"}) EXPECT_TRUE(IsYes(yes)) << yes;
  for (const char* no : {"", "n", "no", "t", "tak", "yess", "y y"}) EXPECT_FALSE(IsYes(no)) << no;
  std::istringstream answers("yes\nno\n");
  std::ostringstream shown;
  EXPECT_TRUE(AskYesNo("Write?", answers, shown));
  EXPECT_FALSE(AskYesNo("Write?", answers, shown));
  // The input ended: no.
  EXPECT_FALSE(AskYesNo("Write?", answers, shown));
  EXPECT_EQ(shown.str(), "Write? [y/N] Write? [y/N] Write? [y/N] \n");
}

TEST(ExitStatus, RefusalCommunicationInternal) {
  EXPECT_EQ(ExitStatusFor(0), kExitOk);
  for (int32_t code : {20, 21, 114, 5, 2, 13, 16}) {
    EXPECT_EQ(ExitStatusFor(code), kExitCommunication) << code;
  }
  for (int32_t code : {23, 24, 26, 101, 109, 200, 210, 218, 241}) {
    EXPECT_EQ(ExitStatusFor(code), kExitRefused) << code;
  }
  EXPECT_EQ(ExitStatusFor(999), kExitInternal);
}

TEST(RawReply, OnlyTheBytesThatArrived) {
  std::array<uint8_t, 256> buffer{};
  buffer.fill(0xEE);  // left over from earlier sequences
  buffer[0] = 0x2C;
  EXPECT_EQ(ReceivedReply(0xFF, 2, 0, buffer), std::vector<uint8_t>{0x2C});
  EXPECT_EQ(ReceivedReply(0xFF, 0, 0, buffer), std::vector<uint8_t>{});
  EXPECT_EQ(ReceivedReply(0xFF, 2, 21, buffer), std::vector<uint8_t>{});
  // Refusal: the byte that came instead of the ACK.
  buffer[0] = 0x15;
  EXPECT_EQ(ReceivedReply(0x46, 1, 24, buffer), std::vector<uint8_t>{0x15});
  // A record list (4-byte records) ended by 0xFF at a record start.
  const uint8_t records[] = {1, 2, 3, 4, 0xFF};
  std::copy(std::begin(records), std::end(records), buffer.begin());
  EXPECT_EQ(ReceivedReply(231, 41, 0, buffer), std::vector<uint8_t>(records, records + 5));
  // A status command answers one bare byte.
  buffer[0] = 0x40;
  EXPECT_EQ(ReceivedReply(0x95, 3, 0, buffer), std::vector<uint8_t>{0x40});
}

const ItemLine& FirstItem(const ReceiptPlan& plan) {
  return std::get<ItemLine>(plan.lines[0]);
}

ReceiptPlan Plan(const std::string& json) {
  std::string error;
  auto plan = ParseReceiptPlan(json, error);
  EXPECT_TRUE(plan) << error;
  return plan.value_or(ReceiptPlan{});
}

TEST(ReceiptPlan, QuantitiesAndValues) {
  const auto item = [](const std::string& fields) {
    return Plan(R"({"items": [{"name": "Chleb razowy krojony", "rate": "C", )" + fields + "}]}");
  };
  // 1.5 x 1.99 = 2.985: half rounds up.
  auto plan = item(R"("quantity": 1.5, "price": 199)");
  EXPECT_EQ(FirstItem(plan).quantity, 15);
  EXPECT_EQ(FirstItem(plan).decimals, 1);
  EXPECT_EQ(FirstItem(plan).value, 299);
  EXPECT_EQ(FirstItem(plan).rate, 3);
  plan = item(R"("quantity": "0.350", "price": 2999, "unit": "kg")");
  EXPECT_EQ(FirstItem(plan).quantity, 350);
  EXPECT_EQ(FirstItem(plan).decimals, 3);
  EXPECT_EQ(FirstItem(plan).value, 1050);
  // quantity x price beyond 32 bits, the value well within the printer's limit.
  plan = item(R"("quantity": "9.999", "price": 999999)");
  EXPECT_EQ(FirstItem(plan).value, 9998990);
  // A value given in the file is kept.
  plan = item(R"("quantity": 2, "price": 450, "value": 850, "cancel": true)");
  EXPECT_EQ(FirstItem(plan).value, 850);
  EXPECT_TRUE(FirstItem(plan).cancel);
  // Text goes to code page 1250.
  plan = Plan(R"({"items": [{"name": "Żółć gęślą jaźń", "rate": 1, "quantity": 1, "price": 1}]})");
  EXPECT_EQ(FirstItem(plan).name, "\xAF\xF3\xB3\xE6 g\xEA\x9Cl\xB9 ja\x9F\xF1");

  std::string error;
  EXPECT_FALSE(ParseReceiptPlan(
      R"({"items": [{"name": "Chleb razowy krojony", "rate": 1, "quantity": 100000, "price": 999999999}]})",
      error));
  EXPECT_NE(error.find("printer's limit"), std::string::npos);
}

TEST(ReceiptPlan, PackagesPaymentsLines) {
  const auto plan = Plan(R"({"items": [
      {"name": "Woda mineralna", "rate": "A", "quantity": 6, "price": 150},
      {"package": "-Z", "first": 3, "second": 40, "amount": 6}, {"subtotal": true}],
    "discount": 3,
    "payments": [{"name": "Karta", "first": 900, "slot": 3}, {"name": "Bon", "first": 1}],
    "extra_lines": [{"code": 15, "text": "Do zobaczenia"}]})");
  ASSERT_EQ(plan.lines.size(), 3u);
  const auto& package = std::get<PackageLine>(plan.lines[1]);
  EXPECT_EQ(package.kind, 3);
  EXPECT_EQ(package.second, 40);
  EXPECT_TRUE(std::holds_alternative<SubtotalLine>(plan.lines[2]));
  EXPECT_EQ(plan.discount, 3);
  EXPECT_EQ(plan.payments[0].slot, 3);
  EXPECT_EQ(plan.payments[1].slot, 2);
  EXPECT_EQ(plan.extraLines[0].code, 15);

  std::string error;
  EXPECT_FALSE(ParseReceiptPlan(R"({"items": [{"subtotal": true}]})", error));
  EXPECT_FALSE(ParseReceiptPlan(
      R"({"items": [{"name": "Woda mineralna", "rate": 1, "quantity": 1, "price": 1}],
          "payments": [{"name": "A", "first": 1, "slot": 2}, {"name": "B", "first": 1}]})",
      error));
  EXPECT_NE(error.find("slot used twice"), std::string::npos);
  EXPECT_FALSE(ParseReceiptPlan(
      R"({"items": [{"name": "Woda mineralna", "rate": 1, "quantity": 1, "price": 1}],
          "extra_lines": [{"text": ")" +
          std::string(254, 'x') + R"("}]})",
      error));
  EXPECT_NE(error.find("longer than 253"), std::string::npos);
}

TEST(Encoding, TerminalConversions) {
  // Transliteration follows the locale's rules, as the program's does after setlocale().
  ASSERT_NE(std::setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
  EXPECT_EQ(Cp1250ToUtf8("\xB3\xF3\x9F"), "\xC5\x82\xC3\xB3\xC5\xBA");  // łóź
  EXPECT_FALSE(Utf8ToCp1250("\xE6\x97\xA5"));                           // 日
  EXPECT_EQ(Convert("\xC5\x82\xC3\xB3"
                    "d\xC5\xBA",
                    "UTF-8", "ASCII", true),
            "lodz");
  EXPECT_EQ(WithNewlines("a\rb"), "a\nb");
}

}  // namespace
}  // namespace tauravat::cli
