// The network devices under the port object's feet: against a few-line RFC 2217 server
// that plays CTS and the line, and against ser2net in front of the emulator's
// pseudo-terminal, raw and RFC 2217, through the handle and the legacy interface.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>

#include "com_port_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "luno.hpp"
#include "sale_item.hpp"
#include "ser2net.hpp"
#include "tauravat.h"
#include "tcp_serial_device.hpp"

namespace kestradr::testing {
namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;
constexpr uint8_t kReceiptEnd = 0x24;

// ---- The device against the few-line server ------------------------------------------

class AgainstComPortServer : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceOpenResult opened = OpenNetworkDevice(server_.Url());
    ASSERT_TRUE(opened.device) << opened.osError;
    device_ = std::move(opened.device);
    device_->SetEventMask(kEventError);
    Timeouts(0, 200);
  }
  void Timeouts(uint32_t writeMs, uint32_t readMs) {
    device_->SetTimeouts({readMs, 0, readMs, 0, writeMs});
  }
  // Waits until the server holds `count` printer bytes (at most 2 s).
  Bytes DataWhen(size_t count) {
    for (auto until = std::chrono::steady_clock::now() + 2s;
         server_.Data().size() < count && std::chrono::steady_clock::now() < until;)
      std::this_thread::sleep_for(1ms);
    return server_.Data();
  }
  // The line event the event thread would see, waited for at most 2 s.
  uint32_t LineErrors() {
    Event stop;
    auto waiter = std::async(std::launch::async, [&] {
      uint32_t mask = 0;
      return device_->WaitLineEvent(stop, mask) == LineWait::Event ? mask : 0u;
    });
    if (waiter.wait_for(2s) != std::future_status::ready) stop.Set();
    if (waiter.get() != kEventError) return 0;
    uint32_t errors = 0;
    device_->ClearLineErrors(errors);
    return errors;
  }

  ComPortServer server_;
  std::unique_ptr<SerialDevice> device_;
  Event abort_;
};

TEST_F(AgainstComPortServer, TheLineIsSetThroughTheServerAndIacTravelsDoubled) {
  EXPECT_EQ(server_.Commands(),
            (std::vector<std::pair<uint8_t, uint8_t>>{{10, 0x1E}, {11, 0x11}, {12, 1}}))
      << "line state and CTS notices asked for; the server's input purged";
  ASSERT_EQ(device_->ApplyLineSettings(28800), 0u);
  const auto commands = server_.Commands();
  ASSERT_EQ(commands.size(), 8u);
  EXPECT_EQ(std::vector(commands.begin() + 3, commands.end()),
            (std::vector<std::pair<uint8_t, uint8_t>>{{1, 0}, {2, 8}, {3, 3}, {4, 1}, {5, 3}}))
      << "28800 b/s (its first byte), 8 bits, even parity, 1 stop bit, CTS flow control";

  for (const uint8_t b : Bytes{0x1B, 0xFF, 0xFF, 0x41})
    EXPECT_EQ(device_->Write(b, abort_).count, 1u);
  EXPECT_EQ(DataWhen(4), (Bytes{0x1B, 0xFF, 0xFF, 0x41}));

  server_.Send({0x06, 0xFF, 0xFF, 0x2C});
  uint8_t got = 0;
  for (const uint8_t want : Bytes{0x06, 0xFF, 0x2C}) {
    ASSERT_EQ(device_->Read(got, abort_).count, 1u);
    EXPECT_EQ(got, want);
  }
  const Transfer silent = device_->Read(got, abort_);
  EXPECT_EQ(silent.status, TransferStatus::Done);
  EXPECT_EQ(silent.count, 0u) << "a time-out";
}

