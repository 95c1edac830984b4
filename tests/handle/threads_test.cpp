// Handles and threads: two printers driven at once from two threads, one handle shared by
// several threads, and a progress call-back that tries to use its own handle.
#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <string>
#include <thread>
#include <vector>

#include "emulated_printer.hpp"

namespace tauravat_test {
namespace {

using kestra::emu::Printer;

constexpr int kReceipts = 4;

// Opens the printer and issues kReceipts receipts of two lines named after `article`;
// the first failing code, or TAURAVAT_OK.
int32_t SellOn(const std::string& path, const std::string& article, int64_t price,
               std::barrier<>& start) {
  tauravat_printer* printer = nullptr;
  start.arrive_and_wait();
  int32_t result = tauravat_open(path.c_str(), nullptr, &printer);
  for (int receipt = 0; result == TAURAVAT_OK && receipt < kReceipts; ++receipt) {
    result = tauravat_receipt_begin(printer);
    for (int line = 0; result == TAURAVAT_OK && line < 2; ++line) {
      const std::string name = article + " " + std::to_string(receipt) + "-" + std::to_string(line);
      tauravat_item item{};
      item.size = sizeof item;
      item.kind = TAURAVAT_ITEM_SALE;
      item.name = name.c_str();
      item.rate = 1;
      item.quantity = 1;
      item.price = price;
      result = tauravat_receipt_item(printer, &item, nullptr);
    }
    if (result == TAURAVAT_OK) result = tauravat_receipt_end(printer, 0);
  }
  const int32_t closed = tauravat_close(printer);
  return result != TAURAVAT_OK ? result : closed;
}

TEST(HandleThreads, TwoPrintersOnTwoPortsWorkAtOnceFromTwoThreads) {
  kestra::emu::PrinterConfig tauraII = Luno();
  tauraII.deviceType = 3;
  EmulatedPrinter luno;
  EmulatedPrinter taura(tauraII);
  std::barrier start(2);
  int32_t lunoResult = -1;
  int32_t tauraResult = -1;
  std::thread first([&] { lunoResult = SellOn(luno.Path(), "Masło extra", 649, start); });
  std::thread second([&] { tauraResult = SellOn(taura.Path(), "Kawa ziarnista", 2999, start); });
  first.join();
  second.join();
  EXPECT_EQ(lunoResult, TAURAVAT_OK);
  EXPECT_EQ(tauraResult, TAURAVAT_OK);

  // Each printer received its own receipts, whole, and nothing of the other's.
  const auto lunoTotals = luno.WithPrinter([](Printer& p) { return p.Memory().DayTotals(); });
  const auto tauraTotals = taura.WithPrinter([](Printer& p) { return p.Memory().DayTotals(); });
  EXPECT_EQ(lunoTotals[0], kReceipts * 2 * 649);
  EXPECT_EQ(tauraTotals[0], kReceipts * 2 * 2999);
  EXPECT_EQ(luno.WithPrinter([](Printer& p) { return p.Memory().ReceiptsToday(); }), kReceipts);
  EXPECT_EQ(taura.WithPrinter([](Printer& p) { return p.Memory().ReceiptsToday(); }), kReceipts);
  EXPECT_EQ(luno.Paper().find("Kawa"), std::string::npos);
  EXPECT_EQ(taura.Paper().find("Masło"), std::string::npos);
  EXPECT_NE(taura.Paper().find("Kawa ziarnista 3-1"), std::string::npos);
}

TEST(HandleThreads, OneHandleTakesTheCallsOfSeveralThreadsOneAtATime) {
  EmulatedPrinter emulated;
  const Handle printer = emulated.Open();
  ASSERT_NE(printer, nullptr);
  constexpr int kThreads = 3;
  constexpr int kRounds = 15;
  std::atomic<int> wrong{0};
  std::barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int round = 0; round < kRounds; ++round) {
        // Interleaved on the wire, these answers would be each other's bytes.
        int32_t count = 0;
        uint32_t rates[7] = {};
        if (tauravat_read_vat(printer.get(), &count, rates) != TAURAVAT_OK || count != 7 ||
            rates[0] != 2300)
          ++wrong;
        if (TextOf([&](char* text, size_t size, size_t* needed) {
              return tauravat_read_unique_number(printer.get(), text, size, needed);
            }) != "KES12345678")
          ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
}

struct Reentry {
  tauravat_printer* printer = nullptr;
  std::vector<int32_t> nested;
};

TEST(HandleThreads, AProgressCallBackCannotUseItsOwnHandle) {
  EmulatedPrinter emulated;
  Reentry reentry;
  tauravat_options options{};
  options.size = sizeof options;
  options.user = &reentry;
  options.progress = [](void* user, const char*) {
    auto& state = *static_cast<Reentry*>(user);
    if (state.printer == nullptr) return;
    char name[TAURAVAT_DEVICE_NAME_SIZE];
    state.nested.push_back(tauravat_device_name(state.printer, name, sizeof name, nullptr));
    state.nested.push_back(tauravat_close(state.printer));
  };
  const Handle printer = emulated.Open(&options);
  ASSERT_NE(printer, nullptr);
  reentry.printer = printer.get();
  int32_t count = 0;
  uint32_t rates[7] = {};
  EXPECT_EQ(tauravat_read_vat(printer.get(), &count, rates), TAURAVAT_OK);
  ASSERT_FALSE(reentry.nested.empty());
  for (const int32_t code : reentry.nested) EXPECT_EQ(code, TAURAVAT_E_REENTERED);
  // The refused close freed nothing: the handle still works.
  reentry.printer = nullptr;
  EXPECT_EQ(tauravat_read_vat(printer.get(), &count, rates), TAURAVAT_OK);
}

}  // namespace
}  // namespace tauravat_test
