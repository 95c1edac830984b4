// Whole receipts on the printer emulator, and faults struck where they used to lose a sale
// or misreport it, checked against what the printer did (paper, counter, open receipt).
#include <gtest/gtest.h>

#include <algorithm>
#include <ranges>
#include <string>
#include <string_view>
#include <tuple>

#include "cp1250.hpp"
#include "driver_fixture.hpp"
#include "event.hpp"
#include "main_thread_queue.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "receipt_state.hpp"
#include "serial_device.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {
namespace {

// A LUNO with A 23 %, B 8 %, C reserved, D 5 %, E exempt, F 0 %, G reserved, and empty
// payment and extra-line tables.
class ReceiptOnEmulator : public OnEmulator {
 protected:
  void SetUp() override {
    OnEmulator::SetUp();
    emu::PrinterConfig config;
    config.deviceType = 7;
    config.rates = {
        2300, 800, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
    Start(config);
    ASSERT_EQ(::ErasePayments(), 0);
    ASSERT_EQ(::EraseLines(), 0);
  }
  static int32_t Item(int32_t typ, const char* utf8Name, int32_t rate, int32_t quantity,
                      int32_t decimals, const char* unit, int32_t price) {
    int32_t value = 0;
    return ::ReceiptItem(typ, Cp1250(utf8Name), rate, 0, quantity, decimals, Cp1250(unit), price,
                         value);
  }
  static int32_t Bread() { return Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 450); }
  static int32_t Water() { return Item(1, "Woda mineralna 1,5l", 2, 1, 0, "szt", 199); }
  static void BeginWithBread() {
    ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
    ASSERT_EQ(Bread(), TAURAVAT_OK);
  }
  // The totals of the selectors read back, separated by blanks.
  static std::string Selected(std::initializer_list<const char*> selectors) {
    std::string all;
    for (const char* selector : selectors) {
      std::string total = "none";
      EXPECT_EQ(::ReadSelTotal(selector, total), 0) << selector;
      all += (all.empty() ? "" : " ") + total;
    }
    return all;
  }
  // The paper, once whatever is queued has reached it.
  std::vector<std::string> Paper() {
    EXPECT_EQ(::PrintControl(0, PrinterInternals(DefaultPrinter()).DeviceType()), 0);
    return Printer().Paper().Lines();
  }
  // Paper lines in this order ("\n" between entries), each with every "|"-separated part.
  void ExpectPaperInOrder(const std::string& entries) {
    const auto lines = Paper();
    auto at = lines.begin();
    for (const auto entry : std::views::split(entries, '\n')) {
      at = std::find_if(at, lines.end(), [&entry](const std::string& line) {
        return std::ranges::all_of(std::views::split(entry, '|'), [&line](const auto fragment) {
          return line.find(std::string_view(fragment.begin(), fragment.end())) != std::string::npos;
        });
      });
      ASSERT_NE(at, lines.end()) << "missing or out of order: "
                                 << std::string_view(entry.begin(), entry.end()) << "\n"
                                 << Printer().Paper().Text();
      ++at;
    }
  }
  void ExpectOpen(bool open) {  // on both sides
    EXPECT_EQ(PrinterInternals(DefaultPrinter()).ReceiptOpen(), open);
    EXPECT_EQ(Printer().ReceiptOpen(), open);
  }
  // Receipts printed today, and the day's sales at rates A and B.
  std::tuple<int, int64_t, int64_t> Day() {
    const auto& sales = Printer().Memory().DayTotals();
    return {Printer().Memory().ReceiptsToday(), sales[0], sales[1]};
  }
  void Strike(uint8_t command, emu::FaultKind kind, int skip = 0) {
    Printer().Faults().AddRule({command, kind, skip, 1});
  }
};

TEST_F(ReceiptOnEmulator, WholeReceiptPrintsAndAddsUp) {
  int32_t free = 0;
  ASSERT_EQ(::FillPayment(1, Cp1250("Gotówka"), 2000, 0) + ::FillPayment(2, "Karta", 1233, 0) +
                ::FillLines(0, Cp1250("Dziękujemy za zakupy"), free) +
                ::FillLines(1, "Zapraszamy ponownie", free),
            0);
  // Every code page 1250 character that code page 852 holds, in byte order.
  const std::string held =
      "ŠŚŤŽŹšśťžźˇ˘Ł¤Ą§¨Ş«¬Ż°˛ł´¸ąş»Ľ˝ľżŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢßŕáâăäĺćçčéęëěíîďđńňóôőö÷řůú"
      "űüýţ˙";
  ASSERT_EQ(::FillLines(2, Cp1250(held), free), 0);
  EXPECT_EQ(free, 3);
  ASSERT_EQ(::ReceiptBegin(), 0);
  EXPECT_TRUE(Printer().ReceiptOpen());
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), 0);        // A 9.00
  ASSERT_EQ(Item(1, "Woda mineralna 1,5l", 2, 6, 0, "szt", 199), 0);        // B 11.94
  ASSERT_EQ(Item(1, "Mleko 3,2% karton", 2, 1500, 3, "l", 299), 0);         // B 4.49
  ASSERT_EQ(Item(0, "Mleko 3,2% karton", 2, 1500, 3, "l", 299), 0);         // back out
  ASSERT_EQ(Item(1, "Ser żółty gouda plastry", 4, 250, 3, "kg", 3990), 0);  // D 9.98
  ASSERT_EQ(Item(1, "Usługa pakowania prezentu", 5, 1, 0, "szt", 500), 0);  // E 5.00
  ASSERT_EQ(::PackageItem(0, 2, 50, 100), 0);
  ASSERT_EQ(::PrintSubtotal(), 0);
  // 10 %: A 810, B 1074.6 → 1075, D 898.2 → 898, E 450.
  ASSERT_EQ(::ReceiptEnd(10), 0);
  ExpectOpen(false);
  EXPECT_EQ(Printer().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Selected({"A", "B", "D", "E", "F", "+"}), "810 1075 898 450 0 3233");
  std::string total;
  EXPECT_EQ(::ReadTotal(total), 0);
  EXPECT_EQ(total, "3233");
  EXPECT_EQ(::ReadSelTotal("C", total), TAURAVAT_E_RATE_UNDEFINED);
  ExpectPaperInOrder(
      "PARAGON FISKALNY\nChleb żytni krojony|2x4.50 9.00 A\nWoda mineralna 1,5l|6x1.99 11.94 B\n"
      "Mleko 3,2% karton|1,500x2.99 4.49 B\nSTORNO Mleko 3,2% karton|-4.49 B\n"
      "Ser żółty gouda plastry|0,250x39.90 9.98 D\nUsługa pakowania prezentu|1x5.00 5.00 E\n"
      "OPAKOWANIE SPRZEDANE 2/50|1.00\nPODSUMA|35.92\nRABAT 10%|-3.59\n"
      "SPRZEDAŻ OPODATK. A|8.10\nSPRZEDAŻ OPODATK. B|10.75\nSPRZEDAŻ OPODATK. D|8.98\n"
      "SPRZEDAŻ ZWOLNIONA E|4.50\nSUMA PLN|32.33\nGotówka|20.00\nKarta|12.33\n"
      "Dziękujemy za zakupy\nZapraszamy ponownie\n" +
      held + "\nPARAGON FISKALNY");
  for (const auto& line : Printer().Paper().Lines())
    EXPECT_EQ(line.find("ANULOWANY"), std::string::npos) << line;
  EXPECT_EQ(::FillLines(3, "next", free), 0);  // the tables were sent and emptied
  EXPECT_EQ(free, 5);
}