TEST_F(AgainstComPortServer, CtsLowHoldsTheWriterUntilItReturnsOrTheWriteTimeOutEnds) {
  server_.Cts(true, true);
  ASSERT_EQ(device_->Write(0x1B, abort_).count, 1u);
  server_.Cts(false, true);
  DataWhen(1);
  std::this_thread::sleep_for(50ms);  // the notice is on its way before the next byte

  auto held = std::async(std::launch::async, [&] { return device_->Write(0x24, abort_); });
  EXPECT_EQ(held.wait_for(300ms), std::future_status::timeout) << "written while CTS is low";
  EXPECT_EQ(server_.Data(), Bytes{0x1B});
  server_.Cts(true, true);
  ASSERT_EQ(held.wait_for(2s), std::future_status::ready);
  EXPECT_EQ(held.get().count, 1u);
  EXPECT_EQ(DataWhen(2), (Bytes{0x1B, 0x24}));

  // With a write time-out the wait ends as a local line's does: nothing written.
  Timeouts(150, 200);
  server_.Cts(false, true);
  std::this_thread::sleep_for(50ms);
  const Transfer timedOut = device_->Write(0x25, abort_);
  EXPECT_EQ(timedOut.status, TransferStatus::Done);
  EXPECT_EQ(timedOut.count, 0u);
  abort_.Set();
  EXPECT_EQ(device_->Write(0x25, abort_).status, TransferStatus::Aborted);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(server_.Data(), (Bytes{0x1B, 0x24}));
}

TEST_F(AgainstComPortServer, AnInputPurgeDropsWhatTheServerStillHeldAndKeepsWhatFollows) {
  server_.Send({0x15});
  std::this_thread::sleep_for(50ms);
  server_.HoldUntilPurged({0x06, 0xFF, 0xFF});
  ASSERT_EQ(device_->PurgeInput(), 0u);
  ASSERT_EQ(device_->Write(0x1B, abort_).count, 1u);
  DataWhen(1);
  server_.Send({0x41});
  uint8_t got = 0;
  ASSERT_EQ(device_->Read(got, abort_).count, 1u);
  EXPECT_EQ(got, 0x41) << "the first byte after the purge";
  EXPECT_EQ(device_->Read(got, abort_).count, 0u);
}

// The purge travels with the next byte written; a read that comes first must send it, or
// every byte after the purge would wait for an answer that never comes.
TEST_F(AgainstComPortServer, APurgeFollowedByAReadReachesTheServerFirst) {
  Timeouts(0, 3000);
  server_.HoldUntilPurged({0x15});
  ASSERT_EQ(device_->PurgeInput(), 0u);
  auto read = std::async(std::launch::async, [&] {
    uint8_t got = 0;
    return device_->Read(got, abort_).count == 1 ? int{got} : -1;
  });
  for (auto until = std::chrono::steady_clock::now() + 2s;
       server_.Commands().size() < 4 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(server_.Commands().size(), 4u) << "the purge did not reach the server";
  EXPECT_EQ(server_.Commands().back(), (std::pair<uint8_t, uint8_t>{12, 1}));
  server_.Send({0x41});
  EXPECT_EQ(read.get(), 0x41) << "the held byte dropped, the one after the answer kept";
}

TEST_F(AgainstComPortServer, LineStateNoticesAndADroppedConnectionAreLineErrors) {
  server_.Notify(106, 0x08);  // framing error
  server_.Send({0x06});
  uint8_t got = 0;
  ASSERT_EQ(device_->Read(got, abort_).count, 1u);
  EXPECT_EQ(LineErrors(), kLineFraming);

  server_.Hangup();
  EXPECT_EQ(LineErrors(), kLineBreak) << "seen without a transfer";
  EXPECT_EQ(device_->Write(0x1B, abort_).status, TransferStatus::Failed);
  EXPECT_EQ(device_->Read(got, abort_).status, TransferStatus::Failed);
}

// A name with a mistake in it is refused before anything connects: a port past 65535 would
// wrap round to another one (70000 to 4464), and an unknown scheme is no file to look for.
TEST(NetworkDevice, WhatCannotBeReachedSaysWhy) {
  const ComPortServer server;  // also where a port 65536 above its own would wrap round to
  const std::string wrapped = std::to_string(server.Port() + 65536);
  const struct {
    std::string path;
    uint32_t error;
  } cases[] = {
      {"socket://127.0.0.1", kErrorInvalidParameter},
      {"socket://:4001", kErrorInvalidParameter},
      {"socket://::1:4001", kErrorInvalidParameter},
      {"socket://[::1:4001", kErrorInvalidParameter},
      {"rfc2217://127.0.0.1:0", kErrorInvalidParameter},
      {"rfc2217://127.0.0.1:" + wrapped, kErrorInvalidParameter},
      {"socket://127.0.0.1:4001x", kErrorInvalidParameter},
      {"socket://127.0.0.1:-1", kErrorInvalidParameter},
      {"tcp://127.0.0.1:4001", kErrorInvalidParameter},
      {"socket://no-such-host.invalid:4001", kErrorFileNotFound},
  };
  for (const auto& c : cases) EXPECT_EQ(OpenPlatformDevice({0, c.path}).osError, c.error) << c.path;
}

// ---- Through ser2net in front of the emulator -----------------------------------------

// The suites start servers side by side: a port picked for one must not be handed to
// another program before the server binds it, nor another program's listener there pass
// for the server's.
TEST(Ser2netPorts, HeldForTheServerAloneAndOnlyItsOwnListenersCount) {
  if (!Ser2net::Installed()) GTEST_SKIP() << "ser2net is not installed";
  Ser2net ser2net("/dev/null");  // the device is opened only for a client
  const std::string url = ser2net.Raw();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(std::stoi(url.substr(url.rfind(':') + 1))));
  const auto bound = [&](bool reuse, bool listens) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    if (reuse) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (listens && listen(fd, 1) != 0)) {
      close(fd);
      return -1;
    }
    return fd;
  };
  const int other = bound(false, false);
  EXPECT_EQ(other, -1) << "the picked port was free for anybody";
  if (other >= 0) close(other);

  const int rival = bound(true, true);  // a program that binds that port on purpose
  ASSERT_GE(rival, 0);
  EXPECT_THROW(ser2net.Start(), std::runtime_error) << "another program's listener taken";
  close(rival);
}

