// read-rates, write-rates: the printer's tax (PTU) rates A..G.
#include <array>
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "rates_text.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

using Rates = std::array<uint32_t, 7>;

int32_t Read(int32_t& count, Rates& r) {
  return ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
}

void Show(Context& ctx, int32_t count, const Rates& rates) {
  nlohmann::json values = nlohmann::json::object();
  for (int32_t k = 0; k < count && k < 7; ++k) {
    const std::string letter(1, static_cast<char>('A' + k));
    values[letter] = rates[static_cast<size_t>(k)];
    ctx.Print(letter + " " + FormatRate(rates[static_cast<size_t>(k)]));
  }
  ctx.Json()["count"] = count;
  ctx.Json()["rates"] = values;
}

int ReadRates(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  int32_t count = 0;
  Rates rates{};
  if (const int32_t code = Read(count, rates); code != 0) return ctx.Fail(code);
  Show(ctx, count, rates);
  return ctx.Succeed();
}

int WriteRates(Context& ctx) {
  Rates rates;
  rates.fill(kReservedRate);
  for (size_t k = 0; k < ctx.Line().args.size(); ++k) {
    const auto value = ParseRate(ctx.Arg(k));
    if (!value) {
      return ctx.UsageError("rate " + std::string(1, static_cast<char>('A' + k)) + " \"" +
                            ctx.Arg(k) + "\": expected a percent 0..99.99, R or Z");
    }
    rates[k] = *value;
  }
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  int32_t count = 0;
  const int32_t code =
      SetVAT(&count, rates[0], rates[1], rates[2], rates[3], rates[4], rates[5], rates[6]);
  if (code != 0) {
    if (code == 218) ctx.Json()["hint"] = "print the daily report first (daily-report)";
    return ctx.Fail(code);
  }
  // What the printer holds now, as it reads back.
  Rates stored{};
  if (const int32_t readCode = Read(count, stored); readCode != 0) return ctx.Fail(readCode);
  Show(ctx, count, stored);
  return ctx.Succeed();
}

}  // namespace

void AddRateCommands(std::vector<Command>& commands) {
  commands.push_back({"read-rates",
                      "",
                      "read the tax rates",
                      "Prints the rates the printer holds (4, 6 or 7 of A..G): a percent,\n"
                      "REZERWA (reserved) or ZWOLNIONA (exempt). In --json the values are in\n"
                      "hundredths of a percent: 25500 reserved, 10000 exempt.\n",
                      {},
                      0,
                      0,
                      true,
                      ReadRates});
  commands.push_back({"write-rates",
                      "A [B .. G]",
                      "write the tax rates",
                      "Writes the rates A, B, ... in order: a percent (23, 7.5), R for a reserved\n"
                      "rate or Z for the exempt one; rates not given are reserved. A model with\n"
                      "fewer rates ignores the rest; 4-rate models take whole percents only.\n"
                      "The printer accepts new rates only right after a daily report (code\n"
                      "218 otherwise). The rates are read back and printed.\n",
                      {},
                      1,
                      7,
                      true,
                      WriteRates});
}

}  // namespace tauravat::cli
