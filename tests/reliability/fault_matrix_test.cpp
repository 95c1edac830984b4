// The fault matrix: every fault struck once on each role an exchange plays, in each
// operation that gives the role a context, against the emulated printer. The run must end
// with the code the role's row names, and with driver and printer agreeing whether a
// receipt is open; then they are brought back into step the way a caller would, and the
// next operation must work. Last, the port vanishes under a real pseudo-terminal while a
// reply is awaited. Each run appends a row to FAULT_MATRIX_OUT (scripts/reliability.sh
// turns it into docs/reliability.md).
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
#include "printer.hpp"
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
constexpr uint8_t kType = 7;  // a KESTRA LUNO: every command of the family

// In the role rows: the operation's clean code, the stray byte read as the answer, silence.
constexpr int32_t C = -1, kStray = -2, kPass = -3;

enum Fault { kNak, kSilence, kWrong, kDrop, kGarbage, kPrinterCancels, kPaperOut, kVanish };
const char* const kFaultNames[] = {"NAK",     "silence",         "wrong byte", "dropped byte",
                                   "garbage", "printer cancels", "paper out",  "port vanishes"};
// What the printer strikes itself; the line strikes the last two.
constexpr emu::FaultKind kEmulated[] = {
    emu::FaultKind::kNak,      emu::FaultKind::kSilence, emu::FaultKind::kWrongFirstByte,
    emu::FaultKind::kDropByte, emu::FaultKind::kGarbage, emu::FaultKind::kCancelReceipt};

// A role an exchange plays, and what the operation answers when a fault strikes it: a
// code for each of the first five faults; whether it reads the paper (running out before
// it gives 109); what it tells of a receipt the printer cancelled before it. A vanished
// port is always a send failure (20).
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
// On an idle printer: one read, then one round of the loop (models 7 and 8 skip the
// memory status when following a printout).
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

// What the operations give back, unread.
int32_t n;
uint32_t r[7];
std::string text, more;

int32_t Item() {
  int32_t value = 0;  // 0: the driver works the value out
  return ::ReceiptItem(1, "Chleb zytni krojony", 1, 0, 2, 0, "szt", 450, value);
}

