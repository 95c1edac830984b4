// receipt: a whole fiscal receipt from a JSON file.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "command.hpp"
#include "context.hpp"
#include "money_text.hpp"
#include "receipt_run.hpp"
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

int Receipt(Context& ctx) {
  const auto text = ReadAll(ctx.Arg(0));
  if (!text) return ctx.UsageError("cannot read " + ctx.Arg(0));
  std::string error;
  const auto plan = ParseReceiptPlan(*text, error);
  if (!plan) return ctx.UsageError(ctx.Arg(0) + ": " + error);
  if (ctx.Flag("--dry-run")) {
    ctx.Json()["lines"] = plan->lines.size();
    ctx.Print(ctx.Arg(0) + ": " + std::to_string(plan->lines.size()) + " lines, well formed");
    return ctx.Succeed();
  }

  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  tauravat_model_info model{};
  if (const int32_t code = ctx.Model(model); code != 0) return ctx.Fail(code, "identify");
  const ReceiptOutcome outcome = RunReceipt(ctx.Printer(), model, *plan);

  nlohmann::json values = nlohmann::json::array();
  for (const int64_t value : outcome.values) values.push_back(MoneyText(value));
  ctx.Json()["values"] = values;
  ctx.Json()["sum"] = MoneyText(outcome.sum);
  if (outcome.cancelCode >= 0) ctx.Json()["cancel_code"] = outcome.cancelCode;
  if (outcome.code != 0) return ctx.Fail(outcome.code, outcome.step);
  ctx.Print("receipt printed, sum " + MoneyText(outcome.sum) +
            (plan->discount != 0 ? " before " + std::to_string(plan->discount) + "% discount"
                                 : std::string{}));
  return ctx.Succeed();
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
       "Money is in grosz. quantity: a whole number or a decimal with up to 4 places;\n"
       "rate: A..G or 1..7; unit: up to 4 characters; message: 0..9; value: the line's\n"
       "value when it must differ from quantity x price (rounded half up). package: S,\n"
       "Z, -S or -Z with first, second (0..65535) and amount, passed to the printer as\n"
       "they are. The whole file is checked before anything is sent; a receipt that\n"
       "fails half-way is cancelled. Prints the sum before the discount in złoty;\n"
       "--json gives each article line's value too, as strings (\"9.00\").\n",
       {{"--dry-run", "", "only check the file"}},
       1,
       1,
       true,
       Receipt});
}

}  // namespace tauravat::cli