TEST_F(ReceiptOnEmulator, ReceiptNumberIsTheOnePrintedAndRestartsAfterTheDailyReport) {
  const auto receipt = [this](bool cancel) {
    ASSERT_EQ(::ReceiptBegin(), 0);
    ASSERT_EQ(Bread(), 0);
    ASSERT_EQ(cancel ? ::ReceiptCancel() : ::ReceiptEnd(0), 0);
  };
  // The number read, which must be the one on the last receipt's paper.
  const auto number = [this] {
    int printed = 0;
    for (const auto& line : Paper())
      if (line.starts_with('#')) printed = std::stoi(line.substr(1));
    int32_t exported = -1, internal = -1;
    EXPECT_EQ(::ReceiptNumber(&exported) + DefaultPrinter().ReadLastReceiptNumber(internal), 0);
    EXPECT_EQ(exported, internal);
    EXPECT_EQ(exported, Printer().Memory().ReceiptsToday() == 0 ? 0 : printed);
    return exported;
  };
  receipt(false);
  receipt(true);  // a cancelled receipt takes no number
  receipt(false);
  EXPECT_EQ(number(), 2);
  ASSERT_EQ(::DailyReport(0), 0);
  EXPECT_EQ(number(), 0);
  receipt(false);
  EXPECT_EQ(number(), 1);
}

