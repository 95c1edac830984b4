// Random sales rung by a careful till (docs/receipts.md) under random faults; the fiscal memory
// must hold each exactly once. TAURAVAT_PROPERTY_SEED and TAURAVAT_PROPERTY_SALES (500) override.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <numeric>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "emulator_line.hpp"
#include "kestra/emu/receipt.hpp"
#include "luno.hpp"
#include "main_thread_queue.hpp"
#include "messages.hpp"
#ifndef _WIN32
#include "network_route.hpp"
#endif
#include "printer.hpp"
#include "printer_internals.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

namespace emu = kestra::emu;

constexpr int kPatience = 12;            // how often a careful till tries one call
constexpr int kRings = 20;               // ... and one sale
constexpr uint16_t kReceiptsBefore = 5;  // a printer in the middle of a day

uint64_t FromEnvironment(const char* name, uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : otherwise;
}

emu::PrinterConfig Faulty(uint32_t seed) {
  emu::PrinterConfig config = Luno();
  config.receiptCounter = kReceiptsBefore;
  config.faults.seed = seed;
  config.faults.random = {0.03, {}};  // every kind, on 3 % of the commands
  return config;
}

struct Line {
  int32_t typ = 1;  // 1 sale, 0 cancellation of the line before
  int32_t rate = 1, quantity = 1, decimals = 0, price = 100;
  bool reserved = false;  // refused by the driver (226); not part of the sale
};

enum class Reconnection { kNone, kLineError, kInit };

struct Sale {
  std::vector<Line> lines;
  int32_t discount = 0;
  bool payment = false, extraLine = false, package = false, subtotal = false;
  Reconnection reconnection = Reconnection::kNone;
  size_t reconnectBefore = 0;  // the line before which it happens
  bool impatient = false;      // cancels as soon as the end fails (it then fails once)
  std::optional<emu::FaultKind> atEnd, atCancel;  // each to strike once in this sale
  int64_t total = 0;                              // what the printer must take
};

Sale MakeSale(std::mt19937& rng) {
  const auto pick = [&rng](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(rng);
  };
  static constexpr int32_t kReserved[] = {3, 7}, kUsable[] = {1, 2, 4, 5, 6};
  Sale sale;
  emu::RateAmounts amounts{};
  for (int i = 0, count = pick(1, 4); i < count; ++i) {
    Line line;
    line.reserved = i > 0 && pick(1, 12) == 1;  // an empty receipt prints no sale
    line.rate = line.reserved ? kReserved[pick(0, 1)] : kUsable[pick(0, 4)];
    const bool weighed = pick(0, 2) == 0;  // in grams
    line.quantity = weighed ? pick(100, 3000) : pick(1, 5);
    line.decimals = weighed ? 3 : 0;
    line.price = pick(50, 5000);
    sale.lines.push_back(line);
    if (line.reserved) continue;
    const auto value =
        emu::LineValue(static_cast<uint32_t>(line.quantity), static_cast<uint8_t>(line.decimals),
                       static_cast<uint32_t>(line.price));
    amounts[static_cast<size_t>(line.rate - 1)] += value;
    if (pick(1, 10) == 1) {  // taken back at once
      sale.lines.push_back(line);
      sale.lines.back().typ = 0;
      amounts[static_cast<size_t>(line.rate - 1)] -= value;
    }
  }
  sale.discount = pick(0, 2) == 0 ? pick(1, 30) : 0;
  for (const int64_t amount : amounts) sale.total += emu::Discounted(amount, sale.discount);
  sale.payment = pick(0, 1) == 1;
  sale.extraLine = pick(0, 2) == 0;
  sale.package = pick(1, 10) == 1;
  sale.subtotal = pick(1, 10) == 1;
  if (const int reconnection = pick(1, 20); reconnection <= 2) {
    sale.reconnection = reconnection == 1 ? Reconnection::kLineError : Reconnection::kInit;
    sale.reconnectBefore = static_cast<size_t>(pick(1, static_cast<int>(sale.lines.size())));
  }
  const auto nakOrSilence = [&] {
    return pick(0, 1) ? emu::FaultKind::kSilence : emu::FaultKind::kNak;
  };
  sale.impatient = pick(1, 20) == 1;
  if (sale.impatient) sale.atEnd = emu::FaultKind::kSilence;
  if (!sale.atEnd && pick(1, 10) == 1) sale.atEnd = nakOrSilence();
  // The cancel goes out in every connection made, and in the impatient till's cancel.
  if ((sale.impatient || sale.reconnection == Reconnection::kInit) && pick(0, 1) == 0)
    sale.atCancel = nakOrSilence();
  return sale;
}

