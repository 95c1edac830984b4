// receipt: a whole fiscal receipt from a JSON file.
#include <algorithm>
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "command.hpp"
#include "context.hpp"
#include "money_text.hpp"
#include "receipt_sale.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

std::optional<std::string> ReadAll(const std::string& path) {
  if (path == "-") {
    return std::string(std::istreambuf_iterator<char>(std::cin), {});
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Without a printer a dry run checks for this model: the one the tests and most tills use.
constexpr const char* kDryRunModel = "luno";

const char* kStepNames[] = {"check", "begin", "items", "end", "cancel"};

// The line the sale last told of, so that a failure names it as the file does.
int32_t TAURAVAT_CALL NoteLine(void* user, const tauravat_step_info* step) {
  if (step->step == TAURAVAT_STEP_ITEM) *static_cast<int32_t*>(user) = step->item;
  return 0;
}

// The step whose code decided the sale: "items[2]", "end" ...; nothing when the call-back
// stopped it or no code came.
std::string StepOf(const tauravat_sale_outcome& outcome, int32_t line) {
  if (outcome.stopped_at != 0 || outcome.code_count == 0) return {};
  const int32_t step = outcome.codes[outcome.code_count - 1].step;
  if (step == TAURAVAT_STEP_ITEM && line >= 0) return "items[" + std::to_string(line) + "]";
  return step >= 0 && step <= TAURAVAT_STEP_CANCEL ? kStepNames[step] : std::string{};
}

int Refused(Context& ctx, int32_t code, const tauravat_problem& problem) {
  ctx.Json()["field"] = problem.field;
  if (problem.offset >= 0) {
    ctx.Json()["offset"] = problem.offset;
    ctx.Json()["code_point"] = problem.code_point;
  }
  return ctx.Fail(code, ProblemPlace(problem));
}

// The printer's model and its rate table, read before anything is begun.
int32_t ReadPrinter(Context& ctx, tauravat_model_info& model, tauravat_rates& rates) {
  if (const int32_t code = ctx.Connect(); code != TAURAVAT_OK) return code;
  if (const int32_t code = ctx.Model(model); code != TAURAVAT_OK) return code;
  rates = {sizeof rates, 7, {}};
  int32_t count = 0;
  return tauravat_read_vat(ctx.Printer(), &count, rates.values);
}

int PrintSale(Context& ctx, const ReceiptPlan& plan) {
  const PlanSale sale(plan);
  tauravat_sale_outcome outcome{};
  outcome.size = sizeof outcome;
  int32_t line = -1;
  const int32_t code = tauravat_print_sale(ctx.Printer(), &sale.sale, NoteLine, &line, &outcome);
  if (outcome.problem.code != TAURAVAT_OK) {
    NameAsFile(outcome.problem);
    return Refused(ctx, code, outcome.problem);
  }
  static const char* kStates[] = {"", "printed", "cancelled", "failed", "unknown"};
  ctx.Json()["state"] = kStates[outcome.state >= 1 && outcome.state <= 4 ? outcome.state : 4];
  ctx.Json()["total"] = MoneyText(outcome.total);
  if (outcome.receipt_number >= 0) ctx.Json()["receipt_number"] = outcome.receipt_number;
  nlohmann::json codes = nlohmann::json::array();
  for (int32_t i = 0; i < outcome.code_count; ++i)
    codes.push_back({{"step", kStepNames[std::clamp(outcome.codes[i].step, 0, 4)]},
                     {"code", outcome.codes[i].code}});
  ctx.Json()["codes"] = codes;
  if (code != TAURAVAT_OK) {
    if (outcome.state == TAURAVAT_SALE_UNKNOWN)
      ctx.Print(
          "the end went out and nothing could tell whether the receipt printed: look "
          "at the paper or the receipt counter before printing the sale again");
    return ctx.Fail(code, StepOf(outcome, line));
  }
  ctx.Print(
      "receipt" +
      (outcome.receipt_number >= 0 ? " " + std::to_string(outcome.receipt_number) : std::string{}) +
      " printed, total " + MoneyText(outcome.total));
  return ctx.Succeed();
}

int Receipt(Context& ctx) {
  const auto text = ReadAll(ctx.Arg(0));
  if (!text) return ctx.UsageError("cannot read " + ctx.Arg(0));
  std::string error;
  const auto plan = ParseReceiptPlan(*text, error);
  if (!plan) return ctx.UsageError(ctx.Arg(0) + ": " + error);
  const bool dryRun = ctx.Flag("--dry-run");
  const bool withPrinter = !dryRun || !ctx.Port().device.empty();
  const auto modelName = ctx.Option("--model");
  if (modelName && withPrinter)
    return ctx.UsageError("--model is for a dry run without -p: a printer has its own model");

  tauravat_model_info model{};
  model.size = sizeof model;
  tauravat_rates rates{};
  if (withPrinter) {
    if (const int32_t code = ReadPrinter(ctx, model, rates); code != TAURAVAT_OK)
      return ctx.Fail(code, "identify");
  } else if (!ModelNamed(modelName.value_or(kDryRunModel), model)) {
    return ctx.UsageError("--model: no model \"" + *modelName + "\" (" + ModelNames() + ")");
  }
  tauravat_problem problem{};
  problem.size = sizeof problem;
  if (const int32_t code = CheckPlan(model, withPrinter ? &rates : nullptr, *plan, problem);
      code != TAURAVAT_OK)
    return Refused(ctx, code, problem);

  if (dryRun) {
    ctx.Json()["lines"] = plan->lines.size();
    ctx.Json()["model"] = model.short_name;
    ctx.Json()["rates_checked"] = withPrinter;
    ctx.Print(ctx.Arg(0) + ": " + std::to_string(plan->lines.size()) + " lines, taken by " +
              model.name + (withPrinter ? " with its tax rates" : " (tax rates not checked)"));
    return ctx.Succeed();
  }
  return PrintSale(ctx, *plan);
}

}  // namespace

void AddReceiptCommands(std::vector<Command>& commands) {
  commands.push_back(
      {"receipt",
       "FILE",
       "print a fiscal receipt described in a JSON file (- for stdin)",
       "The file (UTF-8) holds the receipt's lines in order, an optional discount in\n"
       "percent, up to four payments and up to six extra lines printed after it:\n"
       "\n"
       "  {\"items\": [\n"
       "     {\"name\": \"Chleb razowy krojony\", \"rate\": \"A\", \"quantity\": 2, \"price\": "
       "450},\n"
       "     {\"name\": \"Ser żółty gouda\", \"rate\": \"B\", \"quantity\": \"0.350\",\n"
       "      \"unit\": \"kg\", \"price\": 2999},\n"
       "     {\"name\": \"Chleb razowy krojony\", \"rate\": \"A\", \"quantity\": 1,\n"
       "      \"price\": 450, \"cancel\": true},\n"
       "     {\"package\": \"S\", \"first\": 1, \"second\": 50, \"amount\": 2},\n"
       "     {\"subtotal\": true}],\n"
       "   \"discount\": 5,\n"
       "   \"payments\": [{\"name\": \"Gotówka\", \"first\": 5000, \"second\": 0}],\n"
       "   \"extra_lines\": [{\"code\": 0, \"text\": \"Dziękujemy\"}]}\n"
       "\n"
       "Money (price, value, first, second of a payment) is złoty as a decimal string,\n"
       "\"4.50\", or a whole number of grosz, 450. quantity: a whole number or a decimal\n"
       "with up to 4 places;\n"
       "rate: A..G or 1..7; unit: up to 4 characters; message: 0..7; value: the line's\n"
       "value when it must differ from quantity x price (rounded half up). package: S,\n"
       "Z, -S or -Z with first, second (0..65535) and amount, passed to the printer as\n"
       "they are. The whole file is checked by the driver, for the printer's model and\n"
       "tax rates, before anything is sent, and printed in one driver call, which\n"
       "recovers from lost answers and says whether it printed: the receipt's number and\n"
       "its total after the discount (--json: state, total, receipt_number and the codes\n"
       "seen). A receipt that fails half-way is cancelled. A refusal names the field, and\n"
       "for a character the printer cannot print, its place and code point.\n"
       "--dry-run with -p reads the printer's model and tax rates and begins nothing;\n"
       "without -p it checks for --model (default luno) and not the tax rates.\n",
       {{"--dry-run", "", "only check the file (with -p: against the printer, beginning nothing)"},
        {"--model", "NAME", "the model a dry run without -p checks for (default luno)"}},
       1,
       1,
       true,
       Receipt});
}

}  // namespace tauravat::cli