TEST_F(ReceiptOnEmulator, TotalPast32BitsReadsAs40Bits) {
  ASSERT_EQ(::ReceiptBegin(), 0);
  for (int i = 0; i < 4; ++i)
    ASSERT_EQ(Item(1, "Nieruchomość lokal", 1, 1, 0, "szt", 999'999'999), 0);
  ASSERT_EQ(Item(1, "Nieruchomość garaż", 1, 1, 0, "szt", 294'967'300), 0);
  ASSERT_EQ(::ReceiptEnd(0), 0);  // the driver's 32-bit sum wraps to 0, as the printer expects
  char buffer[32] = {};
  EXPECT_EQ(::pReadTotal(buffer), 0);
  EXPECT_EQ(Selected({"A", "+"}) + " " + buffer, "4294967296 4294967296 4294967296");
}

class ReceiptFaults : public ReceiptOnEmulator {
 protected:
  // A framing error, handed to the driver's thread the way a real port's line event is.
  void LineError() {
    Line().RaiseLineError(kLineFraming);
    ASSERT_EQ(WaitForAny({&PrinterInternals(DefaultPrinter()).Link().Queue().Pending()}, 5000), 0);
  }
  int Cancellations() {
    return static_cast<int>(std::ranges::count_if(
        Paper(), [](const std::string& l) { return l.find("PARAGON ANULOWANY") != l.npos; }));
  }
  int Sent(uint8_t command) {
    return static_cast<int>(std::ranges::count(Line().Commands(), command));
  }
};

// A line on a reserved rate would make the printer cancel the whole receipt: refused unsent.
TEST_F(ReceiptFaults, ItemOnAReservedRateIsRefusedAndTheReceiptGoesOn) {
  BeginWithBread();
  Line().ClearRecord();
  EXPECT_EQ(Item(1, "Towar w stawce C", 3, 1, 0, "szt", 100), TAURAVAT_E_RATE_UNDEFINED);
  EXPECT_EQ(Item(0, "Towar w stawce C", 3, 1, 0, "szt", 100), TAURAVAT_E_RATE_UNDEFINED);
  EXPECT_TRUE(Line().Commands().empty());
  ASSERT_EQ(Water(), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  EXPECT_EQ(Day(), std::tuple(1, 450, 199));
}

// After a framing error the next call reopens the port without the connecting cancel.
TEST_F(ReceiptFaults, LineErrorReopensThePortAtTheNextCallAndTheReceiptGoesOn) {
  int32_t number = -1;
  const int opened = Line().OpenCount();
  LineError();
  EXPECT_EQ(::ReceiptNumber(&number), TAURAVAT_OK);
  EXPECT_EQ(Line().OpenCount(), opened + 1);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).Link().CommErrorCode(), 0u);
  ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), TAURAVAT_OK);
  LineError();
  Line().ClearRecord();
  ASSERT_EQ(Water(), TAURAVAT_OK);
  EXPECT_EQ(Line().OpenCount(), opened + 2);
  EXPECT_EQ(::ReceiptEnd(10), TAURAVAT_OK);
  EXPECT_EQ(Sent(0x23), 0);
  EXPECT_EQ(Day(), std::tuple(1, 810, 179));  // less 10 %
}

