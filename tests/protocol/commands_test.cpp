// The driver's command table against the printer emulator's framing: a command sent with
// a shape the printer does not have leaves the two ends out of step on the line.
#include <gtest/gtest.h>

#include <set>

#include "commands.hpp"
#include "kestra/emu/protocol.hpp"

namespace kestradr {
namespace {

using kestra::emu::FirstReply;
using kestra::emu::LookupCommand;

TEST(CommandTable, EveryCommandTheDriverSendsHasTheEmulatorsFraming) {
  std::set<uint8_t> codes;
  for (const Command& command : kDriverCommands) {
    SCOPED_TRACE(command.name);
    EXPECT_TRUE(codes.insert(command.code).second) << "named twice";
    const auto shape = LookupCommand(command.code);
    ASSERT_TRUE(shape.has_value()) << "a code the printer does not know";
    if (shape->first == FirstReply::kStatusByte) {
      EXPECT_EQ(command.reply, 1) << "one status byte, no acknowledgement";
    } else if (shape->first == FirstReply::kSilent) {
      EXPECT_EQ(command.reply, 0);
    } else {
      EXPECT_EQ(command.reply, shape->dataBytes + 1) << "the ACK and the data bytes";
    }
    EXPECT_EQ(command.untilLineFeed, shape->untilLineFeed);
    if (!command.untilLineFeed) {
      EXPECT_EQ(command.parameters, shape->parameterBytes);
    }
    EXPECT_EQ(command.secondReply, shape->secondReplyBytes);
  }
}

TEST(CommandTable, BareDataClassAgreesWithTheEmulatorForEveryCode) {
  for (int code = 0; code < 256; ++code) {
    const auto shape = LookupCommand(static_cast<uint8_t>(code));
    if (!shape) continue;
    EXPECT_EQ(IsBareDataCommand(static_cast<uint8_t>(code)),
              shape->first == FirstReply::kStatusByte)
        << "command " << code;
  }
}

}  // namespace
}  // namespace kestradr