class ThroughSer2net : public ::testing::TestWithParam<bool> {  // true: RFC 2217
 protected:
  void SetUp() override {
    if (!Ser2net::Installed()) GTEST_SKIP() << "ser2net is not installed";
    server_.Start();
    ser2net_ = std::make_unique<Ser2net>(server_.SlavePath());
    ser2net_->Start();
  }
  std::string Url() const { return GetParam() ? ser2net_->Rfc2217() : ser2net_->Raw(); }
  template <class Fn>
  auto Emulated(Fn&& fn) {
    return server_.WithPrinter(std::forward<Fn>(fn));
  }
  tauravat_printer* Open(int32_t* code = nullptr) {
    tauravat_options options{sizeof options, 9600, 2000, nullptr, nullptr, 0, nullptr, nullptr};
    tauravat_printer* printer = nullptr;
    const int32_t result = tauravat_open(Url().c_str(), &options, &printer);
    if (code != nullptr) *code = result;
    return printer;
  }
  static int32_t Sell(tauravat_printer* p, const char* name, int64_t price) {
    const tauravat_item item = SaleItem(name, price);
    int64_t value = 0;
    return tauravat_receipt_item(p, &item, &value);
  }

  emu::PtyServer server_{Luno()};
  std::unique_ptr<Ser2net> ser2net_;
};

