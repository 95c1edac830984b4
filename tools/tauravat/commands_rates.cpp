// read-rates, write-rates: the printer's tax (PTU) rates A..G.
#include <algorithm>
#include <array>
#include <functional>
#include <iostream>
#include <string>

#include "command.hpp"
#include "confirm.hpp"
#include "context.hpp"
#include "encoding.hpp"
#include "handle_text.hpp"
#include "progress.hpp"
#include "rates_text.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

using Rates = std::array<uint32_t, 7>;

int32_t Read(Context& ctx, int32_t& count, Rates& rates) {
  return tauravat_read_vat(ctx.Printer(), &count, rates.data());
}

std::string Letter(size_t k) {
  return std::string(1, static_cast<char>('A' + k));
}

void Show(Context& ctx, int32_t count, const Rates& rates) {
  nlohmann::json values = nlohmann::json::object();
  for (size_t k = 0; k < static_cast<size_t>(count) && k < 7; ++k) {
    values[Letter(k)] = RateText(rates[k]);
    ctx.Print(Letter(k) + " " + FormatRate(rates[k]));
  }
  ctx.Json()["count"] = count;
  ctx.Json()["rates"] = values;
}

// "A 23%, B 8%, C reserved" for the first `count` rates.
std::string RateList(const Rates& rates, size_t count) {
  std::string text;
  for (size_t k = 0; k < count && k < 7; ++k) {
    text += (k == 0 ? "" : ", ") + Letter(k) + " " + FormatRate(rates[k]);
  }
  return text;
}

// Shows the printer's rates beside the new ones (the first `given`, the others as the
// printer holds them) and asks on the terminal, unless nothing would be written. Nothing
// has been written when this declines.
int32_t Confirm(Context& ctx, const Rates& given, size_t count_given, bool force, bool& confirmed) {
  int32_t count = 0;
  Rates current{};
  if (const int32_t code = Read(ctx, count, current); code != 0) return code;
  Rates rates = current;
  std::copy_n(given.begin(), count_given, rates.begin());
  const auto kept = static_cast<size_t>(count);
  if (!force && std::equal(rates.begin(), rates.begin() + kept, current.begin())) {
    confirmed = true;  // the driver sends nothing: there is nothing to ask
    return 0;
  }
  std::string model;
  if (const int32_t code = ReadText(std::bind_front(tauravat_device_name, ctx.Printer()), model);
      code != 0)
    return code;
  const auto shown = kept;
  ClearProgressLine();
  std::cerr << ForTerminal("The printer (" + model + ") holds " + RateList(current, shown) +
                               ".\nNew rates: " + RateList(rates, shown) + ".\n",
                           ctx.Codeset());
  confirmed =
      AskYesNo("Write the new rates into the printer's fiscal memory? This cannot be undone.",
               std::cin, std::cerr);
  return 0;
}

// What the driver's check found wrong with one rate, for a person.
std::string RuleText(const tauravat_problem& problem) {
  switch (problem.rule) {
    case TAURAVAT_RULE_WHOLE_PERCENT:
      return "this model takes whole percents only";
    case TAURAVAT_RULE_TOO_LARGE:
      return "above the highest rate, " + FormatRate(static_cast<uint32_t>(problem.limit));
    case TAURAVAT_RULE_ORDER:
      return "above the rate before it, " + FormatRate(static_cast<uint32_t>(problem.limit)) +
             " (this model keeps its rates in falling order)";
    case TAURAVAT_RULE_NOT_ALLOWED:
      return "this model does not take it there";
    default:
      return "refused";
  }
}

// The table that would be written (the rates given, the others as the printer holds them)
// through the driver's own check for this model: a refused rate is named with its letter
// before anything is asked or sent. 0, or the program's exit status.
int32_t CheckTable(Context& ctx, const Rates& given, size_t countGiven, bool& refused) {
  refused = false;
  tauravat_model_info model{};
  model.size = sizeof model;
  if (const int32_t code = tauravat_printer_model(ctx.Printer(), &model); code != 0) {
    return ctx.Fail(code);
  }
  tauravat_rates table{};
  table.size = sizeof table;
  int32_t count = 0;
  Rates current{};
  if (const int32_t code = Read(ctx, count, current); code != 0) return ctx.Fail(code);
  std::copy_n(given.begin(), countGiven, current.begin());
  table.count = 7;
  std::copy(current.begin(), current.end(), table.values);
  tauravat_problem problem{};
  problem.size = sizeof problem;
  const int32_t code = tauravat_check_rates(&model, &table, &problem);
  if (code == 0) return 0;
  refused = true;
  const std::string field = problem.field;
  ctx.Json()["field"] = field;
  // "rates[1]" is rate B.
  const size_t open = field.find('['), close = field.find(']');
  std::string place = field;
  if (open != std::string::npos && close != std::string::npos && close == open + 2) {
    const size_t k = static_cast<size_t>(field[open + 1] - '0');
    if (k < 7) {
      place = "rate " + Letter(k) + " " + FormatRate(current[k]);
      ctx.Json()["rate"] = Letter(k);
    }
  }
  return ctx.Fail(code, place + ": " + RuleText(problem));
}

