// read-rates, write-rates: the printer's tax (PTU) rates A..G.
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

// Shows the printer's rates beside the new ones and asks on the terminal. Nothing has
// been written when this declines.
int32_t Confirm(Context& ctx, const Rates& rates, bool& confirmed) {
  int32_t count = 0;
  Rates current{};
  if (const int32_t code = Read(ctx, count, current); code != 0) return code;
  std::string model;
  if (const int32_t code = ReadText(std::bind_front(tauravat_device_name, ctx.Printer()), model);
      code != 0)
    return code;
  const auto shown = static_cast<size_t>(count);
  ClearProgressLine();
  std::cerr << ForTerminal("The printer (" + model + ") holds " + RateList(current, shown) +
                               ".\nNew rates: " + RateList(rates, shown) + ".\n",
                           ctx.Codeset());
  confirmed =
      AskYesNo("Write the new rates into the printer's fiscal memory? This cannot be undone.",
               std::cin, std::cerr);
  return 0;
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
      return ctx.UsageError("rate " + std::string(1, static_cast<char>('A' + k)) + " \"" +
                            ctx.Arg(k) + "\": expected a percent 0..99.99, R or Z");
    }
    rates[k] = *value;
  }
  const bool ask = !ctx.Flag("--yes");
  if (ask && !InputIsTerminal()) {
    return ctx.UsageError(
        "the rates go into the printer's fiscal memory for good: confirm on a terminal, or "
        "give --yes to write them without asking");
  }
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (ask) {
    bool confirmed = false;
    if (const int32_t code = Confirm(ctx, rates, confirmed); code != 0) return ctx.Fail(code);
    if (!confirmed) return ctx.FailWith(kExitRefused, "not confirmed: nothing was written");
  }
  int32_t count = 0;
  const int32_t code = tauravat_set_vat(ctx.Printer(), &count, rates.data());
  if (code != 0) {
    if (code == 218) ctx.Json()["hint"] = "print the daily report first (daily-report)";
    return ctx.Fail(code);
  }
  // What the printer holds now, as it reads back.
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
                      "(or R) or exempt (or Z); rates not given are reserved. A model with\n"
                      "fewer rates ignores the rest; 4-rate models take whole percents only.\n"
                      "The printer accepts new rates only right after a daily report (code\n"
                      "218 otherwise). The rates are read back and printed.\n"
                      "The rates go into the fiscal memory for good, so on a terminal the\n"
                      "program shows the printer's rates beside the new ones and asks first;\n"
                      "without a terminal it writes only with --yes. Declining exits with 1.\n",
                      {{"--yes", "", "write without asking"}},
                      1,
                      7,
                      true,
                      WriteRates});
}

}  // namespace tauravat::cli