std::vector<Operation> Operations() {
  const Layout guard{{0x95, &kGuard}};
  return {
      {"CommunicationInit", Layout{{0x23, &kConnect}} + Supervision(true) + Identify(kSubtype),
       [] { return ::CommunicationInit(1, 9600, 1); }},
      {"ReceiptConditions",
       Identify(kSubtype) + Layout{{0xF5, &kAck}} + Preconditions(kPre9BFirst) + Supervision(true),
       [] { return ::ReceiptConditions(); }},
      {"PrintResume", Layout{{0x95, &kResume}, {0x2A, &kAck}} + Supervision(true),
       [] { return ::PrintResume(); }},
      {"ReceiptBegin",
       Preconditions(kPre9B) + Supervision(true) + Layout{{0x66, &kAck}, {0x21, &kBegin}},
       [] { return ::ReceiptBegin(); }},
      {"ReceiptItem", guard + Layout{{0x06, &kSilent}}, Item, 1},
      {"PackageItem", guard + Layout{{0x17, &kPackage}},
       [] { return ::PackageItem(0, 2, 50, 100); }, 2},
      {"PrintSubtotal", {{0x80, &kSilent}}, [] { return ::PrintSubtotal(); }, 2},
      // Without the discount (0x1B) the total disagrees with the printer's sum, and without
      // the total (0x07) the printer cancels the receipt at its end.
      {"ReceiptEnd",
       guard + Layout{{0x1B, &kNeeded}} + guard + Layout{{0x07, &kNeeded}} + guard +
           Layout{{0x81, &kSilent}, {0x82, &kSilent}, {0x09, &kSilent}} + guard +
           Layout{{0x24, &kEnd}, {0x95, &kFinal}} + Supervision(false),
       [] { return ::ReceiptEnd(10); }, 2},
      {"ReceiptCancel", guard + Layout{{0x07, &kSilent}, {0x23, &kCancel}} + Supervision(false),
       [] { return ::ReceiptCancel(); }, 2},
      {"ReadTotal", Identify(kSubtypeNewer) + Layout{{0xD1, &kRates}, {0xDA, &kAck}},
       [] { return ::ReadTotal(text); }},
      {"ReadVAT",
       {{0xD1, &kRates}},
       [] { return ::ReadVAT(&n, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]); }},
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

// What the operation must answer when `fault` strikes its exchange `at`.
int32_t Expected(const Operation& op, size_t at, Fault fault, uint8_t stray) {
  const Role& role = *op.layout[at].role;
  const auto code = [&](int32_t c) { return c == C ? op.clean : c; };
  if (fault == kVanish) return kSend;
  // The stray byte read as the answer: a package's acknowledgement, or a report's result
  // (others than 1 to 5 count as done).
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

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = kType;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  config.timing = {0, 0ms, 0, 0ms};
  return config;
}

std::string Hex(uint8_t byte) {
  static const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[byte >> 4] + digits[byte & 15];
}

class FaultMatrix : public ::testing::TestWithParam<Operation> {
 protected:
  void SetUp() override {
    Line().PassTimeOnSilence(1s);  // a read time-out lets that much time pass
    ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().ReceiptOpen = false;
  }
  EmulatorLine& Line() { return port_.Line(); }

  // A fresh printer, the driver connected to it as after CommunicationInit, and the
  // operation's setup done.
  void Fresh(const Operation& op) {
    Line().Reset(Luno());
    DefaultPrinter().ReceiptOpen = false;
    DefaultPrinter().ClearReceiptState();
    DefaultPrinter().Connected = true;
    DefaultPrinter().DeviceType = kType;
    if (op.setup == 2) {
      ASSERT_EQ(::FillPayment(1, "Gotowka", 1000, 0), 0);
      ASSERT_EQ(::FillLines(0, "Dziekujemy za zakupy", n), 0);
    }
    ASSERT_EQ(op.setup > 0 ? ::ReceiptBegin() : 0, 0);
    ASSERT_EQ(op.setup == 2 ? Item() : 0, 0);
    Line().ClearRecord();
  }

  // Brings driver and printer back into step the way a caller would, then checks that
  // the next operation works. Returns what it had to do.
  std::string Recover() {
    std::string how;
    const bool vanished = Line().Vanished();
    Line().Restore();
    Line().Printer().SetPaper(true);
    if (vanished) {
      EXPECT_EQ(::CommunicationInit(1, 9600, 1), kOk) << "reconnecting after the port came back";
      how += "reconnect;";
    }
    if (DefaultPrinter().ReceiptOpen) {
      // Cancelled or ended by the printer meanwhile: the guard or the end's refusal tells.
      how += "cancel=" + std::to_string(::ReceiptCancel()) + ";";
      if (DefaultPrinter().ReceiptOpen) how += "end=" + std::to_string(::ReceiptEnd(0)) + ";";
      EXPECT_FALSE(DefaultPrinter().ReceiptOpen) << how;
    }
    if (Line().Printer().ReceiptOpen()) {
      // The cancel that opens every connection settles a receipt the driver lost.
      EXPECT_EQ(::CommunicationInit(1, 9600, 1), kOk);
      how += "reconnect;";
      EXPECT_FALSE(Line().Printer().ReceiptOpen()) << how;
    }
    EXPECT_EQ(::PrintControl(1, DefaultPrinter().DeviceType), kOk) << how;
    EXPECT_EQ(::ReceiptNumber(&n), kOk) << how;
    EXPECT_EQ(::ReceiptBegin(), kOk) << how;
    EXPECT_TRUE(Line().Printer().ReceiptOpen());
    EXPECT_EQ(::ReceiptCancel(), kOk) << how;
    EXPECT_FALSE(DefaultPrinter().ReceiptOpen || Line().Printer().ReceiptOpen());
    return how;
  }

  EmulatorPort port_{Luno()};
};

TEST_P(FaultMatrix, EveryFaultOnEveryRole) {
  const Operation& op = GetParam();
  // The clean run sends what the layout names, or nothing is struck.
  Fresh(op);
  ASSERT_FALSE(HasFatalFailure());
  ASSERT_EQ(op.run(), op.clean) << "without a fault";
  std::vector<uint8_t> expected;
  for (const Step& s : op.layout) expected.push_back(s.command);
  ASSERT_EQ(Line().Commands(), expected) << "the exchanges differ from the layout";
  EXPECT_EQ(DefaultPrinter().ReceiptOpen, Line().Printer().ReceiptOpen());

  const uint8_t stray = emu::FaultInjector(emu::FaultPlan{}).Garbage().at(0);
  std::ofstream out(FAULT_MATRIX_OUT, std::ios::app);
  for (int f = kNak; f <= kVanish; ++f) {
    const auto fault = static_cast<Fault>(f);
    for (size_t at = 0; at < op.layout.size(); ++at) {
      const Step& step = op.layout[at];
      // The same command in the same role later on meets the same decision.
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
      if (emulated) {
        const int skip = static_cast<int>(std::count_if(begin, here, same));
        Line().Printer().Faults().AddRule({step.command, kEmulated[f], skip, 1});
      }
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

      // A printer cancel on a line without reply that nothing later reads back leaves the
      // driver's receipt open (the next receipt call's guard answers 210).
      const bool unseen = fault == kPrinterCancels &&
                          (step.role == &kSilent || step.role == &kNeeded) &&
                          std::none_of(here, op.layout.end(),
                                       [](const Step& s) { return s.role->cancelled != kPass; });
      const bool driverOpen = DefaultPrinter().ReceiptOpen;
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
// The printer's side of a pseudo-terminal torn down while the driver waits for a reply:
// a receive failure within the time-outs; a reconnection once the line is back.
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
    p.Faults().AddRule({uint8_t{0xD1}, emu::FaultKind::kDelay, 0, 1});
    return 0;
  });
  // Pulled once the printer has the rate read, while the driver waits for the reply.
  std::thread stopper([&, before = commands()] {
    for (const auto limit = std::chrono::steady_clock::now() + 5s;
         std::chrono::steady_clock::now() < limit && commands() == before;)
      std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(100ms);
    server.Stop();
  });
  const auto started = std::chrono::steady_clock::now();
  const int32_t code = ::ReadVAT(&n, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
  stopper.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
  EXPECT_EQ(code, 21);
  std::ofstream(FAULT_MATRIX_OUT, std::ios::app)
      << "ReadVAT\tport vanishes (pty)\t-\t-\treply awaited\t" << code
      << "\tok\tagree\treconnect;\n";

  // The next call reopens the port, which fails as opening a missing port does.
  EXPECT_EQ(::ReadVAT(&n, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 2);
  start();
  // The printer long gave up on the sequence it was receiving (its clock stood still).
  server.WithPrinter([](emu::Printer& p) {
    p.Advance(1s);
    return 0;
  });
  ASSERT_EQ(::CommunicationInit(9, 9600, 1), 0);
  EXPECT_EQ(::ReadVAT(&n, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]), 0);
  EXPECT_EQ(r[0], 2300u);
  ::CommunicationEnd();
  server.Stop();
  ::unsetenv("TAURAVAT_COM9");
}
#endif

}  // namespace
}  // namespace kestradr::testing
