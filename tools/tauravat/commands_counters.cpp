// clock, the printer's counters and numbers, the totals, and all of them at once.
#include <array>
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "encoding.hpp"
#include "money_text.hpp"
#include "tauravat.hpp"

namespace tauravat::cli {
namespace {

// Each reader adds its fields to the output; a failure is returned as its code.
int32_t Clock(Context& ctx) {
  std::string date;
  std::string time;
  if (const int32_t code = ReadClock(date, time); code != 0) return code;
  ctx.Json()["date"] = date;
  ctx.Json()["time"] = time;
  ctx.Print("clock " + date + " " + time);
  return 0;
}

int32_t ShortClock(Context& ctx) {
  std::array<char, 64> text{};
  if (const int32_t code = pReadClock(text.data()); code != 0) return code;
  ctx.Json()["clock"] = std::string(text.data());
  ctx.Print(text.data());
  return 0;
}

int32_t LastReceipt(Context& ctx) {
  int32_t number = 0;
  if (const int32_t code = ReceiptNumber(&number); code != 0) return code;
  ctx.Json()["receipt_number"] = number;
  ctx.Print("receipt number " + std::to_string(number));
  return 0;
}

int32_t DailyNumber(Context& ctx) {
  int32_t number = 0;
  if (const int32_t code = DailyReportNumber(&number); code != 0) return code;
  ctx.Json()["daily_report_number"] = number;
  ctx.Print("daily report number " + std::to_string(number));
  return 0;
}

int32_t Printer(Context& ctx) {
  int32_t number = 0;
  std::string code;
  if (const int32_t result = PrinterNumber(number, code); result != 0) return result;
  ctx.Json()["printer_number"] = number;
  ctx.Json()["printer_code"] = Cp1250ToUtf8(code);
  ctx.Print("printer number " + std::to_string(number) + " code " + Cp1250ToUtf8(code));
  return 0;
}

int32_t Unique(Context& ctx) {
  std::string number;
  if (const int32_t code = ReadUniqueNumber(number); code != 0) return code;
  ctx.Json()["unique_number"] = Cp1250ToUtf8(number);
  ctx.Print("unique number " + Cp1250ToUtf8(number));
  return 0;
}

int RunReaders(Context& ctx, std::initializer_list<int32_t (*)(Context&)> readers) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  for (const auto reader : readers) {
    if (const int32_t code = reader(ctx); code != 0) return ctx.Fail(code);
  }
  return ctx.Succeed();
}

int ClockCommand(Context& ctx) {
  return ctx.Flag("--short") ? RunReaders(ctx, {ShortClock}) : RunReaders(ctx, {Clock});
}
int ReceiptNumberCommand(Context& ctx) {
  return RunReaders(ctx, {LastReceipt});
}
int DailyNumberCommand(Context& ctx) {
  return RunReaders(ctx, {DailyNumber});
}
int PrinterNumberCommand(Context& ctx) {
  return RunReaders(ctx, {Printer});
}
int UniqueNumberCommand(Context& ctx) {
  return RunReaders(ctx, {Unique});
}
int CountersCommand(Context& ctx) {
  return RunReaders(ctx, {Clock, LastReceipt, DailyNumber, Printer, Unique});
}

int Totals(Context& ctx) {
  const auto rate = ctx.Option("--rate");
  if (rate && *rate != "+" && (rate->size() != 1 || (*rate)[0] < 'A' || (*rate)[0] > 'G')) {
    return ctx.UsageError("--rate " + *rate + ": expected one of A..G or +");
  }
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  std::string total;
  const int32_t code = rate ? ReadSelTotal(*rate, total) : ReadTotal(total);
  if (code != 0) return ctx.Fail(code);
  const auto money = MoneyTextFromGroszDigits(total);
  if (!money)
    return ctx.FailWith(kExitInternal, "the driver gave a total that is not a number: " + total);
  ctx.Json()["total"] = *money;
  if (rate) ctx.Json()["rate"] = *rate;
  ctx.Print(*money);
  return ctx.Succeed();
}

}  // namespace

void AddCounterCommands(std::vector<Command>& commands) {
  commands.push_back({"clock",
                      "",
                      "read the printer's clock",
                      "Prints the date YYYY.MM.DD and the time HH:MM (with seconds on the models\n"
                      "that send them). --short gives the other form, YY.MM.DD;HH:MM.\n",
                      {{"--short", "", "YY.MM.DD;HH:MM"}},
                      0,
                      0,
                      true,
                      ClockCommand});
  commands.push_back({"receipt-number",
                      "",
                      "number of the last receipt",
                      "",
                      {},
                      0,
                      0,
                      true,
                      ReceiptNumberCommand});
  commands.push_back({"daily-report-number",
                      "",
                      "number of the last daily report",
                      "",
                      {},
                      0,
                      0,
                      true,
                      DailyNumberCommand});
  commands.push_back({"printer-number",
                      "",
                      "the printer's number and code",
                      "",
                      {},
                      0,
                      0,
                      true,
                      PrinterNumberCommand});
  commands.push_back({"unique-number",
                      "",
                      "the printer's unique number",
                      "",
                      {},
                      0,
                      0,
                      true,
                      UniqueNumberCommand});
  commands.push_back({"counters",
                      "",
                      "the clock, all counters and numbers at once",
                      "clock, receipt-number, daily-report-number, printer-number and\n"
                      "unique-number in one connection; stops at the first refusal.\n",
                      {},
                      0,
                      0,
                      true,
                      CountersCommand});
  commands.push_back({"totals",
                      "",
                      "the day's sales totals",
                      "Prints the sum of the per-rate totals in złoty (\"17.55\"), or with --rate\n"
                      "one rate's (A..G) or the sum (+). Not on RX820 models and TAURA I (224).\n",
                      {{"--rate", "X", "one rate A..G, or + for the sum"}},
                      0,
                      0,
                      true,
                      Totals});
}

}  // namespace tauravat::cli
