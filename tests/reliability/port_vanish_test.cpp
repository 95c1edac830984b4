// The port vanishing under a real pseudo-terminal while the driver waits for a reply (every
// exchange is struck in process by the fault matrix): the call ends within its time-outs
// with a receive failure, reopening fails while the line is away, and once it is back a
// reconnection finds the printer and the next call works.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "kestra/emu/pty_server.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  config.faults.delay = 600ms;  // long enough to pull the line while the reply is held
  return config;
}

int32_t ReadVat(uint32_t& rateA) {
  int32_t count = 0;
  uint32_t r[7] = {};
  const int32_t code = ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
  rateA = r[0];
  return code;
}

TEST(PortVanishes, WhileWaitingForARateReply) {
  emu::PtyServer server(Luno());
  const auto start = [&server] {
    server.Start();
    ASSERT_EQ(::setenv("TAURAVAT_COM9", server.SlavePath().c_str(), 1), 0);
  };
  const auto commands = [&server] {
    return server.WithPrinter([](emu::Printer& p) { return p.CommandsSeen(); });
  };
  start();
  ASSERT_EQ(::CommunicationInit(9, 9600, 1), 0);
  server.WithPrinter([](emu::Printer& p) {
    p.Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kDelay, 0, 1});
    return 0;
  });
  // Pulled once the printer has the rate read, while the driver waits for the reply.
  std::atomic<bool> stopped{false};
  std::thread stopper([&, before = commands()] {
    for (const auto limit = Clock::now() + 5s; Clock::now() < limit && commands() == before;)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
    server.Stop();
    stopped = true;
  });
  uint32_t rateA = 0;
  const auto started = Clock::now();
  const int32_t code = ReadVat(rateA);
  stopper.join();
  EXPECT_LT(Clock::now() - started, 2s);
  EXPECT_TRUE(stopped);
  EXPECT_EQ(code, 21);
  std::ofstream(FAULT_MATRIX_OUT, std::ios::app)
      << "ReadVAT\tport vanishes (pty)\t-\t-\treply awaited\t" << code
      << "\tok\tagree\treconnect;\n";

  // The failure stays recorded on the port: the next call reopens it, and while the line
  // is away that fails as opening a missing port does.
  EXPECT_EQ(ReadVat(rateA), 2);
  start();
  // The printer long gave up on the sequence it was receiving (its clock stood still).
  server.WithPrinter([](emu::Printer& p) {
    p.Advance(1s);
    return 0;
  });
  ASSERT_EQ(::CommunicationInit(9, 9600, 1), 0);
  EXPECT_EQ(ReadVat(rateA), 0);
  EXPECT_EQ(rateA, 2300u);
  ::CommunicationEnd();
  server.Stop();
  ::unsetenv("TAURAVAT_COM9");
}

}  // namespace
}  // namespace kestradr::testing
