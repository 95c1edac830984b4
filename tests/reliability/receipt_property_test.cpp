// The property run: random sales rung by a careful till on the emulated printer, with
// random faults of every kind the printer has on every command it is sent, targeted NAKs
// and silences on the cancel (0x23) and the end (0x24), and now and then a line error or
// a reconnection in the middle of a receipt. After each sale the till's view (the codes it
// got, and the retries and cancels it made on them, as docs/receipts.md tells a till to)
// must agree with the printer's paper and counters: the sale the till was told printed is
// on the paper exactly once, with its total; no sale is on it twice; no printed receipt is
// one the till was not told of.
//
// TAURAVAT_PROPERTY_SEED and TAURAVAT_PROPERTY_SALES override the seed and the number of
// sales (500); a failure names the seed and the sale.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "printer.hpp"
#include "emulator_line.hpp"
#include "event.hpp"
#include "kestra/emu/receipt.hpp"
#include "main_thread_queue.hpp"
#include "messages.hpp"
#include "serial_device.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

namespace emu = kestra::emu;

constexpr double kFaultChance = 0.03;    // per command the printer is sent
constexpr int kPatience = 12;            // how often a careful till tries one call
constexpr int kRings = 20;               // ... and one sale
constexpr uint16_t kReceiptsBefore = 5;  // a printer in the middle of a day
constexpr int32_t kReservedRates[] = {3, 7};
constexpr int32_t kUsableRates[] = {1, 2, 4, 5, 6};

uint64_t FromEnvironment(const char* name, uint64_t otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10) : otherwise;
}

// A LUNO with A 23 %, B 8 %, C reserved, D 5 %, E exempt, F 0 %, G reserved.
emu::PrinterConfig Luno(uint32_t seed) {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  config.receiptCounter = kReceiptsBefore;
  config.timing = {0, std::chrono::milliseconds{0}, 0, std::chrono::milliseconds{0}};
  config.faults.seed = seed;
  config.faults.random = {kFaultChance, {}};  // every kind
  return config;
}

struct Line {
  int32_t typ = 1;  // 1 sale, 0 cancellation of an earlier line
  int32_t rate = 1;
  int32_t quantity = 1;
  int32_t decimals = 0;
  int32_t price = 100;
  bool reserved = false;  // refused by the driver (226); not part of the sale
};

enum class Reconnection { kNone, kLineError, kInit };

struct Sale {
  int number = 0;
  std::vector<Line> lines;
  int32_t discount = 0;
  bool payment = false;
  bool extraLine = false;
  bool package = false;
  bool subtotal = false;
  Reconnection reconnection = Reconnection::kNone;
  size_t reconnectBefore = 0;  // the line before which it happens
  // A till that cancels as soon as the end fails (the end then fails once for sure).
  bool impatient = false;
  // A fault aimed at the end and one at the cancel, each to strike once in this sale.
  std::optional<emu::FaultKind> atEnd, atCancel;
  int64_t total = 0;  // what the paper must show
};

std::string Tag(int number) {
  std::string digits = std::to_string(number);
  return "Sprzedaz " + std::string(5 - digits.size(), '0') + digits;
}

std::string Money(int64_t grosz) {
  std::string cents = std::to_string(grosz % 100);
  return std::to_string(grosz / 100) + "." + std::string(2 - cents.size(), '0') + cents;
}

class SaleMaker {
 public:
  explicit SaleMaker(uint32_t seed) : rng_(seed) {}