// The connecting cancel drops the receipt in the driver too: 201 at once, not 0 for lost items.
TEST_F(ReceiptFaults, ReconnectionThatCancelsClosesTheReceiptInTheDriverToo) {
  for (const bool init : {true, false}) {
    BeginWithBread();
    std::string name;
    PrinterInternals(DefaultPrinter()).Connected() = init;
    ASSERT_EQ(init ? ::CommunicationInit(1, 9600, 1) : ::DeviceName(name), TAURAVAT_OK);
    ExpectOpen(false);
    EXPECT_EQ(Water(), TAURAVAT_E_RECEIPT_NOT_OPEN);
    EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIPT_NOT_OPEN);
  }
  ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
  ASSERT_EQ(Water(), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  EXPECT_EQ(Day(), std::tuple(1, 0, 199));
}

// Receipt operations reconnect without the cancel: the driver keeps the receipt's totals.
TEST_F(ReceiptFaults, ReconnectionThatDoesNotCancelKeepsTheReceiptsTotals) {
  ASSERT_EQ(::FillPayment(1, "Gotowka", 5000, 0), 0);
  ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
  ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 2, 0, "szt", 450), TAURAVAT_OK);
  PrinterInternals(DefaultPrinter()).Connected() =
      false;  // as after a reconnection that failed to open the port
  const int opened = Line().OpenCount();
  Line().ClearRecord();
  ASSERT_EQ(Water(), TAURAVAT_OK);
  EXPECT_EQ(Line().OpenCount(), opened + 1);
  EXPECT_EQ(::ReceiptEnd(10), TAURAVAT_OK);
  EXPECT_EQ(Sent(0x23), 0);
  EXPECT_EQ(Sent(0x81), 1);
  EXPECT_EQ(Day(), std::tuple(1, 810, 179));  // 1.99 less 10 %, half down
}

// An empty receipt's lost end is settled by a cancel (if that fails too, it stays open on
// both sides); a cancel whose answer is lost is sent once more.
TEST_F(ReceiptFaults, UnansweredEndOfAnEmptyReceiptOrItsCancelClosesItOnBothSides) {
  for (const auto kind : {emu::FaultKind::kSilence, emu::FaultKind::kDropByte}) {
    ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
    Strike(0x24, kind);
    EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
    ExpectOpen(false);
  }
  ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
  Strike(0x24, emu::FaultKind::kSilence);
  Strike(0x23, emu::FaultKind::kSilence);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIVE_TIMEOUT);
  ExpectOpen(true);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);  // answered by NAK: dropped
  EXPECT_FALSE(Printer().ReceiptOpen());
  BeginWithBread();
  Strike(0x23, emu::FaultKind::kDropByte);
  EXPECT_EQ(::ReceiptCancel(), TAURAVAT_OK);
  ExpectOpen(false);
  EXPECT_EQ(::ReceiptBegin(), TAURAVAT_OK);
}

// Every fault at every exchange of the end: retried, the receipt prints once with the right
// total, except that a discount or total the printer never took makes it cancel (210).
TEST_F(ReceiptFaults, RetriedEndFinishesTheReceiptOnceAfterAFaultAtAnyStep) {
  const std::pair<uint8_t, int> strikes[] = {{0x95, 0}, {0x1B, 0}, {0x95, 1}, {0x07, 0},
                                             {0x95, 2}, {0x81, 0}, {0x82, 0}, {0x09, 0},
                                             {0x95, 3}, {0x24, 0}, {0x95, 4}};
  const emu::FaultKind kinds[] = {
      emu::FaultKind::kNak,     emu::FaultKind::kSilence,  emu::FaultKind::kWrongFirstByte,
      emu::FaultKind::kGarbage, emu::FaultKind::kDropByte, emu::FaultKind::kDelay};
  int receipts = 0;
  uint64_t faults = 0;
  for (const auto& [command, skip] : strikes) {
    for (const auto kind : kinds) {
      SCOPED_TRACE(std::to_string(command) + "/" + std::to_string(skip) + " " +
                   std::string(emu::FaultName(kind)));
      int32_t free = 0;
      ASSERT_EQ(::EraseLines(), TAURAVAT_OK);  // a cancelled receipt leaves its tables filled
      ASSERT_EQ(::FillPayment(1, "Gotowka", 2000, 0), TAURAVAT_OK);
      ASSERT_EQ(::FillLines(0, "Dziekujemy", free), TAURAVAT_OK);
      ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
      ASSERT_EQ(Item(1, "Chleb żytni krojony", 1, 1, 0, "szt", 1005), TAURAVAT_OK);
      const int cancellations = Cancellations();
      Strike(command, kind, skip);
      int32_t code = -1;
      for (int attempt = 0;
           attempt < 3 && code != TAURAVAT_OK && code != TAURAVAT_E_RECEIPT_CANCELLED; ++attempt)
        code = ::ReceiptEnd(10);
      EXPECT_EQ(Printer().Faults().Injected(), ++faults);
      ExpectOpen(false);
      const bool lostSilently = (command == 0x1B || command == 0x07) &&
                                (kind == emu::FaultKind::kNak || kind == emu::FaultKind::kSilence ||
                                 kind == emu::FaultKind::kWrongFirstByte);
      EXPECT_EQ(code, lostSilently ? TAURAVAT_E_RECEIPT_CANCELLED : TAURAVAT_OK);
      EXPECT_EQ(Cancellations(), cancellations + (lostSilently ? 1 : 0));
      if (!lostSilently) ++receipts;
      EXPECT_EQ(Day(), std::tuple(receipts, receipts * 904, 0));
    }
  }
}