int64_t DayTotal(emu::Printer& printer) {
  const auto& totals = printer.Memory().DayTotals();
  return std::accumulate(totals.begin(), totals.end(), int64_t{0});
}

enum class Rung { kPrinted, kNotPrinted, kStuck };

// A call tried until it answers one of `final`; the last answer.
int32_t Patiently(const std::function<int32_t()>& call, std::initializer_list<int32_t> final) {
  int32_t result = -1;
  for (int attempt = 0; attempt < kPatience; ++attempt) {
    result = call();
    if (std::find(final.begin(), final.end(), result) != final.end()) break;
  }
  return result;
}

Rung Told(int32_t result) {
  if (result == TAURAVAT_OK) return Rung::kPrinted;
  if (result == TAURAVAT_E_RECEIPT_CANCELLED || result == TAURAVAT_E_RECEIPT_NOT_OPEN)
    return Rung::kNotPrinted;
  return Rung::kStuck;
}

class ReceiptProperty : public ::testing::Test {
 protected:
  void SetUp() override {
    // Supervision that never ends would hang the run: it ends as a failure (999) instead.
    DefaultPrinter().SetMessagePumpCallback([this] {
      if (++polls_ > 100000) throw std::runtime_error("supervision never ended");
    });
    PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
#ifndef _WIN32
    // A server that dies loses the bytes it held, and the printer drops the half sequence
    // they leave only once time passes for it; over the network a read time-out is real
    // time for the printer too.
    if (!NetworkRouteMode().empty()) port_.Line().PassTimeOnSilence(std::chrono::seconds(1));
#endif
    ASSERT_EQ(Patiently([] { return ::CommunicationInit(1, 9600, 1); }, {TAURAVAT_OK}),
              TAURAVAT_OK);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().SetMessagePumpCallback({});
    PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  }

  // Rings the sale until told it is printed; its reconnection happens the first time.
  Rung Ring(const Sale& sale) {
    for (int ring = 0; ring < kRings; ++ring)
      if (const Rung rung = RingOnce(sale, ring == 0); rung != Rung::kNotPrinted) return rung;
    return Rung::kStuck;
  }

  Rung RingOnce(const Sale& sale, bool first) {
    ::ErasePayments();
    ::EraseLines();
    if (sale.payment) ::FillPayment(1, "Gotowka", static_cast<int32_t>(sale.total), 0);
    int32_t free = 0;
    if (sale.extraLine) ::FillLines(0, "Dziekujemy za zakupy", free);
    if (Patiently(::ReceiptBegin, {TAURAVAT_OK}) != TAURAVAT_OK) return Rung::kStuck;
    for (size_t i = 0; i < sale.lines.size(); ++i) {
      if (first && sale.reconnection != Reconnection::kNone && i == sale.reconnectBefore &&
          !Reconnect(sale.reconnection))
        return Rung::kStuck;
      const Line& line = sale.lines[i];
      const std::string name = "Towar " + std::to_string(i + 1);
      const int32_t result = Patiently(
          [&] {
            int32_t value = 0;
            return ::ReceiptItem(line.typ, name, line.rate, 0, line.quantity, line.decimals, "szt",
                                 line.price, value);
          },
          {TAURAVAT_OK, TAURAVAT_E_RATE_UNDEFINED, TAURAVAT_E_RECEIPT_CANCELLED,
           TAURAVAT_E_RECEIPT_NOT_OPEN});
      if (result == TAURAVAT_E_RECEIPT_CANCELLED || result == TAURAVAT_E_RECEIPT_NOT_OPEN)
        return Rung::kNotPrinted;
      if (result != (line.reserved ? TAURAVAT_E_RATE_UNDEFINED : TAURAVAT_OK)) return Rung::kStuck;
    }
    // Neither is part of the sale's total; only a receipt they find gone matters.
    if (sale.package && Told(::PackageItem(0, 1, 10, 50)) == Rung::kNotPrinted)
      return Rung::kNotPrinted;
    if (sale.subtotal && ::PrintSubtotal() == TAURAVAT_E_RECEIPT_NOT_OPEN) return Rung::kNotPrinted;
    return End(sale.discount, sale.impatient);
  }

