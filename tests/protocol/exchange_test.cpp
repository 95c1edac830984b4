// The sequence exchange on a scripted line (a printer cannot be made to send most of these
// replies): bytes on the wire and the result of each kind of reply.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "comm.hpp"
#include "exchange.hpp"
#include "printer.hpp"
#include "scripted_line.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using testing::ScriptedLine;
using testing::ScriptedPort;
using Bytes = std::vector<uint8_t>;

class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenPort(1, 9600, 1, 1), 0); }
  void TearDown() override { ClosePort(); }

  // RSSequence with the parameters as a vector.
  int32_t Rs(uint8_t command, int32_t replyLength, const Bytes& parameters = {}) {
    Block params{};
    std::copy(parameters.begin(), parameters.end(), params.begin());
    return RSSequence(command, replyLength, static_cast<int32_t>(parameters.size()), reply.data(),
                      params.data());
  }
  Bytes Reply(size_t length) const { return Bytes(reply.begin(), reply.begin() + length); }

  std::shared_ptr<ScriptedLine> line = std::make_shared<ScriptedLine>();
  ScriptedPort port{line};
  Block reply{};
};

TEST_F(ExchangeTest, AcknowledgedCommandsAndCommandsThatReadNothing) {
  line->Reply(0x46, {kAck});
  EXPECT_EQ(Rs(0x46, 1, {3}), 0);
  EXPECT_EQ(line->Written(), (Bytes{kEsc, 0x46, 3}));
  line->Reply(0xD9, {kAck, 0x2C, 0x01});
  EXPECT_EQ(Rs(0xD9, 3), 0);
  EXPECT_EQ(Reply(2), (Bytes{0x2C, 0x01})) << "the data overwrites the ACK";

  line->ClearRecord();
  line->Reply(0x06, {0x15});  // an answer that must not be read
  EXPECT_EQ(Rs(0x06, 0, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}), 0);
  EXPECT_EQ(line->Written(), (Bytes{kEsc, 0x06, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
}

TEST_F(ExchangeTest, RefusalBytesBecomeResultsAndParametersStayUnsent) {
  const std::pair<uint8_t, int32_t> cases[] = {{0x15, 24}, {0x01, 101}, {0x65, 201},
                                               {0xC8, 26}, {0x07, 23},  {0xFF, 23}};
  for (const auto& [answer, result] : cases) {
    line->ClearRecord();
    line->Reply(0xD5, {answer});
    EXPECT_EQ(Rs(0xD5, 1, {1, 2, 3}), result) << int(answer);
    EXPECT_EQ(line->Written(), (Bytes{kEsc, 0xD5})) << int(answer);
  }
}

TEST_F(ExchangeTest, BareDataCommandsTakeAnyFirstByteAsTheStatus) {
  for (uint8_t command : Bytes{94, 149}) {
    for (uint8_t status : Bytes{0x00, 0x06, 0x15, 0x01, 0xC8}) {
      line->Reply(command, {status});
      reply[0] = 0xEE;
      EXPECT_EQ(Rs(command, 1), 0) << int(command) << "/" << int(status);
      EXPECT_EQ(reply[0], status);
    }
  }
  line->Reply(0x97, {0x15});
  EXPECT_EQ(Rs(0x97, 1), 24) << "the same answer to an ordinary command is a refusal";
}

TEST_F(ExchangeTest, RecordListEndsEarlyAtAnEndMarkerThatStartsARecord) {
  // Command 231: records of 4 bytes; a 0xFF as data byte 5 starts the second record.
  line->Reply(0x71, {kAck, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});
  ASSERT_EQ(Rs(0x71, 8), 0);
  line->Reply(231, {kAck, 1, 2, 3, 4, 0xFF, 9, 9});
  EXPECT_EQ(Rs(231, 41), 0);
  // The bytes past the marker keep what the earlier reply left; the two unread bytes on
  // the line are purged by the next exchange.
  EXPECT_EQ(Reply(7), (Bytes{1, 2, 3, 4, 0xFF, 0xAA, 0xAA}));

  line->Reply(231, {kAck, 0xFE, 0xFF, 0xFF, 0xFF, 5, 6, 7, 8});
  EXPECT_EQ(Rs(231, 9), 0);
  EXPECT_EQ(Reply(8), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 5, 6, 7, 8})) << "0xFF inside a record";

  line->Reply(0x71, {kAck, 0xFF, 0xFF, 3});
  EXPECT_EQ(Rs(0x71, 4), 0);
  EXPECT_EQ(reply[2], 3) << "ordinary commands read the whole length even through 0xFF";
}

