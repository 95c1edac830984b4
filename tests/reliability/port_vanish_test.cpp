// The port vanishing under a real pseudo-terminal: the printer's side of the line is torn
// down while the driver waits for a reply. The call must end within its time-outs with a
// transfer failure, and after the line comes back a reconnection must find the printer
// and the next operation must work. (Every other exchange is struck in process by the
// fault matrix.)
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "kestra/emu/pty_server.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::reliability {
namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr int kPort = 9;
constexpr uint32_t kTimeoutSeconds = 1;

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  config.receiptCounter = 1;
  config.faults.delay = 600ms;  // long enough to pull the line while the reply is held
  return config;
}

class PortVanishes : public ::testing::Test {
 protected:
  void SetUp() override {
    server_.Start();
    Point();
    ASSERT_EQ(::CommunicationInit(kPort, 9600, kTimeoutSeconds), 0);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().ReceiptOpen = false;
    server_.Stop();
    ::unsetenv("TAURAVAT_COM9");
  }
  // The line was away for a while: the printer has long given up on the sequence it
  // was receiving when the line went (its own clock stood still while it was unserved).
  static void AwayForASecond(emu::PtyServer& server) {
    server.WithPrinter([](emu::Printer& p) {
      p.Advance(1s);
      return 0;
    });
  }
  void Point() { ASSERT_EQ(::setenv("TAURAVAT_COM9", server_.SlavePath().c_str(), 1), 0); }

  // Stops the server once the printer has seen `commands` more commands, then waits a
  // little so that the driver is inside its next transfer.
  std::thread StopAfter(uint64_t commands, std::chrono::milliseconds settle) {
    const uint64_t start = server_.WithPrinter([](emu::Printer& p) { return p.CommandsSeen(); });
    return std::thread([this, start, commands, settle] {
      const auto limit = Clock::now() + 5s;
      while (Clock::now() < limit && server_.WithPrinter([](emu::Printer& p) {
        return p.CommandsSeen();
      }) < start + commands)
        std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(settle);
      server_.Stop();
      stopped_ = true;
    });
  }

  // The line comes back (a new pty, the same printer); reconnecting must find it.
  void Reconnect() {
    server_.Start();
    AwayForASecond(server_);
    Point();
    ASSERT_EQ(::CommunicationInit(kPort, 9600, kTimeoutSeconds), 0);
  }

  void Log(const char* operation, const char* when, int32_t code) {
    std::ofstream out(FAULT_MATRIX_OUT, std::ios::app);
    out << operation << "\tport vanishes (pty)\t-\t-\t" << when << '\t' << code
        << "\tok\tagree\treconnect;\n";
  }

  emu::PtyServer server_{Luno(), {}};
  std::atomic<bool> stopped_{false};
};

// A reply held back, and the line gone before it comes: a receive failure, in time.
TEST_F(PortVanishes, WhileWaitingForARateReply) {
  server_.WithPrinter([](emu::Printer& p) {
    p.Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kDelay, 0, 1});
    return 0;
  });
  auto stopper = StopAfter(1, 100ms);
  int32_t count = 0;
  uint32_t r[7] = {};
  const auto started = Clock::now();
  const int32_t code = ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
  stopper.join();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(kTimeoutSeconds) + 1s);
  EXPECT_TRUE(stopped_);
  EXPECT_EQ(code, 21);
  Log("ReadVAT", "reply awaited", code);

  // The failure stays recorded on the port: the next call reopens it, and while the line
  // is away that fails as opening a missing port does (2, not found).
  EXPECT_EQ(::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 2);
  Reconnect();
  EXPECT_EQ(::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(r[0], 2300u);
}

}  // namespace
}  // namespace kestradr::reliability