  // ReceiptEnd until it tells; failing on (at once, for an impatient till), a cancel, and
  // if that finds nothing to cancel (201), ReceiptEnd again to learn whether it printed.
  Rung End(int32_t discount, bool impatient) {
    for (int attempt = 0; attempt < (impatient ? 1 : kPatience); ++attempt) {
      if (attempt > 0) ++endRetries_;
      if (const Rung rung = Told(::ReceiptEnd(discount)); rung != Rung::kStuck) return rung;
    }
    ++cancels_;
    const int32_t cancelled = Patiently(
        ::ReceiptCancel, {TAURAVAT_OK, TAURAVAT_E_RECEIPT_CANCELLED, TAURAVAT_E_RECEIPT_NOT_OPEN});
    if (cancelled == TAURAVAT_OK || cancelled == TAURAVAT_E_RECEIPT_CANCELLED)
      return Rung::kNotPrinted;
    if (cancelled != TAURAVAT_E_RECEIPT_NOT_OPEN) return Rung::kStuck;
    return Told(
        Patiently([&] { return ::ReceiptEnd(discount); },
                  {TAURAVAT_OK, TAURAVAT_E_RECEIPT_CANCELLED, TAURAVAT_E_RECEIPT_NOT_OPEN}));
  }

  bool Reconnect(Reconnection how) {
    ++(how == Reconnection::kLineError ? lineErrors_ : inits_);
    if (how == Reconnection::kInit)
      return Patiently([] { return ::CommunicationInit(1, 9600, 1); }, {TAURAVAT_OK}) ==
             TAURAVAT_OK;
#ifndef _WIN32
    // Over the network the printer's line errors do not reach the driver (raw TCP carries
    // none, and the server's pseudo-terminal has none): the one it sees there is the
    // connection dropping, when the server dies.
    if (!NetworkRouteMode().empty()) {
      RestartNetworkServer();
    } else
#endif
      port_.Line().RaiseLineError(kLineFraming);
    return WaitForAny({&PrinterInternals(DefaultPrinter()).Link().Queue().Pending()}, 5000) == 0;
  }

  const uint32_t seed_ = static_cast<uint32_t>(FromEnvironment("TAURAVAT_PROPERTY_SEED", 20250611));
  const int sales_ = static_cast<int>(FromEnvironment("TAURAVAT_PROPERTY_SALES", 500));
  EmulatorPort port_{Faulty(seed_)};
  int polls_ = 0, endRetries_ = 0, cancels_ = 0, lineErrors_ = 0, inits_ = 0;
};

TEST_F(ReceiptProperty, EverySalePrintedOnceAndEveryPrintedReceiptTold) {
  SCOPED_TRACE("seed " + std::to_string(seed_) + " (TAURAVAT_PROPERTY_SEED)");
  emu::Printer& printer = port_.Printer();
  std::mt19937 rng(seed_);
  for (int number = 1; number <= sales_; ++number) {
    const Sale sale = MakeSale(rng);
    SCOPED_TRACE("sale " + std::to_string(number));
    if (sale.atEnd) printer.Faults().AddRule({uint8_t{0x24}, *sale.atEnd});
    if (sale.atCancel) printer.Faults().AddRule({uint8_t{0x23}, *sale.atCancel});
    const int64_t dayBefore = DayTotal(printer);
    polls_ = 0;
    ASSERT_EQ(Ring(sale), Rung::kPrinted) << "a careful till rings until printed";
    ASSERT_EQ(printer.Memory().ReceiptsToday(), kReceiptsBefore + number);
    ASSERT_EQ(DayTotal(printer) - dayBefore, sale.total);
    // The printer may keep an empty receipt a reconnection's cancel missed.
    ASSERT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
    ASSERT_TRUE(!printer.ReceiptOpen() || printer.OpenReceipt()->Items() == 0);
  }
  if (sales_ < 500) return;
  // Every kind of fault was struck, NAK and silence on the end and the cancel too.
  for (int k = 0; k <= static_cast<int>(emu::FaultKind::kCancelReceipt); ++k) {
    const auto kind = static_cast<emu::FaultKind>(k);
    uint64_t struck = 0;
    for (int command = 0; command < 256; ++command)
      struck += printer.Faults().Struck(static_cast<uint8_t>(command), kind);
    EXPECT_GT(struck, 0u) << emu::FaultName(kind);
  }
  for (const uint8_t command : {uint8_t{0x23}, uint8_t{0x24}})
    for (const auto kind : {emu::FaultKind::kNak, emu::FaultKind::kSilence})
      EXPECT_GT(printer.Faults().Struck(command, kind), 0u) << int{command};
  EXPECT_TRUE(lineErrors_ > 0 && inits_ > 0 && endRetries_ > 0 && cancels_ > 0);
}

}  // namespace
}  // namespace kestradr::testing
