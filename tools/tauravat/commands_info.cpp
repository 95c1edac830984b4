// identify, conditions, version, message, name-chars: who is connected and what the
// driver says about itself and its codes.
#include <string>

#include "command.hpp"
#include "context.hpp"
#include "device_type.hpp"
#include "encoding.hpp"
#include "tauravat.hpp"

namespace tauravat::cli {
namespace {

int Identify(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  std::string name;
  if (const int32_t code = DeviceName(name); code != 0) return ctx.Fail(code);
  const std::string text = Cp1250ToUtf8(name);
  const auto type = DeviceTypeFromName(name);
  ctx.Json()["device"] = text;
  ctx.Json()["type"] = type ? nlohmann::json(*type) : nlohmann::json(nullptr);
  ctx.Print(type ? text + " (device type " + std::to_string(*type) + ")" : text);
  return ctx.Succeed();
}

int Conditions(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (const int32_t code = ReceiptConditions(); code != 0) return ctx.Fail(code);
  ctx.Print("ready for a receipt");
  return ctx.Succeed();
}

int Version(Context& ctx) {
  std::string version;
  std::string author;
  if (const int32_t code = DllVersion(version); code != 0) return ctx.Fail(code);
  if (const int32_t code = DllAuthor(author); code != 0) return ctx.Fail(code);
  ctx.Json()["version"] = Cp1250ToUtf8(version);
  ctx.Json()["author"] = Cp1250ToUtf8(author);
  ctx.Print("libtauravat " + Cp1250ToUtf8(version));
  ctx.Print(Cp1250ToUtf8(author));
  return ctx.Succeed();
}

int Message(Context& ctx) {
  const auto code = ctx.ArgNumber(0, INT32_MIN, INT32_MAX, "code");
  if (!code) return kExitUsage;
  const std::string text = MessageUtf8(static_cast<int32_t>(*code));
  ctx.Json()["message"] = text;
  ctx.Json()["exit"] = static_cast<int>(ExitStatusFor(static_cast<int32_t>(*code)));
  ctx.Print(text);
  return ctx.Succeed();
}

int NameChars(Context& ctx) {
  const auto name = ctx.ArgToCp1250(0, "the name");
  if (!name) return kExitUsage;
  const int32_t count = CharsInArticleName(*name);
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
  commands.push_back({"version",
                      "",
                      "the driver's version and author",
                      "No printer needed.\n",
                      {},
                      0,
                      0,
                      false,
                      Version});
  commands.push_back({"message",
                      "CODE",
                      "the Polish message of a result code",
                      "Prints the driver's message for CODE and, in --json, the exit status\n"
                      "this program gives for it. No printer needed.\n",
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
