// clock, the printer's counters and numbers, the totals, and all of them at once.
#include <algorithm>
#include <functional>
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "handle_text.hpp"
#include "money_text.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

// "2024-05-31 14:07:09" (or without the seconds) as the date and the time.
int32_t ReadClock(Context& ctx, std::string& date, std::string& time) {
  std::string text;
  if (const int32_t code = ReadText(std::bind_front(tauravat_read_clock, ctx.Printer()), text);
      code != 0)
    return code;
  date = text.substr(0, text.find(' '));
  time = text.substr(std::min(text.size(), date.size() + 1));
  return 0;
}

// Each reader adds its fields to the output; a failure is returned as its code.
int32_t Clock(Context& ctx) {
  std::string date;
  std::string time;
  if (const int32_t code = ReadClock(ctx, date, time); code != 0) return code;
  // JSON in ISO 8601, as every program's JSON; the text as the printer's own receipts.
  ctx.Json()["date"] = date;
  ctx.Json()["time"] = time;
  ctx.Json()["clock"] = date + "T" + time;
  std::replace(date.begin(), date.end(), '-', '.');
  ctx.Print("clock " + date + " " + time);
  return 0;
}

// YY.MM.DD;HH:MM
int32_t ShortClock(Context& ctx) {
  std::string date;
  std::string time;
  if (const int32_t code = ReadClock(ctx, date, time); code != 0) return code;
  ctx.Json()["clock"] = date + "T" + time.substr(0, 5);
  std::replace(date.begin(), date.end(), '-', '.');
  const std::string text = date.substr(std::min<size_t>(2, date.size())) + ";" + time.substr(0, 5);
  ctx.Print(text);
  return 0;
}

int32_t LastReceipt(Context& ctx) {
  int32_t number = 0;
  if (const int32_t code = tauravat_receipt_number(ctx.Printer(), &number); code != 0) return code;
  ctx.Json()["receipt_number"] = number;
  ctx.Print("receipt number " + std::to_string(number));
  return 0;
}

int32_t DailyNumber(Context& ctx) {
  int32_t number = 0;
  if (const int32_t code = tauravat_daily_report_number(ctx.Printer(), &number); code != 0)
    return code;
  ctx.Json()["daily_report_number"] = number;
  ctx.Print("daily report number " + std::to_string(number));
  return 0;
}

int32_t Printer(Context& ctx) {
  int32_t number = 0;
  std::string code;
  if (const int32_t result =
          ReadText(std::bind_front(tauravat_printer_number, ctx.Printer(), &number), code);
      result != 0)
    return result;
  ctx.Json()["printer_number"] = number;
  ctx.Json()["printer_code"] = code;
  ctx.Print("printer number " + std::to_string(number) + " code " + code);
  return 0;
}

// Shown as the printer prints it: "ABC 12345678".
int32_t Unique(Context& ctx) {
  std::string number;
  if (const int32_t code =
          ReadText(std::bind_front(tauravat_read_unique_number, ctx.Printer()), number);
      code != 0)
    return code;
  if (number.size() > 3) number.insert(3, " ");
  ctx.Json()["unique_number"] = number;
  ctx.Print("unique number " + number);
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
  int64_t total = 0;
  const int32_t code = rate ? tauravat_read_sel_total(ctx.Printer(), rate->c_str(), &total)
                            : tauravat_read_total(ctx.Printer(), &total);
  if (code != 0) return ctx.Fail(code);
  const std::string money = MoneyText(total);
  ctx.Json()["total"] = money;
  if (rate) ctx.Json()["rate"] = *rate;
  ctx.Print(money);
  return ctx.Succeed();
}

}  // namespace

void AddCounterCommands(std::vector<Command>& commands) {
  commands.push_back({"clock",
                      "",
                      "read the printer's clock",
                      "Prints the date YYYY.MM.DD and the time HH:MM (with seconds on the models\n"
                      "that send them). --short gives the other form, YY.MM.DD;HH:MM.\n"
                      "In --json the clock is ISO 8601: \"clock\": \"2024-05-31T14:07:09\"\n"
                      "(\"2024-05-31T14:07\" with --short), \"date\" and \"time\" its parts.\n",
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