TEST_F(ExchangeTest, MissingReplyBytesAreReceiveTimeoutsAndUnsentBytesSendTimeouts) {
  EXPECT_EQ(Rs(0xD9, 3), 21);  // silence
  line->Reply(0xD9, {kAck, 0x01});
  EXPECT_EQ(Rs(0xD9, 3), 21);  // one data byte short
  line->Reply(0x46, {kAck});
  line->FailWrites(true);
  EXPECT_EQ(Rs(0x46, 1, {5}), 20);
  ASSERT_EQ(ClosePort(), 0);
  EXPECT_EQ(Rs(0x46, 1), 20) << "no port at all";
}

TEST_F(ExchangeTest, ReplyCopyIsWholeBufferAndKeepsEarlierBytes) {
  line->Reply(0xD8, {kAck, '0', '7', 'A', 'B'});
  EXPECT_EQ(Rs(0xD8, 5), 0);
  line->Reply(0xD9, {kAck, 0x11, 0x22});
  reply.fill(0);
  EXPECT_EQ(Rs(0xD9, 3), 0);
  EXPECT_EQ(Reply(4), (Bytes{0x11, 0x22, 'A', 'B'}));

  // A reply length of 256 reaches the wire as 0: nothing is read, yet the buffer is copied.
  reply.fill(0);
  line->Reply(0x46, {kAck});
  EXPECT_EQ(RSSequence(0x46, 256, 0, reply.data(), nullptr), 0);
  EXPECT_EQ(reply[0], 0x11);
  EXPECT_EQ(line->Written().back(), 0x46);
}

TEST_F(ExchangeTest, SecondReplyAfterTheParametersAndNullsRefusedOnlyWhereMemoryIsNeeded) {
  line->Reply(0x31, {kAck}, 5, {2});
  DefaultPrinter().SendBuffer = Block{};
  DefaultPrinter().SendBuffer[0] = 2;
  DefaultPrinter().ExchangeSequence(0x31, 1, 1, 5);
  EXPECT_EQ(DefaultPrinter().LastSequenceResult, 0);
  EXPECT_EQ(DefaultPrinter().ReplyBuffer[0], 2);
  EXPECT_EQ(line->Sequences().back().parameters.size(), 5u);

  line->Always(0x46, {kAck});
  EXPECT_EQ(RSSequence(0x46, 0, 0, nullptr, nullptr), 0);
  EXPECT_EQ(RSSequence(0x46, 1, 0, nullptr, nullptr), 999);
  EXPECT_EQ(RSSequence(0x46, 0, 1, nullptr, nullptr), 999);
  // Negative lengths copy nothing; their low byte still reaches the wire.
  EXPECT_EQ(RSSequence(0x46, -255, 0, nullptr, nullptr), 0);
}

TEST_F(ExchangeTest, RecordedLineErrorFailsEveryExchangeUntilReopened) {
  line->Always(0x46, {kAck});
  EXPECT_EQ(Rs(0x46, 1), 0);
  line->RaiseLineError(kLineFraming);
  // The event reaches the caller's thread the next time it waits on the port.
  int32_t result = 0;
  for (int attempt = 0; attempt < 200 && result == 0; ++attempt) result = Rs(0x46, 1);
  EXPECT_EQ(result, 20);
  EXPECT_EQ(Rs(0x46, 1), 20);
  EXPECT_EQ(DefaultPrinter().Link.CommErrorCode(), kLineFraming);
  ASSERT_EQ(ClosePort(), 0);
  ASSERT_EQ(OpenPort(1, 9600, 1, 1), 0);
  EXPECT_EQ(Rs(0x46, 1), 0);
}

// A caller that exits with the port still open: the port shuts down before the objects
// its shutdown uses are destroyed (a double free under the sanitizers before).
TEST(PortAtExit, AnOpenPortIsClosedCleanlyWhenTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ScriptedPort port(std::make_shared<ScriptedLine>());
        if (OpenPort(1, 9600, 1, 1) != 0) std::_Exit(3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kestradr