int ReadRates(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  int32_t count = 0;
  Rates rates{};
  if (const int32_t code = Read(ctx, count, rates); code != 0) return ctx.Fail(code);
  Show(ctx, count, rates);
  return ctx.Succeed();
}

int WriteRates(Context& ctx) {
  Rates rates;
  rates.fill(TAURAVAT_RATE_RESERVED);
  for (size_t k = 0; k < ctx.Line().args.size(); ++k) {
    const auto value = ParseRate(ctx.Arg(k));
    if (!value) {
      // Refused as the driver refuses a rate it cannot take, so every program names it alike.
      ctx.Json()["field"] = "rates[" + std::to_string(k) + "]";
      ctx.Json()["rate"] = Letter(k);
      return ctx.Fail(TAURAVAT_E_PARAMETER_RANGE, "rate " + Letter(k) + " \"" + ctx.Arg(k) +
                                                      "\": expected a percent 0..99.99, R or Z");
    }
    rates[k] = *value;
  }
  const bool ask = !ctx.Flag("--yes");
  if (ask && !InputIsTerminal()) {
    return ctx.UsageError(
        "the rates go into the printer's fiscal memory for good: confirm on a terminal, or "
        "give --yes to write them without asking");
  }
  const bool force = ctx.Flag("--force");
  const size_t given = ctx.Line().args.size();
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  bool refused = false;
  if (const int status = CheckTable(ctx, rates, given, refused); refused || status != 0) {
    return status;
  }
  if (ask) {
    bool confirmed = false;
    if (const int32_t code = Confirm(ctx, rates, given, force, confirmed); code != 0)
      return ctx.Fail(code);
    if (!confirmed) return ctx.FailWith(kExitRefused, "not confirmed: nothing was written");
  }
  tauravat_rates table{};
  table.size = sizeof table;
  table.count = static_cast<int32_t>(given);
  std::copy(rates.begin(), rates.end(), table.values);
  int32_t written = 0;
  const int32_t code =
      tauravat_write_rates(ctx.Printer(), &table, force ? TAURAVAT_FORCE : 0u, &written);
  if (code != 0) {
    if (code == 218) ctx.Json()["hint"] = "print the daily report first (daily-report)";
    return ctx.Fail(code);
  }
  ctx.Json()["written"] = written != 0;
  if (written == 0) ctx.Print("unchanged, nothing written");
  // What the printer holds now, as it reads back.
  int32_t count = 0;
  Rates stored{};
  if (const int32_t readCode = Read(ctx, count, stored); readCode != 0) return ctx.Fail(readCode);
  Show(ctx, count, stored);
  return ctx.Succeed();
}

}  // namespace

void AddRateCommands(std::vector<Command>& commands) {
  commands.push_back({"read-rates",
                      "",
                      "read the tax rates",
                      "Prints the rates the printer holds (4, 6 or 7 of A..G): a percent (23%,\n"
                      "7.5%), reserved or exempt. In --json each rate is a string: the percent\n"
                      "without the sign (\"23\", \"7.5\"), \"reserved\" or \"exempt\".\n",
                      {},
                      0,
                      0,
                      true,
                      ReadRates});
  commands.push_back({"write-rates",
                      "A [B .. G]",
                      "write the tax rates",
                      "Writes the rates A, B, ... in order: a percent (23, 7.5, 7.5%), reserved\n"
                      "(or R) or exempt (or Z); rates not given stay as the printer holds them.\n"
                      "A model with fewer rates ignores the rest; 4-rate models take whole\n"
                      "percents only. Each write takes an entry of the fiscal memory, so rates\n"
                      "the printer already holds are not written again: the program prints\n"
                      "\"unchanged, nothing written\" and exits with 0 (--json: \"written\":\n"
                      "false); --force writes them anyway. The printer accepts new rates only\n"
                      "right after a daily report (code 218 otherwise). The rates are read\n"
                      "back and printed.\n"
                      "The rates go into the fiscal memory for good, so on a terminal the\n"
                      "program shows the printer's rates beside the new ones and asks first;\n"
                      "without a terminal it writes only with --yes. Declining exits with 1.\n",
                      {{"--yes", "", "write without asking"},
                       {"--force", "", "write even the rates the printer already holds"}},
                      1,
                      7,
                      true,
                      WriteRates});
}

}  // namespace tauravat::cli
