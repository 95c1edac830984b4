// The Printer object: a connection opened by device path, and two printers on two
// lines driven at once from two threads, each keeping to its own line, state and
// call-backs.
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "cp1250.hpp"
#include "emulator_line.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {
namespace {

using testing::EmulatorLine;
namespace emu = kestra::emu;

emu::PrinterConfig Model(int type, uint16_t rateA) {
  emu::PrinterConfig config;
  config.deviceType = type;
  config.rates = emu::AllReserved();
  config.rates[0] = rateA;
  return config;
}

// The paths opened, in order; two printers open their lines from two threads at once.
class OpenedPaths {
 public:
  void Add(const std::string& path) {
    std::lock_guard lock(mutex_);
    paths_.push_back(path);
  }
  std::vector<std::string> Paths() const {
    std::lock_guard lock(mutex_);
    return paths_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> paths_;
};

// Two emulated printers, reached by the paths "/emu/a" and "/emu/b"; anything else is
// not there. Opening counts per path.
class TwoLines : public ::testing::Test {
 protected:
  void SetUp() override {
    auto a = lineA;
    auto b = lineB;
    auto opened = opened_;
    SetDeviceOpener([a, b, opened](const PortAddress& address) {
      DeviceOpenResult result;
      opened->Add(address.path);
      if (address.path == "/emu/a") {
        result.device = a->OpenDevice();
      } else if (address.path == "/emu/b") {
        result.device = b->OpenDevice();
      } else {
        result.osError = kErrorFileNotFound;
      }
      return result;
    });
  }
  void TearDown() override { SetDeviceOpener({}); }

  // A message pump that ends a printout the emulator never finishes as 999.
  static void BoundSupervision(Printer& printer) {
    printer.SetMessagePumpCallback([polls = 0]() mutable {
      if (++polls > 200000) throw std::runtime_error("supervision never ended");
    });
  }

  std::shared_ptr<EmulatorLine> lineA = std::make_shared<EmulatorLine>(Model(7, 2300));
  std::shared_ptr<EmulatorLine> lineB = std::make_shared<EmulatorLine>(Model(2, 800));
  std::shared_ptr<OpenedPaths> opened_ = std::make_shared<OpenedPaths>();
};

size_t Count(const std::vector<uint8_t>& commands, const Command& command) {
  return static_cast<size_t>(std::count(commands.begin(), commands.end(), command.code));
}

TEST_F(TwoLines, TwoPrintersWorkAtOnceFromTwoThreadsEachOnItsOwnLine) {
  constexpr int kRounds = 15;
  Printer a;
  Printer b;
  BoundSupervision(a);
  BoundSupervision(b);
  std::vector<std::string> captionsA;
  std::vector<std::string> captionsB;
  a.SetProgressCallback([&](const std::string& text) { captionsA.push_back(text); });
  b.SetProgressCallback([&](const std::string& text) { captionsB.push_back(text); });

  // A sells, B reads its rates, at the same time.
  auto sales = std::async(std::launch::async, [&] {
    if (const int32_t opened = a.Open("/emu/a", 9600, 1000); opened != kOk) return opened;
    for (int round = 0; round < kRounds; ++round) {
      int32_t value = 0;
      for (const int32_t result :
           {a.ReceiptBegin(),
            a.ReceiptItem(1, "Chleb razowy krojony", 1, 0, 2, 0, "szt", 450, value),
            a.ReceiptEnd(0)}) {
        if (result != kOk) return result;
      }
      if (value != 900) return -1;
    }
    return a.CommunicationEnd();
  });
  auto reads = std::async(std::launch::async, [&] {
    if (const int32_t opened = b.Open("/emu/b", 19200, 1000); opened != kOk) return opened;
    for (int round = 0; round < 3 * kRounds; ++round) {
      int32_t count = 0;
      RateArray rates{};
      if (const int32_t result = b.ReadVAT(count, rates); result != kOk) return result;
      if (count != 6 || rates[0] != 800) return -1;
    }
    return b.CommunicationEnd();
  });
  EXPECT_EQ(sales.get(), kOk);
  EXPECT_EQ(reads.get(), kOk);

  EXPECT_EQ(a.DeviceType, kDeviceNone) << "ended";
  const std::vector<uint8_t> onA = lineA->Commands();
  const std::vector<uint8_t> onB = lineB->Commands();
  EXPECT_EQ(Count(onA, cmd::kReceiptEnd), static_cast<size_t>(kRounds));
  EXPECT_EQ(Count(onA, cmd::kReadRates6), 0u) << "B's reads stayed on B's line";
  EXPECT_EQ(Count(onB, cmd::kReadRates6), static_cast<size_t>(3 * kRounds));
  EXPECT_EQ(Count(onB, cmd::kReceiptBegin), 0u) << "A's receipts stayed on A's line";
  const std::string checking = Cp1250("Sprawdzanie warunków wystawienia paragonu...");
  EXPECT_EQ(std::count(captionsA.begin(), captionsA.end(), checking), kRounds);
  EXPECT_EQ(std::count(captionsB.begin(), captionsB.end(), checking), 0)
      << "A's receipts were announced to A only";
}

TEST_F(TwoLines, APrinterOpenedByPathReconnectsToThatPathAndForgetsItAtTheEnd) {
  Printer printer;
  BoundSupervision(printer);
  ASSERT_EQ(printer.Open("/emu/b", 9600, 1000), kOk);
  const size_t openings = opened_->Paths().size();
  EXPECT_EQ(printer.DevicePath, "/emu/b");
  EXPECT_EQ(printer.PortNumber, 0);
  EXPECT_EQ(printer.DeviceType, 2);

  // A lost connection is made again on the same device before the command.
  printer.Connected = false;
  int32_t count = 0;
  RateArray rates{};
  EXPECT_EQ(printer.ReadVAT(count, rates), kOk);
  EXPECT_EQ(rates[0], 800u);
  const std::vector<std::string> paths = opened_->Paths();
  EXPECT_GT(paths.size(), openings);
  EXPECT_EQ(std::count(paths.begin(), paths.end(), "/emu/b"),
            static_cast<std::ptrdiff_t>(paths.size()));

  EXPECT_EQ(printer.CommunicationEnd(), kOk);
  EXPECT_EQ(printer.ReadVAT(count, rates), kNoPortNumber);
  EXPECT_EQ(printer.Open("/emu/none", 9600, 1000), 2) << "no such device";
}

TEST(PortAddress, ComNamesMapToPortNumbersAndAnythingElseIsAPath) {
  struct Case {
    const char* device;
    int number;
    const char* path;
  };
  const Case cases[] = {
      {"COM3", 3, ""},
      {"com255", 255, ""},
      {"Com1", 1, ""},
      {"COM0", 0, "COM0"},
      {"COM256", 0, "COM256"},
      {"COM03", 0, "COM03"},
      {"COM", 0, "COM"},
      {"COM3x", 0, "COM3x"},
      {"/dev/ttyUSB0", 0, "/dev/ttyUSB0"},
      {"\\\\.\\COM12", 0, "\\\\.\\COM12"},
  };
  for (const Case& c : cases) {
    const PortAddress address = ParsePortAddress(c.device);
    EXPECT_EQ(address.number, c.number) << c.device;
    EXPECT_EQ(address.path, c.path) << c.device;
  }
}

}  // namespace
}  // namespace kestradr