TEST_P(ThroughSer2net, RatesAReceiptAndTheDailyReportAndThePortIsHeldByOne) {
  int32_t code = 0;
  tauravat_printer* p = Open(&code);
  ASSERT_NE(p, nullptr) << code;
  int32_t count = 0;
  uint32_t rates[7]{};
  ASSERT_EQ(tauravat_read_vat(p, &count, rates), TAURAVAT_OK);
  EXPECT_EQ(rates[0], 2300u);
  const uint32_t wanted[7] = {
      2200, 700, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
  EXPECT_EQ(tauravat_set_vat(p, &count, wanted), TAURAVAT_OK);
  EXPECT_EQ(Emulated([](emu::Printer& e) { return e.Memory().Rates()[0]; }), 2200u);

  int32_t second = 0;
  EXPECT_EQ(Open(&second), nullptr);
  EXPECT_EQ(second, TAURAVAT_E_PORT_BUSY) << "the server serves one client at a time";

  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  EXPECT_EQ(Sell(p, "Chleb razowy krojony", 450), TAURAVAT_OK);
  EXPECT_EQ(Sell(p, "Ser zolty gouda", 1299), TAURAVAT_OK);
  EXPECT_EQ(tauravat_receipt_end(p, 0), TAURAVAT_OK);
  EXPECT_EQ(Emulated([](emu::Printer& e) { return e.Memory().DayTotals()[0]; }), 1749);
  EXPECT_EQ(tauravat_daily_report(p, 0), TAURAVAT_OK);
  EXPECT_NE(Emulated([](emu::Printer& e) { return e.Paper().Text(); }).find("Ser zolty gouda"),
            std::string::npos);
  tauravat_close(p);
}

TEST_P(ThroughSer2net, TheServerKilledMidReceiptAndBackLosesNoSaleAndPrintsNothingTwice) {
  int32_t code = 0;
  tauravat_printer* p = Open(&code);
  ASSERT_NE(p, nullptr) << code;
  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  ASSERT_EQ(Sell(p, "Chleb razowy krojony", 450), TAURAVAT_OK);
  // Killed between two lines, once the item has reached the printer whole: a server killed
  // in the middle of one loses its tail, and the printer then cancels the receipt itself.
  const auto sold = [&] {
    return Emulated(
        [](emu::Printer& e) { return e.OpenReceipt() ? e.OpenReceipt()->Sales()[0] : int64_t{0}; });
  };
  for (auto until = std::chrono::steady_clock::now() + 2s;
       sold() != 450 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(1ms);
  ser2net_->Stop(true);
  EXPECT_NE(Sell(p, "Mleko 3,2% 1l karton", 329), TAURAVAT_OK) << "nobody to take it";
  ser2net_->Start();
  EXPECT_EQ(Sell(p, "Mleko 3,2% 1l karton", 329), TAURAVAT_OK) << "the port opened again";

  // Killed again while the printer holds the answer to the end.
  Emulated([](emu::Printer& e) {
    e.Faults().AddRule({kReceiptEnd, emu::FaultKind::kDelay, 0, 1});
  });
  const auto ends = [&] {
    return Emulated([](emu::Printer& e) { return e.Memory().ReceiptsToday(); });
  };
  std::thread killer([&] {  // once the printer holds the answer to the end
    const auto held = [&] {
      return Emulated([](emu::Printer& e) { return e.Faults().Injected(); });
    };
    for (auto until = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < until && held() == 0;)
      std::this_thread::sleep_for(1ms);
    ser2net_->Stop(true);
    std::this_thread::sleep_for(300ms);
    ser2net_->Start();
  });
  const int32_t first = tauravat_receipt_end(p, 0);
  killer.join();
  int32_t again = first;
  for (int i = 0; i < 3 && again != TAURAVAT_OK; ++i) again = tauravat_receipt_end(p, 0);
  EXPECT_EQ(again, TAURAVAT_OK) << "first answer " << first;
  EXPECT_EQ(ends(), 1);
  EXPECT_EQ(Emulated([](emu::Printer& e) { return e.Memory().DayTotals()[0]; }), 779);
  EXPECT_FALSE(Emulated([](emu::Printer& e) { return e.ReceiptOpen(); }));
  int32_t number = 0;
  EXPECT_EQ(tauravat_receipt_number(p, &number), TAURAVAT_OK);
  EXPECT_EQ(number, 1);
  tauravat_close(p);
}

INSTANTIATE_TEST_SUITE_P(Servers, ThroughSer2net, ::testing::Bool(),
                         [](const auto& p) { return p.param ? "Rfc2217" : "Raw"; });

// The legacy interface and the program reach a network printer through the port mapping.
TEST(LegacyThroughSer2net, Com5MappedToTheServerReadsAndWritesTheRates) {
  if (!Ser2net::Installed()) GTEST_SKIP() << "ser2net is not installed";
  emu::PtyServer server(Luno());
  server.Start();
  Ser2net ser2net(server.SlavePath());
  ser2net.Start();
  ASSERT_EQ(::setenv("TAURAVAT_COM5", ser2net.Rfc2217().c_str(), 1), 0);
  ASSERT_EQ(::CommunicationInit(5, 9600, 2), 0);
  uint32_t rates[7]{};
  int32_t count = 0;
  ASSERT_EQ(::ReadVAT(&count, &rates[0], &rates[1], &rates[2], &rates[3], &rates[4], &rates[5],
                      &rates[6]),
            0);
  EXPECT_EQ(rates[1], 800u);
  rates[1] = 700;
  EXPECT_EQ(::SetVAT(&count, rates[0], rates[1], rates[2], rates[3], rates[4], rates[5], rates[6]),
            0);
  EXPECT_EQ(server.WithPrinter([](emu::Printer& e) { return e.Memory().Rates()[1]; }), 700u);
  ::CommunicationEnd();
  ::unsetenv("TAURAVAT_COM5");
}

}  // namespace
}  // namespace kestradr::testing
