// drawer, line-feed, resume, print-control and raw sequences.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "command.hpp"
#include "context.hpp"
#include "hex.hpp"
#include "raw_reply.hpp"
#include "tauravat.h"

namespace tauravat::cli {
namespace {

int Drawer(Context& ctx) {
  const auto drawer = ctx.ArgNumber(0, 1, 3, "drawer");
  if (!drawer) return kExitUsage;
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (const int32_t code = tauravat_open_drawer(ctx.Printer(), static_cast<int32_t>(*drawer));
      code != 0) {
    return ctx.Fail(code);
  }
  ctx.Print("drawer " + std::to_string(*drawer) + " opened");
  return ctx.Succeed();
}

int LineFeed(Context& ctx) {
  const auto count = ctx.ArgNumber(0, 0, 255, "line count");
  if (!count) return kExitUsage;
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (const int32_t code = tauravat_write_line_feed(ctx.Printer(), static_cast<int32_t>(*count));
      code != 0) {
    return ctx.Fail(code);
  }
  return ctx.Succeed();
}

int Resume(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  if (const int32_t code = tauravat_print_resume(ctx.Printer()); code != 0) return ctx.Fail(code);
  ctx.Print("printout finished");
  return ctx.Succeed();
}

int Supervise(Context& ctx) {
  if (const int32_t code = ctx.Connect(); code != 0) return ctx.Fail(code, "connect");
  const int32_t mode = ctx.Flag("--before") ? TAURAVAT_PRINT_BEFORE : TAURAVAT_PRINT_FOLLOW;
  if (const int32_t code = tauravat_print_control(ctx.Printer(), mode); code != 0) {
    return ctx.Fail(code);
  }
  ctx.Print("printer idle");
  return ctx.Succeed();
}

int Raw(Context& ctx) {
  const auto command = ParseHexByte(ctx.Arg(0));
  if (!command) return ctx.UsageError("command \"" + ctx.Arg(0) + "\": expected one hex byte");
  std::string error;
  const auto parameters = ParseHex({ctx.Line().args.begin() + 1, ctx.Line().args.end()}, error);
  if (!parameters) return ctx.UsageError("parameters: " + error);
  if (parameters->size() > 255) {
    return ctx.UsageError(std::to_string(parameters->size()) +
                          " parameter bytes: the limit is 255 (the sequence counts them in one "
                          "byte)");
  }
  const auto replyLength = ctx.OptionNumber("--reply", 0, 255, 1);
  if (!replyLength) return kExitUsage;

  if (const int32_t code = ctx.OpenRawPort(); code != 0) return ctx.Fail(code, "open port");
  std::vector<uint8_t> reply(static_cast<size_t>(*replyLength));
  const int32_t code = tauravat_rs_sequence(
      ctx.Printer(), *command, parameters->empty() ? nullptr : parameters->data(),
      parameters->size(), reply.size(), reply.empty() ? nullptr : reply.data(), reply.size(),
      nullptr);
  const auto received = ReceivedReply(*command, code, reply);
  ctx.Json()["command"] = FormatHex(std::span(&*command, 1));
  ctx.Json()["reply"] = FormatHex(received);
  if (code != 0) return ctx.Fail(code);
  if (!received.empty()) ctx.Print(FormatHex(received));
  return ctx.Succeed();
}

}  // namespace

void AddDeviceCommands(std::vector<Command>& commands) {
  commands.push_back({"drawer",
                      "N",
                      "open cash drawer N (1..3)",
                      "Works during a receipt as well.\n",
                      {},
                      1,
                      1,
                      true,
                      Drawer});
  commands.push_back({"line-feed",
                      "N",
                      "set the lines fed after a printout (0..255)",
                      "",
                      {},
                      1,
                      1,
                      true,
                      LineFeed});
  commands.push_back({"resume",
                      "",
                      "resume a printout stopped for paper",
                      "Refused with 109 while the paper is still out; otherwise waits for the\n"
                      "printout to end.\n",
                      {},
                      0,
                      0,
                      true,
                      Resume});
  commands.push_back({"print-control",
                      "",
                      "wait until the printer has finished printing",
                      "Follows the printout to its end; with --before, checks the printer the way\n"
                      "the driver does before a printout, resuming a stopped one.\n",
                      {{"--before", "", "the check before a printout"}},
                      0,
                      0,
                      true,
                      Supervise});
  commands.push_back(
      {"raw",
       "CMD [PARAM ...]",
       "send one command sequence, show the reply in hex",
       "Sends ESC, the command byte CMD and the parameter bytes (hex: \"1B 2C\",\n"
       "\"1b2c\", \"0x1B,0x2C\"), then prints the reply bytes that arrived, in hex.\n"
       "--reply N is the length of the first reply counting the ACK (default 1:\n"
       "just the ACK; 0: read nothing). Only the port is opened: nothing else is\n"
       "sent. Example: tauravat --port 1 raw --reply 2 FF (the identification byte).\n",
       {{"--reply", "N", "bytes of the first reply, ACK included (default 1)"}},
       1,
       // Counted in bytes by Raw: one word may hold several ("1b2c").
       SIZE_MAX,
       true,
       Raw});
}

}  // namespace tauravat::cli
