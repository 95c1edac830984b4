#include "kestra/emu/pty_server.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "pty_client.hpp"
#include "wire.hpp"

namespace kestra::emu::test {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::steady_clock;

fs::path TempPath(const std::string& name) {
  return fs::temp_directory_path() / (name + "-" + std::to_string(::getpid()));
}

TEST(PtyServer, ServesThePrinterThroughTheSlaveAndTheLink) {
  const fs::path link = TempPath("kestra-emu-link");
  PtyServerOptions options;
  options.linkPath = link.string();
  PtyServer server(ProgrammedConfig(3), options);
  server.Start();
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link).string(), server.SlavePath());

  {
    PtyClient client(link.string());
    ASSERT_TRUE(client.Open());
    EXPECT_EQ(client.Exchange(cmd::kIdentify, 2), (Bytes{kAck, 0x2C}));
    EXPECT_EQ(client.Exchange(cmd::kSubType, 4), (Bytes{kAck, 0x01, 1, 0}));
    EXPECT_EQ(client.Exchange(cmd::kPrintStatus, 1), Bytes{0x00});
  }
  // A second client after the first closed finds the line working.
  PtyClient again(server.SlavePath());
  ASSERT_TRUE(again.Open());
  EXPECT_EQ(again.Exchange(cmd::kReceiptBegin, 1), Bytes{kAck});
  EXPECT_TRUE(server.WithPrinter([](Printer& p) { return p.ReceiptOpen(); }));

  const auto before = steady_clock::now();
  server.Stop();
  EXPECT_LT(steady_clock::now() - before, milliseconds(500));
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  server.Stop();  // a second stop is harmless
}

// A program that writes its last bytes and exits is often not read yet when the server
// stops; those bytes still reach the printer.
TEST(PtyServer, BytesWrittenBeforeTheStopStillReachThePrinter) {
  PtyServer server(ProgrammedConfig(7));
  server.Start();
  PtyClient client(server.SlavePath());
  ASSERT_TRUE(client.Open());
  ASSERT_TRUE(client.Write({kEsc, cmd::kReceiptBegin}));
  server.Stop();
  EXPECT_TRUE(server.WithPrinter([](Printer& p) { return p.ReceiptOpen(); }));
}

TEST(PtyServer, DelayFaultAndPacingStretchTheReply) {
  PrinterConfig config = ProgrammedConfig(7);
  config.faults.rules.push_back({cmd::kIdentify, FaultKind::kDelay, 0, 1});
  config.faults.delay = milliseconds(150);
  PtyServerOptions options;
  options.baud = 9600;  // 1.15 ms a byte
  PtyServer server(config, options);
  server.Start();
  PtyClient client(server.SlavePath());
  ASSERT_TRUE(client.Open());

  auto start = steady_clock::now();
  EXPECT_EQ(client.Exchange(cmd::kIdentify, 2), (Bytes{kAck, 0x2C}));
  EXPECT_GE(steady_clock::now() - start, milliseconds(150));

  start = steady_clock::now();
  EXPECT_EQ(client.Exchange(cmd::kReadRates7, 15).size(), 15u);
  const auto took = steady_clock::now() - start;
  EXPECT_GE(took, milliseconds(17)) << "17 bytes of line time at 9600 b/s";
  EXPECT_LT(took, milliseconds(150));
}

TEST(PtyServer, PrintoutsProgressInRealTime) {
  PrinterConfig config = ProgrammedConfig(7);
  config.timing = {0, milliseconds(20), 0, milliseconds(0)};
  PtyServer server(config);
  server.Start();
  PtyClient client(server.SlavePath());
  ASSERT_TRUE(client.Open());
  EXPECT_EQ(client.Exchange(cmd::kDailyReport, 1), Bytes{kAck});
  EXPECT_EQ(client.Exchange(cmd::kPrintStatus, 1)[0] & 0x01, 0x01);
  const auto deadline = steady_clock::now() + milliseconds(3000);
  uint8_t status = 0x01;
  while ((status & 0x01) && steady_clock::now() < deadline) {
    status = client.Exchange(cmd::kPrintStatus, 1).at(0);
  }
  EXPECT_EQ(status & 0x01, 0);
  EXPECT_GT(server.WithPrinter([](Printer& p) { return p.Paper().PrintedLines(); }), 5u);
}

}  // namespace
}  // namespace kestra::emu::test
