// The fault matrix: every fault struck once on each role an exchange plays, per operation,
// against the emulated printer; rows for scripts/reliability.sh in FAULT_MATRIX_OUT.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "emulator_line.hpp"
#include "luno.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"
#ifndef _WIN32
#include "kestra/emu/pty_server.hpp"
#endif

namespace kestradr::testing {
namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;

constexpr int32_t kOk = 0, kSend = 20, kPaper = 109, kCancelled = 210;

// In the role rows: the operation's clean code, the stray byte read as the answer, silence.
constexpr int32_t C = -1, kStray = -2, kPass = -3;

enum Fault { kNak, kSilence, kWrong, kDrop, kGarbage, kPrinterCancels, kPaperOut, kVanish };
const char* const kFaultNames[] = {"NAK",     "silence",         "wrong byte", "dropped byte",
                                   "garbage", "printer cancels", "paper out",  "port vanishes"};
// What the printer strikes itself; the line strikes the last two.
constexpr emu::FaultKind kEmulated[] = {
    emu::FaultKind::kNak,      emu::FaultKind::kSilence, emu::FaultKind::kWrongFirstByte,
    emu::FaultKind::kDropByte, emu::FaultKind::kGarbage, emu::FaultKind::kCancelReceipt};

// What the operation answers when a fault strikes the role: a code for each of the first five
// faults; whether it reads the paper (109 if it ran out before); what it tells of a receipt
// the printer cancelled before it. A vanished port is always a send failure (20).
struct Role {
  const char* name;
  int32_t on[5];  // NAK, silence, wrong byte, dropped byte, garbage
  bool paper;
  int32_t cancelled;
};
constexpr Role kAck{"ack", {24, 21, 23, 21, C}, false, kPass};  // its first reply read
constexpr Role kIdent{"ident", {24, 21, 23, 21, C}, false, kPass};
constexpr Role kRates{"rates", {24, 21, 23, 21, C}, false, kPass};  // no older format here
// Nothing read back; a line the printer needs to end the receipt is a cancel when lost.
constexpr Role kSilent{"no reply", {C, C, C, C, C}, false, kPass};
constexpr Role kNeeded{"no reply", {kCancelled, kCancelled, kCancelled, C, C}, false, kPass};
// A package's byte after the parameters; a report's result byte after them.
constexpr Role kPackage{"package", {24, 21, 24, 21, kStray}, false, kCancelled};
constexpr Role kReport{"report", {24, 21, 23, 21, kStray}, false, kPass};
constexpr Role kConnect{"connect", {C, 21, 23, 21, C}, false, kPass};  // a NAK: passed over
// A refused sub-type read means an older model, which may lack what the operation needs.
constexpr Role kSubtype{"subtype", {kOk, 21, 23, 21, C}, false, kPass};
constexpr Role kSubtypeNewer{"subtype", {224, 21, 23, 21, C}, false, kPass};
constexpr Role kBegin{"begin", {C, 21, 23, 21, C}, false, kPass};   // a NAK: cancel, begin again
constexpr Role kEnd{"end", {24, 21, 23, C, C}, false, kCancelled};  // a lost ACK: the counter
constexpr Role kCancel{"cancel", {24, C, C, C, C}, false, C};       // sent again; nothing to cancel
// Status reads: the guard's and the one after the end count only "cancelled" (not on one
// garbled byte); supervision's first and the one before resuming only "no paper".
constexpr Role kGuard{"guard", {C, 21, C, 21, C}, false, kCancelled};
constexpr Role kFinal{"end status", {C, C, C, C, C}, false, kPass};
constexpr Role kStep{"supervision", {C, 21, C, 21, C}, true, kPass};
constexpr Role kLoop95{"supervision", {103, 21, 103, 21, C}, true, kPass};
constexpr Role kLoop94{"supervision", {C, 21, C, 21, C}, false, kPass};
constexpr Role kResume{"resume", {C, 21, C, 21, C}, true, kPass};
// The receipt preconditions (First: the read-only module tested before the user data).
constexpr Role kPre9B{"preconditions", {104, 21, 104, 21, C}, false, kPass};
constexpr Role kPre9BFirst{"preconditions", {105, 21, 105, 21, C}, false, kPass};
constexpr Role kPre94{"preconditions", {107, 21, 107, 21, C}, false, kPass};
constexpr Role kPre95{"preconditions", {103, 21, 103, 21, C}, true, kPass};
constexpr Role kPre96{"preconditions", {C, 21, 101, 21, C}, false, kPass};

struct Step {
  uint8_t command;
  const Role* role;
};
using Layout = std::vector<Step>;
Layout operator+(Layout a, const Layout& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
// On an idle printer: one read, one round of the loop (models 7 and 8 skip the memory
// status after a printout).
Layout Supervision(bool memoryStatus) {
  Layout l{{0x95, &kStep}, {0x95, &kLoop95}};
  if (memoryStatus) l.push_back({0x94, &kLoop94});
  return l + Layout{{0x95, &kLoop95}};
}
Layout Identify(const Role& subtype) {
  return {{0xFF, &kIdent}, {0xFE, &subtype}};
}
Layout Preconditions(const Role& userData) {
  return {{0x9B, &userData}, {0x94, &kPre94}, {0x95, &kPre95}, {0x96, &kPre96}, {0xD1, &kRates}};
}

struct Operation {
  const char* name;
  Layout layout;  // the clean run's exchanges, each with its role
  std::function<int32_t()> run;
  int setup = 0;  // 1: a receipt begun, 2: with an item on it
  int32_t clean = kOk;
};

int32_t n;  // what the operations give back, unread
uint32_t r[7];
std::string text, more;

int32_t Item() {
  int32_t value = 0;
  return ::ReceiptItem(1, "Chleb zytni krojony", 1, 0, 2, 0, "szt", 450, value);
}

int32_t ReadVat() {
  return ::ReadVAT(&n, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
}

std::vector<Operation> Operations() {
  const Layout guard{{0x95, &kGuard}};
  return {
      {"CommunicationInit", Layout{{0x23, &kConnect}} + Supervision(true) + Identify(kSubtype),
       [] { return ::CommunicationInit(1, 9600, 1); }},
      {"ReceiptConditions",
       Identify(kSubtype) + Layout{{0xF5, &kAck}} + Preconditions(kPre9BFirst) + Supervision(true),
       ::ReceiptConditions},
      {"PrintResume", Layout{{0x95, &kResume}, {0x2A, &kAck}} + Supervision(true), ::PrintResume},
      {"ReceiptBegin",
       Preconditions(kPre9B) + Supervision(true) + Layout{{0x66, &kAck}, {0x21, &kBegin}},
       ::ReceiptBegin},
      {"ReceiptItem", guard + Layout{{0x06, &kSilent}}, Item, 1},
      {"PackageItem", guard + Layout{{0x17, &kPackage}},
       [] { return ::PackageItem(0, 2, 50, 100); }, 2},
      {"PrintSubtotal", {{0x80, &kSilent}}, ::PrintSubtotal, 2},
      // Without the discount (0x1B) the total disagrees with the printer's sum, and without
      // the total (0x07) the printer cancels the receipt at its end.
      {"ReceiptEnd",
       guard + Layout{{0x1B, &kNeeded}} + guard + Layout{{0x07, &kNeeded}} + guard +
           Layout{{0x81, &kSilent}, {0x82, &kSilent}, {0x09, &kSilent}} + guard +
           Layout{{0x24, &kEnd}, {0x95, &kFinal}} + Supervision(false),
       [] { return ::ReceiptEnd(10); }, 2},
      {"ReceiptCancel", guard + Layout{{0x07, &kSilent}, {0x23, &kCancel}} + Supervision(false),
       ::ReceiptCancel, 2},
      {"ReadTotal", Identify(kSubtypeNewer) + Layout{{0xD1, &kRates}, {0xDA, &kAck}},
       [] { return ::ReadTotal(text); }},
      {"ReadVAT", {{0xD1, &kRates}}, ReadVat},
      {"ReceiptNumber", Identify(kSubtype) + Layout{{0x66, &kAck}, {0xF7, &kAck}},
       [] { return ::ReceiptNumber(&n); }},
      {"ReadClock", {{0x40, &kAck}}, [] { return ::ReadClock(text, more); }},
      // No daily report in that month: the printer's result byte 2 is 220.
      {"MonthlyReport", Identify(kSubtypeNewer) + Layout{{0x31, &kReport}},
       [] { return ::MonthlyReport(1, 5, 11); }, 0, 220},
  };
}

void PrintTo(const Operation& op, std::ostream* out) {
  *out << op.name;
}

int32_t Expected(const Operation& op, size_t at, Fault fault, uint8_t stray) {
  const Role& role = *op.layout[at].role;
  const auto code = [&](int32_t c) { return c == C ? op.clean : c; };
  if (fault == kVanish) return kSend;
  // The stray byte read as a package's acknowledgement, or as a report's result (1-5).
  if (fault == kGarbage && role.on[kGarbage] == kStray) {
    if (&role == &kPackage) return stray == 0x06 ? kOk : 24;
    return stray >= 1 && stray <= 5 ? 218 + stray : kOk;
  }
  if (fault <= kGarbage) return code(role.on[fault]);
  for (size_t k = at; k < op.layout.size(); ++k) {
    const Role& later = *op.layout[k].role;
    if (fault == kPaperOut && later.paper) return kPaper;
    if (fault == kPrinterCancels && later.cancelled != kPass) return code(later.cancelled);
  }
  return op.clean;
}

std::string Hex(uint8_t byte) {
  return std::string("0x") + "0123456789ABCDEF"[byte >> 4] + "0123456789ABCDEF"[byte & 15];
}

class FaultMatrix : public ::testing::TestWithParam<Operation> {
 protected:
  void SetUp() override {
    Line().PassTimeOnSilence(1s);  // a read time-out lets that much time pass
    ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
  }
  void TearDown() override {
    ::CommunicationEnd();
    PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  }
  EmulatorLine& Line() { return port_.Line(); }

  // A fresh printer, the driver connected as after CommunicationInit, the setup done.
  void Fresh(const Operation& op) {
    Line().Reset(Luno());
    PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
    DefaultPrinter().ClearReceiptState();
    PrinterInternals(DefaultPrinter()).Connected() = true;
    PrinterInternals(DefaultPrinter()).DeviceType() = static_cast<uint8_t>(Luno().deviceType);
    if (op.setup == 2) {
      ASSERT_EQ(::FillPayment(1, "Gotowka", 1000, 0), 0);
      ASSERT_EQ(::FillLines(0, "Dziekujemy za zakupy", n), 0);
    }
    ASSERT_EQ(op.setup > 0 ? ::ReceiptBegin() : 0, 0);
    ASSERT_EQ(op.setup == 2 ? Item() : 0, 0);
    Line().ClearRecord();
  }

  // Brings driver and printer into step as a caller would, and checks that the next
  // operation works; returns what it had to do.
  std::string Recover() {
    std::string how;
    const bool vanished = Line().Vanished();
    Line().Restore();
    Line().Printer().SetPaper(true);
    // A new connection: after the port came back, or its cancel settles a lost receipt.
    const auto reconnect = [&] {
      EXPECT_EQ(::CommunicationInit(1, 9600, 1), kOk) << how;
      how += "reconnect;";
    };
    if (vanished) reconnect();
    if (PrinterInternals(DefaultPrinter()).ReceiptOpen()) {
      how += "cancel=" + std::to_string(::ReceiptCancel()) + ";";
      if (PrinterInternals(DefaultPrinter()).ReceiptOpen())
        how += "end=" + std::to_string(::ReceiptEnd(0)) + ";";
      EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen()) << how;
    }
    if (Line().Printer().ReceiptOpen()) reconnect();
    EXPECT_FALSE(Line().Printer().ReceiptOpen()) << how;
    EXPECT_EQ(::PrintControl(1, PrinterInternals(DefaultPrinter()).DeviceType()), kOk) << how;
    EXPECT_EQ(::ReceiptNumber(&n), kOk) << how;
    EXPECT_EQ(::ReceiptBegin(), kOk) << how;
    EXPECT_TRUE(Line().Printer().ReceiptOpen());
    EXPECT_EQ(::ReceiptCancel(), kOk) << how;
    EXPECT_FALSE(PrinterInternals(DefaultPrinter()).ReceiptOpen() ||
                 Line().Printer().ReceiptOpen());
    return how;
  }

  EmulatorPort port_{Luno()};
};

TEST_P(FaultMatrix, EveryFaultOnEveryRole) {
  const Operation& op = GetParam();
  Fresh(op);  // the clean run sends what the layout names
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(op.run(), op.clean) << "without a fault";
  std::vector<uint8_t> expected;
  for (const Step& s : op.layout) expected.push_back(s.command);
  ASSERT_EQ(Line().Commands(), expected);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).ReceiptOpen(), Line().Printer().ReceiptOpen());