// Printed but not followed: a retry answers 0, not 201 (which would ring the sale again).
TEST_F(ReceiptFaults, RetryAfterAPrintedEndWhosePrintoutWasNotFollowedAnswersPrinted) {
  BeginWithBread();
  // Four guards and the status after the end come first; supervision's first read is lost.
  Strike(0x95, emu::FaultKind::kSilence, 5);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIVE_TIMEOUT);
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIPT_NOT_OPEN);  // told once; nothing more to end
  EXPECT_EQ(::ReceiptCancel(), TAURAVAT_E_RECEIPT_NOT_OPEN);
  EXPECT_EQ(Day(), std::tuple(1, 450, 0));
}

// End and counter unanswered: a cancel finds out first, a reconnection leaves it to the end.
TEST_F(ReceiptFaults, AnUnansweredEndIsLearntBeforeACancelOrAfterAReconnection) {
  const auto unansweredEnd = [this](emu::FaultKind kind) {
    BeginWithBread();
    Strike(0x24, kind);
    Strike(0x66, emu::FaultKind::kSilence);
    EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIVE_TIMEOUT);
  };
  unansweredEnd(emu::FaultKind::kDropByte);
  EXPECT_TRUE(PrinterInternals(DefaultPrinter()).ReceiptOpen() &&
              !Printer().ReceiptOpen());  // printed
  EXPECT_EQ(::ReceiptCancel(), TAURAVAT_E_RECEIPT_NOT_OPEN);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  // The same, then a reconnection whose cancel finds nothing open.
  unansweredEnd(emu::FaultKind::kDropByte);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), TAURAVAT_OK);
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  // Never heard: the reconnection's cancel finds it open, so it was not printed.
  unansweredEnd(emu::FaultKind::kSilence);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIPT_CANCELLED);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_E_RECEIPT_NOT_OPEN);
  EXPECT_EQ((std::pair<int, int>(std::get<0>(Day()), Printer().Memory().CancelledToday())),
            std::pair(2, 1));
}

// A begin whose answer is lost is cancelled at once; a receipt the printer still holds (its
// connecting cancel refused) is cancelled when the next begin is refused.
TEST_F(ReceiptFaults, BeginWhoseAnswerIsLostLeavesNoReceiptBehind) {
  Strike(0x21, emu::FaultKind::kDropByte);
  EXPECT_EQ(::ReceiptBegin(), TAURAVAT_E_RECEIVE_TIMEOUT);
  ExpectOpen(false);
  BeginWithBread();
  Strike(0x23, emu::FaultKind::kNak);
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), TAURAVAT_OK);  // a refused cancel is passed over
  EXPECT_TRUE(Printer().ReceiptOpen());
  EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen());
  ASSERT_EQ(::ReceiptBegin(), TAURAVAT_OK);
  ASSERT_EQ(Water(), TAURAVAT_OK);
  EXPECT_EQ(::ReceiptEnd(0), TAURAVAT_OK);
  EXPECT_EQ(Day(), std::tuple(1, 0, 199));  // the bread was never sold
}

}  // namespace
}  // namespace kestradr::testing