  Sale Make(int number) {
    Sale sale;
    sale.number = number;
    emu::RateAmounts amounts{};
    const int count = Pick(1, 4);
    for (int i = 0; i < count; ++i) {
      Line line;
      // Refused lines come among sold ones: an empty receipt prints no sale.
      line.reserved = i > 0 && Pick(1, 12) == 1;
      line.rate = line.reserved ? kReservedRates[Pick(0, 1)] : kUsableRates[Pick(0, 4)];
      if (Pick(0, 2) == 0) {
        line.quantity = Pick(100, 3000);  // weighed, in grams
        line.decimals = 3;
      } else {
        line.quantity = Pick(1, 5);
      }
      line.price = Pick(50, 5000);
      sale.lines.push_back(line);
      if (line.reserved) continue;
      const auto value =
          emu::LineValue(static_cast<uint32_t>(line.quantity), static_cast<uint8_t>(line.decimals),
                         static_cast<uint32_t>(line.price));
      amounts[static_cast<size_t>(line.rate - 1)] += value;
      if (Pick(1, 10) == 1) {  // taken back at once
        Line back = line;
        back.typ = 0;
        sale.lines.push_back(back);
        amounts[static_cast<size_t>(line.rate - 1)] -= value;
      }
    }
    sale.discount = Pick(0, 2) == 0 ? Pick(1, 30) : 0;
    for (const int64_t amount : amounts) sale.total += emu::Discounted(amount, sale.discount);
    sale.payment = Pick(0, 1) == 1;
    sale.extraLine = Pick(0, 2) == 0;
    sale.package = Pick(1, 10) == 1;
    sale.subtotal = Pick(1, 10) == 1;
    const int reconnection = Pick(1, 20);
    if (reconnection <= 2) {
      sale.reconnection = reconnection == 1 ? Reconnection::kLineError : Reconnection::kInit;
      sale.reconnectBefore = static_cast<size_t>(Pick(1, static_cast<int>(sale.lines.size())));
    }
    const auto nakOrSilence = [this] {
      return Pick(0, 1) == 0 ? emu::FaultKind::kNak : emu::FaultKind::kSilence;
    };
    sale.impatient = Pick(1, 20) == 1;
    if (sale.impatient) sale.atEnd = emu::FaultKind::kSilence;
    if (!sale.atEnd && Pick(1, 10) == 1) sale.atEnd = nakOrSilence();
    // The cancel goes out in every reconnection that opens a connection, and in the
    // impatient till's cancel.
    if ((sale.impatient || sale.reconnection == Reconnection::kInit) && Pick(0, 1) == 0)
      sale.atCancel = nakOrSilence();
    return sale;
  }

  int Pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

 private:
  std::mt19937 rng_;
};

// The receipts on the paper, read line by line as the printer prints them.
class Paper {
 public:
  struct Receipt {
    std::set<int> sales;  // the sale numbers in its item lines
    std::string sum;      // its "SUMA PLN"
  };

  void OnLine(const std::string& line) {
    std::lock_guard lock(mutex_);
    if (line.find("KESTRA - STANOWISKO TESTOWE") != std::string::npos) {
      open_ = Receipt{};
      inReceipt_ = true;
    } else if (!inReceipt_) {
      return;
    } else if (line.find("PARAGON ANULOWANY") != std::string::npos) {
      inReceipt_ = false;
    } else if (line.rfind('#', 0) == 0) {  // the footer with the receipt's number
      printed_.push_back(open_);
      inReceipt_ = false;
    } else if (const auto at = line.find("Sprzedaz "); at != std::string::npos) {
      open_.sales.insert(std::stoi(line.substr(at + 9, 5)));
    } else if (line.rfind("SUMA PLN", 0) == 0) {
      open_.sum = line.substr(line.find_last_of(' ') + 1);
    }
  }

  std::vector<Receipt> Printed() {
    std::lock_guard lock(mutex_);
    return printed_;
  }

 private:
  std::mutex mutex_;
  Receipt open_;
  bool inReceipt_ = false;
  std::vector<Receipt> printed_;
};

enum class Rung { kPrinted, kNotPrinted, kStuck };

struct Tally {
  int sales = 0, rings = 0, endRetries = 0, cancels = 0, lineErrors = 0, inits = 0, refused = 0;
};

class ReceiptProperty : public ::testing::Test {
 protected:
  void SetUp() override {
    seed_ = static_cast<uint32_t>(FromEnvironment("TAURAVAT_PROPERTY_SEED", 20250611));
    sales_ = static_cast<int>(FromEnvironment("TAURAVAT_PROPERTY_SALES", 500));
    port_ = std::make_unique<EmulatorPort>(Luno(seed_));
    port_->Printer().Paper().SetSink([this](const std::string& line) { paper_.OnLine(line); });
    // Supervision that never ends would hang the run: it ends as a failure (999) instead.
    DefaultPrinter().SetMessagePumpCallback([this] {
      if (++polls_ > 100000) throw std::runtime_error("supervision never ended");
    });
    DefaultPrinter().ReceiptOpen = false;
    ASSERT_EQ(Patiently([] { return ::CommunicationInit(1, 9600, 1); }, {kOk}), kOk);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().SetMessagePumpCallback({});
    DefaultPrinter().ReceiptOpen = false;
    port_.reset();
  }

  emu::Printer& Printer() { return port_->Printer(); }