  const uint8_t stray = emu::FaultInjector(emu::FaultPlan{}).Garbage().at(0);
  std::ofstream out(FAULT_MATRIX_OUT, std::ios::app);
  for (int f = kNak; f <= kVanish; ++f) {
    const auto fault = static_cast<Fault>(f);
    for (size_t at = 0; at < op.layout.size(); ++at) {
      const Step& step = op.layout[at];
      // The same command in the same role again meets the same decision.
      const auto same = [&](const Step& s) { return s.command == step.command; };
      const auto begin = op.layout.begin(), here = begin + static_cast<ptrdiff_t>(at);
      if (std::find_if(begin, here,
                       [&](const Step& s) { return same(s) && s.role == step.role; }) != here)
        continue;
      SCOPED_TRACE(std::string(kFaultNames[f]) + " at exchange " + std::to_string(at) + " (" +
                   Hex(step.command) + ", " + step.role->name + ")");
      Fresh(op);
      ASSERT_FALSE(HasFatalFailure());
      const bool emulated = fault < kPaperOut;
      const int skip = static_cast<int>(std::count_if(begin, here, same));
      if (emulated) Line().Printer().Faults().AddRule({step.command, kEmulated[f], skip, 1});
      if (fault == kPaperOut) Line().PaperOutAt(static_cast<int>(at));
      if (fault == kVanish) Line().VanishAt(static_cast<int>(at));

      const auto started = std::chrono::steady_clock::now();
      const int32_t code = op.run();
      // The line answers at once: a run that takes long waited for what never comes.
      EXPECT_LT(std::chrono::steady_clock::now() - started, 5s);
      EXPECT_EQ(Line().Printer().Faults().Injected(), emulated ? 1u : 0u);
      EXPECT_EQ(Line().Vanished(), fault == kVanish);
      const int32_t want = Expected(op, at, fault, stray);
      EXPECT_EQ(code, want);

      // A printer cancel on a line without reply that nothing later reads back.
      const bool unseen = fault == kPrinterCancels &&
                          (step.role == &kSilent || step.role == &kNeeded) &&
                          std::none_of(here, op.layout.end(),
                                       [](const Step& s) { return s.role->cancelled != kPass; });
      const bool driverOpen = PrinterInternals(DefaultPrinter()).ReceiptOpen();
      const bool printerOpen = Line().Printer().ReceiptOpen();
      EXPECT_EQ(driverOpen && !printerOpen, unseen) << "the driver has it open";
      EXPECT_FALSE(printerOpen && !driverOpen) << "the printer has it open";
      const std::string how = Recover();

      out << op.name << '\t' << kFaultNames[f] << '\t' << at << '\t' << Hex(step.command) << '\t'
          << step.role->name << '\t' << code << '\t' << (code == want ? "ok" : "WRONG") << '\t'
          << (driverOpen == printerOpen ? "agree"
              : driverOpen              ? "driver open"
                                        : "printer open")
          << '\t' << how << '\t'
          << (unseen ? "the printer cancels the receipt on a line sent without acknowledgement: "
                       "nothing comes back to tell, and the next receipt call's guard answers 210"
                     : "-")
          << '\n';
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultMatrix, ::testing::ValuesIn(Operations()),
                         [](const auto& p) { return std::string(p.param.name); });

#ifndef _WIN32
// A pseudo-terminal torn down while a reply is awaited: a receive failure within the
// time-outs; a reconnection once the line is back.
TEST(PortVanishes, WhileWaitingForARateReply) {
  auto config = Luno();
  config.faults.delay = 600ms;  // long enough to pull the line while the reply is held
  emu::PtyServer server(config);
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
    p.Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kDelay});
  });
  std::thread stopper([&, before = commands()] {  // pulled once the rate read arrived
    for (const auto limit = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < limit && commands() == before;)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
    server.Stop();
  });
  const auto started = std::chrono::steady_clock::now();
  const int32_t code = ReadVat();
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_EQ(code, 21);
  std::ofstream(FAULT_MATRIX_OUT, std::ios::app)
      << "ReadVAT\tport vanishes (pty)\t-\t-\treply awaited\t" << code
      << "\tok\tagree\treconnect;\n";

  EXPECT_EQ(ReadVat(), 2);  // reopening fails as for a missing port
  start();
  // The printer long gave up on the sequence it was receiving.
  server.WithPrinter([](emu::Printer& p) { p.Advance(1s); });
  ASSERT_EQ(::CommunicationInit(9, 9600, 1), 0);
  EXPECT_EQ(ReadVat(), 0);
  EXPECT_EQ(r[0], 2300u);
  ::CommunicationEnd();
  server.Stop();
  ::unsetenv("TAURAVAT_COM9");
}
#endif

}  // namespace
}  // namespace kestradr::testing
