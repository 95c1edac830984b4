// identify, conditions, version, message, name-chars: who is connected and what the
// driver says about itself and its codes.
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "handle_text.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

int Identify(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  tauravat_model_info model{};
  if (const int32_t code = ctx.Model(model); code != 0) return ctx.Fail(code);
  ctx.Json()["device"] = model.name;
  ctx.Json()["type"] = model.type;
  ctx.Print(std::string(model.name) + " (device type " + std::to_string(model.type) + ")");
  return ctx.Succeed();
}

int Conditions(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (const int32_t code = tauravat_receipt_conditions(ctx.Printer()); code != 0)
    return ctx.Fail(code);
  ctx.Print("ready for a receipt");
  return ctx.Succeed();
}

int Version(Context& ctx) {
  const std::string version = tauravat_version();
  ctx.Json()["version"] = version;
  ctx.Print("libtauravat " + version);
  return ctx.Succeed();
}

int Message(Context& ctx) {
  const auto code = ctx.ArgNumber(0, INT32_MIN, INT32_MAX, "code");
  if (!code) return kExitUsage;
  const int32_t value = static_cast<int32_t>(*code);
  const std::string text = MessageIn(value, ctx.Language());
  const char* name = tauravat_code_name(value);
  ctx.Json()["name"] = name != nullptr ? nlohmann::json(name) : nlohmann::json(nullptr);
  ctx.Json()["message"] = text;
  ctx.Json()["message_pl"] = MessageIn(value, "pl");
  ctx.Json()["message_en"] = MessageIn(value, "en");
  ctx.Json()["exit"] = static_cast<int>(ExitStatusFor(static_cast<int32_t>(*code)));
  ctx.Print(text);
  return ctx.Succeed();
}

int NameChars(Context& ctx) {
  const auto name = ctx.ArgUtf8(0, "the name");
  if (!name) return kExitUsage;
  int32_t count = 0;
  const int32_t code = tauravat_chars_in_article_name(name->c_str(), &count);
  if (code == TAURAVAT_E_PARAMETER_RANGE)
    return ctx.UsageError("the name holds a character code page 1250 cannot represent");
  if (code != 0) return ctx.Fail(code);
  ctx.Json()["significant"] = count;
  ctx.Print(std::to_string(count));
  return ctx.Succeed();
}

}  // namespace

void AddInfoCommands(std::vector<Command>& commands) {
  commands.push_back({"identify",
                      "",
                      "connect and name the printer model",
                      "Opens the port, initialises the connection (which also ends any receipt\n"
                      "the printer has open) and prints the model with its device type code.\n",
                      {},
                      0,
                      0,
                      true,
                      Identify});
  commands.push_back({"conditions",
                      "",
                      "check that the printer can issue a receipt",
                      "Reads the printer's status bytes and tax rates and waits for a pending\n"
                      "printout; succeeds when a receipt can be begun, otherwise prints why not.\n",
                      {},
                      0,
                      0,
                      true,
                      Conditions});
  commands.push_back(
      {"version", "", "the driver's version", "No printer needed.\n", {}, 0, 0, false, Version});
  commands.push_back({"message",
                      "CODE",
                      "the message of a result code",
                      "Prints the driver's message for CODE, in Polish in a Polish locale and\n"
                      "in English otherwise (--lang chooses), and, in --json, its name, both\n"
                      "messages and the exit status this program gives for it. No printer\n"
                      "needed.\n",
                      {},
                      1,
                      1,
                      false,
                      Message});
  commands.push_back(
      {"name-chars",
       "NAME",
       "count the significant characters of an article name",
       "Letters, digits, the Polish letters and % , . / \\ count, among the first 28\n"
       "characters. A name needs 10 of them (5 on TAURA II, LUNO, LUNO F).\n"
       "No printer needed.\n",
       {},
       1,
       1,
       false,
       NameChars});
}

}  // namespace tauravat::cli