  // A call tried until it answers one of `final`; the last answer.
  static int32_t Patiently(const std::function<int32_t()>& call,
                           std::initializer_list<int32_t> final) {
    int32_t result = -1;
    for (int attempt = 0; attempt < kPatience; ++attempt) {
      result = call();
      for (const int32_t code : final)
        if (result == code) return result;
    }
    return result;
  }

  // Rings the sale until the driver says it is printed.
  Rung Ring(const Sale& sale) {
    for (int ring = 0; ring < kRings; ++ring) {
      ++tally_.rings;
      const Rung rung = RingOnce(sale, ring == 0);
      if (rung != Rung::kNotPrinted) return rung;
    }
    return Rung::kStuck;
  }

  // The reconnection a sale may have happens the first time it is rung.
  Rung RingOnce(const Sale& sale, bool first) {
    ::ErasePayments();
    ::EraseLines();
    if (sale.payment) ::FillPayment(1, "Gotowka", static_cast<int32_t>(sale.total), 0);
    int32_t free = 0;
    if (sale.extraLine) ::FillLines(0, "Dziekujemy za zakupy", free);
    if (Patiently([] { return ::ReceiptBegin(); }, {kOk}) != kOk) return Rung::kStuck;

    for (size_t i = 0; i < sale.lines.size(); ++i) {
      if (first && sale.reconnection != Reconnection::kNone && i == sale.reconnectBefore &&
          !Reconnect(sale))
        return Rung::kStuck;
      const Line& line = sale.lines[i];
      const std::string name = Tag(sale.number) + " poz " + std::to_string(i + 1);
      const int32_t result = Patiently(
          [&] {
            int32_t value = 0;
            return ::ReceiptItem(line.typ, name, line.rate, 0, line.quantity, line.decimals, "szt",
                                 line.price, value);
          },
          {kOk, kRateUndefined, kReceiptCancelled, kReceiptNotOpen});
      if (result == kReceiptCancelled || result == kReceiptNotOpen) return Rung::kNotPrinted;
      if (result == kRateUndefined) ++tally_.refused;
      if (result != (line.reserved ? kRateUndefined : kOk)) return Rung::kStuck;
    }
    // Neither is part of the sale's total; only a receipt they find gone matters.
    if (sale.package) {
      const int32_t result = ::PackageItem(0, 1, 10, 50);
      if (result == kReceiptCancelled || result == kReceiptNotOpen) return Rung::kNotPrinted;
    }
    if (sale.subtotal && ::PrintSubtotal() == kReceiptNotOpen) return Rung::kNotPrinted;
    return End(sale.discount, sale.impatient);
  }

  // ReceiptEnd until it tells printed (0) or not (210, 201); when it keeps failing (or at
  // once, for an impatient till), the receipt is cancelled, and a cancel that finds nothing
  // to cancel (201) is followed by ReceiptEnd, which then tells whether it was printed.
  Rung End(int32_t discount, bool impatient) {
    const auto told = [](int32_t result) {
      if (result == kOk) return Rung::kPrinted;
      if (result == kReceiptCancelled || result == kReceiptNotOpen) return Rung::kNotPrinted;
      return Rung::kStuck;
    };
    for (int attempt = 0; attempt < (impatient ? 1 : kPatience); ++attempt) {
      if (attempt > 0) ++tally_.endRetries;
      const Rung rung = told(::ReceiptEnd(discount));
      if (rung != Rung::kStuck) return rung;
    }
    ++tally_.cancels;
    const int32_t cancelled =
        Patiently([] { return ::ReceiptCancel(); }, {kOk, kReceiptCancelled, kReceiptNotOpen});
    if (cancelled == kOk || cancelled == kReceiptCancelled) return Rung::kNotPrinted;
    if (cancelled != kReceiptNotOpen) return Rung::kStuck;
    return told(Patiently([&] { return ::ReceiptEnd(discount); },
                          {kOk, kReceiptCancelled, kReceiptNotOpen}));
  }

  bool Reconnect(const Sale& sale) {
    if (sale.reconnection == Reconnection::kLineError) {
      ++tally_.lineErrors;
      port_->Line().RaiseLineError(kLineFraming);
      return WaitForAny({&DefaultPrinter().Link.Queue().Pending()}, 5000) == 0;
    }
    ++tally_.inits;
    return Patiently([] { return ::CommunicationInit(1, 9600, 1); }, {kOk}) == kOk;
  }

