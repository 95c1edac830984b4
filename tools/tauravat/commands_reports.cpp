// The fiscal reports: daily, locked article names, printer state, periodic by dates, by
// month and by daily-report numbers.
#include <chrono>
#include <compare>
#include <cstdio>
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

struct Date {
  int year = 0;  // 2000..2099
  int month = 0;
  int day = 0;

  auto operator<=>(const Date&) const = default;
};

// "2024-05-31" or "24-05-31"; with `withDay` false "2024-05" or "24-05".
std::optional<Date> ParseDate(const std::string& text, bool withDay) {
  Date date;
  int consumed = 0;
  const int fields =
      withDay
          ? std::sscanf(text.c_str(), "%d-%d-%d%n", &date.year, &date.month, &date.day, &consumed)
          : std::sscanf(text.c_str(), "%d-%d%n", &date.year, &date.month, &consumed);
  if (fields != (withDay ? 3 : 2) || static_cast<size_t>(consumed) != text.size()) {
    return std::nullopt;
  }
  if (date.year >= 0 && date.year <= 99) date.year += 2000;
  if (date.year < 2000 || date.year > 2099 || date.month < 1 || date.month > 12)
    return std::nullopt;
  if (withDay && !std::chrono::year_month_day(std::chrono::year(date.year),
                                              std::chrono::month(static_cast<unsigned>(date.month)),
                                              std::chrono::day(static_cast<unsigned>(date.day)))
                      .ok()) {
    return std::nullopt;
  }
  return date;
}

int32_t Kind(const Context& ctx) {
  return ctx.Flag("--short") ? TAURAVAT_REPORT_SHORT : TAURAVAT_REPORT_DETAILED;
}

int Finish(Context& ctx, int32_t code) {
  if (code != 0) return ctx.Fail(code);
  ctx.Print("report printed");
  return ctx.Succeed();
}

int Daily(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_daily_report(ctx.Printer(), ctx.Flag("--force") ? 1 : 0));
}

int Locked(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_locked_articles_report(ctx.Printer()));
}

int State(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_printer_status_report(ctx.Printer()));
}

int Period(Context& ctx) {
  const auto from = ParseDate(ctx.Arg(0), true);
  const auto to = ParseDate(ctx.Arg(1), true);
  if (!from || !to) {
    return ctx.UsageError("dates \"" + ctx.Arg(0) + "\" \"" + ctx.Arg(1) +
                          "\": expected YYYY-MM-DD (or YY-MM-DD)");
  }
  // The printer would refuse it only after the wait for a report.
  if (*to < *from) {
    return ctx.UsageError("dates " + ctx.Arg(0) + " " + ctx.Arg(1) +
                          ": the first is after the last (FROM TO)");
  }
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_period_report(ctx.Printer(), Kind(ctx), from->year, from->month,
                                            from->day, to->year, to->month, to->day));
}

int Monthly(Context& ctx) {
  const auto month = ParseDate(ctx.Arg(0), false);
  if (!month) return ctx.UsageError("month \"" + ctx.Arg(0) + "\": expected YYYY-MM");
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_monthly_report(ctx.Printer(), Kind(ctx), month->year, month->month));
}

int ByNumber(Context& ctx) {
  const auto from = ctx.ArgNumber(0, 1, 65535, "first report number");
  if (!from) return kExitUsage;
  const auto to = ctx.ArgNumber(1, 1, 65535, "last report number");
  if (!to) return kExitUsage;
  if (*to < *from) {
    return ctx.UsageError("report numbers " + ctx.Arg(0) + " " + ctx.Arg(1) +
                          ": the first is after the last (FROM TO)");
  }
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  return Finish(ctx, tauravat_number_report(ctx.Printer(), Kind(ctx), static_cast<int32_t>(*from),
                                            static_cast<int32_t>(*to)));
}

const OptionSpec kShort{"--short", "", "the short form instead of the detailed one"};

}  // namespace

void AddReportCommands(std::vector<Command>& commands) {
  commands.push_back({"daily-report",
                      "",
                      "print the daily report",
                      "Refused (211) when no receipt was issued since the last one, unless\n"
                      "--force is given and the model prints an empty daily report.\n",
                      {{"--force", "", "print even without receipts since the last report"}},
                      0,
                      0,
                      true,
                      Daily});
  commands.push_back({"locked-report",
                      "",
                      "print the report of locked article names",
                      "",
                      {},
                      0,
                      0,
                      true,
                      Locked});
  commands.push_back(
      {"status-report", "", "print the printer state report", "", {}, 0, 0, true, State});
  commands.push_back({"period-report",
                      "FROM TO",
                      "print the periodic report between two dates",
                      "FROM and TO are dates YYYY-MM-DD (years 2000..2099), FROM not after TO.\n"
                      "The printer may take minutes; the driver waits up to 90 s for its answer.\n",
                      {kShort},
                      2,
                      2,
                      true,
                      Period});
  commands.push_back({"monthly-report",
                      "YYYY-MM",
                      "print the monthly report",
                      "Only on models with the periodic report command (TAURA II, TAURA F,\n"
                      "LUNO, LUNO F); others answer 224.\n",
                      {kShort},
                      1,
                      1,
                      true,
                      Monthly});
  commands.push_back({"number-report",
                      "FROM TO",
                      "print the periodic report between two daily report numbers",
                      "FROM and TO are daily report numbers 1..65535, FROM not above TO. Models\n"
                      "as monthly-report.\n",
                      {kShort},
                      2,
                      2,
                      true,
                      ByNumber});
}

}  // namespace tauravat::cli
