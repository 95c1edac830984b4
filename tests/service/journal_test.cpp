// The journal's disk failing while a receipt is on its way: what the journal could not take
// holds the printer until it is written, every answer meanwhile is 503 `journal` with a
// Retry-After, and the receipt is never stuck nor printed twice.
#include <gtest/gtest.h>

#include <future>

#include "emulated_service.hpp"
#include "faulty_disk.hpp"

namespace tauravatd::testing {
namespace {

using kestra::emu::FaultKind;
using kestra::emu::Printer;
using namespace std::chrono_literals;
using Fault = FaultyDisk::Fault;

void ExpectJournalRefusal(const Reply& reply) {
  EXPECT_EQ(std::tuple(reply.status, reply.ErrorKind()), std::tuple(503, std::string("journal")))
      << reply.text;
  EXPECT_TRUE(!reply.retryAfter.empty() && std::stoi(reply.retryAfter) >= 1)
      << "Retry-After: " << reply.retryAfter;
}

class JournalFaults : public ::testing::Test {
 protected:
  FaultyDisk disk_;  // made first: the journal is opened through it
  EmulatedService service_{Luno(30ms)};

  void SetUp() override {
    // A reply held back is no time-out.
    service_.Config().printers[0].timeoutMs = 1000;
    service_.Start();
  }
  // While the disk fails: the same id, another one and the entry are refused, and the printer
  // takes no new work.
  void ExpectHeld() {
    ExpectJournalRefusal(service_.Post(Sale("r1")));
    ExpectJournalRefusal(service_.Post(Sale("r2")));
    ExpectJournalRefusal(service_.Get("/receipts/r1"));
    EXPECT_EQ(service_.Get("").body["settlement_pending"], true);
    EXPECT_EQ(service_.Sales("Towar r2"), 0);
  }
};

// The disk fills between admission and the counter's read: the receipt is not begun, and
// once the disk takes it again it is written failed and prints when sent again.
TEST_F(JournalFaults, AFullDiskBeforeTheReceiptBeginsLeavesNoSaleAndNothingStuck) {
  service_.OnPrinter([](Printer& p) { p.Faults().AddRule({0x66, FaultKind::kDelay, 0, 1}); });
  auto post = std::async(std::launch::async, [&] { return service_.Post(Sale("r1")); });
  ASSERT_TRUE(Eventually([&] {
    return service_.OnPrinter(
        [](Printer& p) { return p.Faults().Struck(0x66, FaultKind::kDelay); });
  }));
  disk_.Set(Fault::kFull);
  ExpectJournalRefusal(post.get());
  ExpectHeld();
  EXPECT_EQ(std::tuple(service_.Sales("Towar r1"), service_.ReceiptsCounted()), std::tuple(0, 0));
  disk_.Set(Fault::kNone);
  ASSERT_TRUE(Eventually([&] { return service_.Get("/receipts/r1").State() == "failed"; }));
  for (const char* id : {"r1", "r2"}) {
    const Reply printed = service_.Post(Sale(id));
    EXPECT_EQ(std::tuple(printed.status, printed.State()), std::tuple(201, std::string("printed")))
        << printed.text;
    EXPECT_EQ(service_.Sales(std::string("Towar ") + id), 1);
  }
  EXPECT_GT(disk_.Refused(), 0);
}

// The file system turns read-only while the printout of a completed receipt is followed: the
// outcome is kept until it is written, or settled by the counter after a restart.
TEST_F(JournalFaults, AReadOnlyDiskAtTheOutcomeKeepsThePrintedReceiptUntilItIsWritten) {
  for (const bool restart : {false, true}) {
    SCOPED_TRACE(restart ? "restarted" : "written");
    const std::string id = restart ? "r3" : "r1";
    auto post = std::async(std::launch::async, [&] { return service_.Post(Sale(id)); });
    const int before = service_.ReceiptsCounted();
    ASSERT_TRUE(Eventually([&] { return service_.ReceiptsCounted() == before + 1; }));
    disk_.Set(Fault::kReadOnly);
    ExpectJournalRefusal(post.get());
    if (!restart) ExpectHeld();
    if (restart) service_.Stop();
    disk_.Set(Fault::kNone);
    if (restart) service_.Start();
    ASSERT_TRUE(Eventually([&] { return service_.Get("/receipts/" + id).State() == "printed"; }));
    const Reply again = service_.Post(Sale(id));
    EXPECT_EQ(std::tuple(again.status, again.State(), again.body["receipt_number"]),
              std::tuple(200, std::string("printed"), before + 1))
        << again.text;
    EXPECT_EQ(std::tuple(service_.Sales("Towar " + id), service_.ReceiptsCounted()),
              std::tuple(1, before + 1));
  }
  EXPECT_EQ(service_.Post(Sale("r2")).status, 201);
}

}  // namespace
}  // namespace tauravatd::testing