  void Aim(const Sale& sale) {
    if (sale.atEnd) Printer().Faults().AddRule({uint8_t{0x24}, *sale.atEnd, 0, 1});
    if (sale.atCancel) Printer().Faults().AddRule({uint8_t{0x23}, *sale.atCancel, 0, 1});
  }

  uint32_t seed_ = 0;
  int sales_ = 0;
  int polls_ = 0;
  Tally tally_;
  Paper paper_;
  std::unique_ptr<EmulatorPort> port_;
};

TEST_F(ReceiptProperty, EverySalePrintedOnceAndEveryPrintedReceiptTold) {
  SCOPED_TRACE("seed " + std::to_string(seed_) + " (TAURAVAT_PROPERTY_SEED)");
  SaleMaker maker(seed_);
  std::map<int, int> printedOf;  // sale → receipts on the paper
  int64_t sold = 0;
  int printedSales = 0;
  for (int number = 1; number <= sales_; ++number) {
    const Sale sale = maker.Make(number);
    SCOPED_TRACE("sale " + std::to_string(number));
    Aim(sale);
    const size_t before = paper_.Printed().size();
    polls_ = 0;
    const Rung rung = Ring(sale);
    ++tally_.sales;
    ASSERT_NE(rung, Rung::kStuck) << "the till could not learn the outcome; seed " << seed_;
    ASSERT_EQ(rung, Rung::kPrinted) << "a careful till rings until printed; seed " << seed_;
    ++printedSales;
    sold += sale.total;

    // What the printer printed meanwhile: this sale's receipt, once, with its total.
    const auto printed = paper_.Printed();
    for (size_t at = before; at < printed.size(); ++at) {
      const auto& receipt = printed[at];
      ASSERT_EQ(receipt.sales, std::set<int>{number}) << "a printed receipt of another sale, or "
                                                         "of none; seed "
                                                      << seed_;
      ASSERT_EQ(receipt.sum, Money(sale.total)) << "seed " << seed_;
      ++printedOf[number];
    }
    ASSERT_EQ(printedOf[number], 1) << "printed " << printedOf[number] << " times; seed " << seed_;
    ASSERT_EQ(Printer().Memory().ReceiptsToday(), kReceiptsBefore + printedSales)
        << "seed " << seed_;
    int64_t day = 0;
    for (const int64_t amount : Printer().Memory().DayTotals()) day += amount;
    ASSERT_EQ(day, sold) << "seed " << seed_;
    // Both sides are done with the receipt; the printer may keep an empty one that a
    // reconnection's cancel missed (the next begin cancels it).
    ASSERT_FALSE(DefaultPrinter().ReceiptOpen) << "seed " << seed_;
    ASSERT_TRUE(!Printer().ReceiptOpen() || Printer().OpenReceipt()->Items() == 0)
        << "seed " << seed_;
  }

  std::cout << "seed " << seed_ << ": " << tally_.sales << " sales in " << tally_.rings
            << " rings, " << Printer().Faults().Injected() << " faults, " << tally_.endRetries
            << " end retries, " << tally_.cancels << " cancels after a failing end, "
            << tally_.lineErrors << " line errors and " << tally_.inits
            << " reconnections mid-receipt, " << tally_.refused << " lines on reserved rates\n";
  if (sales_ >= 500) {
    // The run reached what it is for: every kind of fault, on the end and the cancel too.
    const emu::FaultKind kinds[] = {
        emu::FaultKind::kNak,          emu::FaultKind::kSilence,  emu::FaultKind::kWrongFirstByte,
        emu::FaultKind::kGarbage,      emu::FaultKind::kDropByte, emu::FaultKind::kDelay,
        emu::FaultKind::kCancelReceipt};
    for (const auto kind : kinds) {
      uint64_t struck = 0;
      for (int command = 0; command < 256; ++command)
        struck += Printer().Faults().Struck(static_cast<uint8_t>(command), kind);
      EXPECT_GT(struck, 0u) << emu::FaultName(kind);
    }
    for (const uint8_t command : {uint8_t{0x23}, uint8_t{0x24}}) {
      EXPECT_GT(Printer().Faults().Struck(command, emu::FaultKind::kNak), 0u) << int{command};
      EXPECT_GT(Printer().Faults().Struck(command, emu::FaultKind::kSilence), 0u) << int{command};
    }
    EXPECT_GT(tally_.lineErrors, 0);
    EXPECT_GT(tally_.inits, 0);
    EXPECT_GT(tally_.endRetries, 0);
    EXPECT_GT(tally_.cancels, 0);
  }
}

}  // namespace
}  // namespace kestradr::testing
