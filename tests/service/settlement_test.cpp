// How the service settles a receipt whose end went unanswered, and which number it answers,
// on the LUNO, whose receipt counter reads 0 until the day's first receipt and where another
// count (the cancelled receipts) must never stand in for it.
#include <gtest/gtest.h>

#include "emulated_service.hpp"

namespace tauravatd::testing {
namespace {

using kestra::emu::FaultKind;
using kestra::emu::Printer;

void Silence(EmulatedService& service, uint8_t command) {
  service.OnPrinter([&](Printer& p) { p.Faults().AddRule({command, FaultKind::kSilence, 0, -1}); });
}

void Speak(EmulatedService& service) {
  service.OnPrinter([](Printer& p) { p.Faults() = kestra::emu::FaultInjector({}); });
}

// The printer never hears the end: opening it again cancels the receipt ("PARAGON
// ANULOWANY"), and its receipt counter, read before and after, settles it. Where that
// counter reads 0 both times the LUNO cannot tell; from 3 it stayed, so nothing was sold.
TEST(LunoSettlement, AnEndNeverHeardIsCancelledOrUnknownNeverPrinted) {
  for (const uint16_t before : {uint16_t{0}, uint16_t{3}}) {
    SCOPED_TRACE(before);
    kestra::emu::PrinterConfig printer = Luno();
    printer.receiptCounter = before;
    EmulatedService service(printer);
    service.Start();
    Silence(service, 0x24);
    const Reply lost = service.Post(Sale("r1"));
    EXPECT_EQ(lost.State(), before == 0 ? "unknown" : "cancelled") << lost.text;
    EXPECT_EQ(lost.body["receipt_number"], nullptr);
    EXPECT_EQ(std::tuple(service.Sales("Towar r1"), service.ReceiptsCounted(),
                         service.CancelledCounted()),
              std::tuple(0, int{before}, 1));
    // Sent again, it is printed once; an unknown one only when the till says so.
    Speak(service);
    const std::string retry = before == 0 ? R"("retry_unknown": true)" : "";
    if (before == 0) {
      EXPECT_EQ(service.Post(Sale("r1")).ErrorKind(), "unknown_outcome");
    }
    const Reply printed = service.Post(Sale("r1", retry));
    EXPECT_EQ(std::tuple(printed.status, printed.State()), std::tuple(201, std::string("printed")))
        << printed.text;
    EXPECT_EQ(printed.body["receipt_number"], before + 1);
    EXPECT_EQ(std::tuple(service.Sales("Towar r1"), service.ReceiptsCounted()),
              std::tuple(1, before + 1));
  }
}

// The number answered is the one at the foot of the receipt, even on a day whose cancelled
// receipts the LUNO counts where its receipt counter reads 0; before the first receipt the
// printer cannot tell the last one's number.
TEST(LunoSettlement, TheReceiptNumberIsTheOneOnThePaper) {
  kestra::emu::PrinterConfig printer = Luno();
  printer.cancelledCounter = 2;
  EmulatedService service(printer);
  service.Start();
  EXPECT_EQ(service.Get("/counters").body["receipt_number"], nullptr);
  for (const int number : {1, 2}) {
    const std::string id = "r" + std::to_string(number);
    const Reply printed = service.Post(Sale(id));
    EXPECT_EQ(std::tuple(printed.State(), printed.body["receipt_number"]),
              std::tuple(std::string("printed"), number))
        << printed.text;
    EXPECT_EQ(service.Get("/counters").body["receipt_number"], number);
  }
  const std::string paper = service.OnPrinter([](Printer& p) { return p.Paper().Text(); });
  EXPECT_NE(paper.find("\n#00002 "), std::string::npos) << paper;
}

}  // namespace
}  // namespace tauravatd::testing
