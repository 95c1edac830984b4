// The fault matrix: each role an exchange plays (an acknowledged command, a command with
// a record reply, a line sent without acknowledgement, a status read by a receipt guard,
// by supervision or by the receipt preconditions, identification ...) struck once per
// operation that gives it a context, against the emulated printer, with every fault in
// turn. Each run must end with the result code the protocol gives for that failure in
// that role, and with the driver and the printer agreeing whether a receipt is open: a
// disagreement fails the run, except the few named below as inherent to the protocol,
// each with its reason and the code the caller gets. Afterwards the driver and the
// printer are brought back into step the way a caller would (cancel or end the receipt,
// reconnect), and the next operation must work.
//
// The clean run's command sequence must match the operation's layout, so a driver that
// sends something else fails before any fault is struck.
//
// Every run appends its rows to a tab-separated file in the build directory
// (FAULT_MATRIX_OUT), which scripts/reliability.sh turns into docs/reliability.md.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "fault_line.hpp"
#include "printer.hpp"
#include "receipt_state.hpp"
#include "tauravat.hpp"

namespace fault_matrix {
namespace {

using kestradr::DefaultPrinter;
using kestradr::reliability::FaultLine;

namespace emu = kestra::emu;
using std::chrono::steady_clock;

// Result codes, as the protocol numbers them.
constexpr int32_t kOk = 0, kSend = 20, kReceive = 21, kBadReply = 23, kRefused = 24, kJumper = 101,
                  kFailure = 103, kNoUserData = 104, kReadOnly = 105, kCmos = 107, kPaper = 109,
                  kCancelled = 210, kUnsupported = 224;

constexpr uint8_t kAckByte = 0x06;
constexpr uint8_t kNakByte = 0x15;
constexpr uint8_t kWrongStatus = 0x55;
constexpr uint8_t kType = 7;  // a KESTRA LUNO: every command of the family

enum class Role {
  kAck,        // ordinary command, its first reply read
  kSilent,     // nothing read back (item lines, totals, payments, extra lines)
  kPackage,    // nothing read on the command, one byte after the parameters
  kReport31,   // acknowledged, then a result byte after the parameters
  kConnect23,  // the cancel that opens a connection: a refusal is passed over
  kIdentFF,    // identification
  kIdentFE,    // sub-type: a refusal means an older model
  kTaxD1,      // rate check before receipts and totals: a refusal falls back, like kVatD1
  kVatD1,      // rate read: a refusal falls back to the older formats
  kBegin21,    // begin of receipt: refused, it cancels what the printer holds and begins again
  kEnd24,      // end of receipt
  kCancel23,   // cancel of receipt
  kGuard95,    // receipt guard: only "cancelled by the printer" counts
  kFinal95,    // status after the end: only "cancelled by the printer" counts
  kStep95,     // supervision's first read: only "no paper" counts
  kLoop95,     // supervision's loop reads
  kLoop94,     // supervision's memory status
  kPre9B,      // receipt preconditions
  kPre94,
  kPre95,
  kPre96,
  kResume95,  // before resuming: only "no paper" counts
};

const char* RoleName(Role role) {
  static constexpr const char* kNames[] = {
      "ack",           "no reply",    "package",       "report",        "connect",
      "ident",         "subtype",     "rates set?",    "rates",         "begin",
      "end",           "cancel",      "guard",         "end status",    "supervision",
      "supervision",   "supervision", "preconditions", "preconditions", "preconditions",
      "preconditions", "resume"};
  return kNames[static_cast<int>(role)];
}

struct Step {
  uint8_t command;
  Role role;
};
using Layout = std::vector<Step>;

Layout operator+(Layout a, const Layout& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Supervision on an idle printer: one read, then one round of the loop. Models 7 and 8
// skip the memory status when following a printout.
Layout Supervision(int mode, uint8_t type) {
  Layout l{{0x95, Role::kStep95}, {0x95, Role::kLoop95}};
  if (!((type == 7 || type == 8) && mode != 1)) l.push_back({0x94, Role::kLoop94});
  l.push_back({0x95, Role::kLoop95});
  return l;
}
Layout SupervisionNoResume() {
  return {
      {0x95, Role::kStep95}, {0x95, Role::kLoop95}, {0x94, Role::kLoop94}, {0x95, Role::kLoop95}};
}
Layout Identify() {
  return {{0xFF, Role::kIdentFF}, {0xFE, Role::kIdentFE}};
}
Layout Connect() {
  return Layout{{0x23, Role::kConnect23}} + Supervision(0, 11) + Identify();
}
Layout Preconditions() {
  return {{0x9B, Role::kPre9B},
          {0x94, Role::kPre94},
          {0x95, Role::kPre95},
          {0x96, Role::kPre96},
          {0xD1, Role::kTaxD1}};
}
Layout Ack(uint8_t command) {
  return {{command, Role::kAck}};
}

enum class Fault { kNak, kSilence, kWrongByte, kDropByte, kGarbage, kCancel, kPaperOut, kVanish };
constexpr Fault kFaults[] = {Fault::kNak,     Fault::kSilence, Fault::kWrongByte, Fault::kDropByte,
                             Fault::kGarbage, Fault::kCancel,  Fault::kPaperOut,  Fault::kVanish};
const char* FaultName(Fault fault) {
  static constexpr const char* kNames[] = {"NAK",          "silence",      "wrong byte",
                                           "dropped byte", "garbage",      "printer cancels",
                                           "paper out",    "port vanishes"};
  return kNames[static_cast<int>(fault)];
}

struct Operation {
  std::string name;
  std::function<void()> setup;  // what comes before it
  std::function<int32_t()> run;
  Layout layout;
  int32_t clean = kOk;
  bool receipt = false;  // works on an open receipt
  bool rcOrder = false;  // ReceiptConditions: read-only module tested before user data
  int itemsInReceipt = 0;
  // NAK on the sub-type read makes the printer a first-generation TAURA: what the
  // operation then answers, per sub-type read (in order).
  std::vector<int32_t> afterSubtypeNak = {};
  // A command without a reply that the printer did not carry out (refused or never
  // heard) is noticed only by what the printer does next; where that changes the
  // answer, the exchange's index and the answer.
  std::map<int, int32_t> notCarriedOut = {};
};

// Named by its operation in the test's name and messages.
void PrintTo(const Operation& op, std::ostream* out) {
  *out << op.name;
}

emu::PrinterConfig BaseConfig() {
  emu::PrinterConfig config;
  config.deviceType = kType;
  config.rates = {2300, 800, emu::kReservedRate, 500, emu::kExemptRate, 0, emu::kReservedRate};
  config.timing = {0, std::chrono::milliseconds{0}, 0, std::chrono::milliseconds{0}};
  return config;
}

void BeginReceiptWithItem() {
  int32_t free = 0;
  ASSERT_EQ(::FillPayment(1, "Gotowka", 1000, 0), 0);
  ASSERT_EQ(::FillLines(0, "Dziekujemy za zakupy", free), 0);
  ASSERT_EQ(::ReceiptBegin(), 0);
  int32_t value = 0;
  ASSERT_EQ(::ReceiptItem(1, "Chleb zytni krojony", 1, 0, 2, 0, "szt", 450, value), 0);
}

// One operation per context a role plays in: connecting, the receipt preconditions, the
// resumption, each step of a receipt, the rate and total reads, a record reply with and
// without identification, and a periodic report.
std::vector<Operation> Operations() {
  const auto nothing = [] {};
  const Layout item = {{0x95, Role::kGuard95}, {0x06, Role::kSilent}};
  std::vector<Operation> ops;
  ops.push_back({.name = "CommunicationInit",
                 .setup = nothing,
                 .run = [] { return ::CommunicationInit(1, 9600, 1); },
                 .layout = Connect(),
                 .afterSubtypeNak = {kOk}});
  ops.push_back({.name = "ReceiptConditions",
                 .setup = nothing,
                 .run = [] { return ::ReceiptConditions(); },
                 .layout = Identify() + Ack(0xF5) + Preconditions() + Supervision(1, kType),
                 .rcOrder = true,
                 .afterSubtypeNak = {kOk}});
  ops.push_back({.name = "PrintResume",
                 .setup = nothing,
                 .run = [] { return ::PrintResume(); },
                 .layout = Layout{{0x95, Role::kResume95}} + Ack(0x2A) + SupervisionNoResume()});
  ops.push_back({.name = "ReceiptBegin",
                 .setup = nothing,
                 .run = [] { return ::ReceiptBegin(); },
                 .layout = Preconditions() + Supervision(1, kType) + Ack(0x66) +
                           Layout{{0x21, Role::kBegin21}}});
  ops.push_back({.name = "ReceiptItem",
                 .setup = [] { ASSERT_EQ(::ReceiptBegin(), 0); },
                 .run =
                     [] {
                       int32_t value = 0;
                       return ::ReceiptItem(1, "Chleb zytni krojony", 1, 0, 2, 0, "szt", 450,
                                            value);
                     },
                 .layout = item,
                 .receipt = true});
  ops.push_back({.name = "PackageItem",
                 .setup = BeginReceiptWithItem,
                 .run = [] { return ::PackageItem(0, 2, 50, 100); },
                 .layout = {{0x95, Role::kGuard95}, {0x17, Role::kPackage}},
                 .receipt = true,
                 .itemsInReceipt = 1});
  ops.push_back({.name = "PrintSubtotal",
                 .setup = BeginReceiptWithItem,
                 .run = [] { return ::PrintSubtotal(); },
                 .layout = {{0x80, Role::kSilent}},
                 .receipt = true,
                 .itemsInReceipt = 1});
  ops.push_back({.name = "ReceiptEnd",
                 .setup = BeginReceiptWithItem,
                 .run = [] { return ::ReceiptEnd(10); },
                 .layout = Layout{{0x95, Role::kGuard95},
                                  {0x1B, Role::kSilent},
                                  {0x95, Role::kGuard95},
                                  {0x07, Role::kSilent},
                                  {0x95, Role::kGuard95},
                                  {0x81, Role::kSilent},
                                  {0x82, Role::kSilent},
                                  {0x09, Role::kSilent},
                                  {0x95, Role::kGuard95},
                                  {0x24, Role::kEnd24},
                                  {0x95, Role::kFinal95}} +
                           Supervision(0, kType),
                 .receipt = true,
                 .itemsInReceipt = 1,
                 // Without the discount the total disagrees with the printer's sum and it
                 // cancels the receipt; without the total it cancels it at the end.
                 .notCarriedOut = {{1, kCancelled}, {3, kCancelled}}});
  ops.push_back(
      {.name = "ReceiptCancel",
       .setup = BeginReceiptWithItem,
       .run = [] { return ::ReceiptCancel(); },
       .layout = Layout{{0x95, Role::kGuard95}, {0x07, Role::kSilent}, {0x23, Role::kCancel23}} +
                 Supervision(0, kType),
       .receipt = true,
       .itemsInReceipt = 1});
  ops.push_back({.name = "ReadTotal",
                 .setup = nothing,
                 .run =
                     [] {
                       std::string total;
                       return ::ReadTotal(total);
                     },
                 .layout = Identify() + Layout{{0xD1, Role::kTaxD1}} + Ack(0xDA),
                 .afterSubtypeNak = {kUnsupported}});
  ops.push_back({.name = "ReadVAT",
                 .setup = nothing,
                 .run =
                     [] {
                       int32_t count = 0;
                       uint32_t r[7] = {};
                       return ::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]);
                     },
                 .layout = {{0xD1, Role::kVatD1}}});
  ops.push_back({.name = "ReceiptNumber",
                 .setup = nothing,
                 .run =
                     [] {
                       int32_t number = 0;
                       return ::ReceiptNumber(&number);
                     },
                 .layout = Identify() + Ack(0x66) + Ack(0xF7),
                 .afterSubtypeNak = {kOk}});
  ops.push_back({.name = "ReadClock",
                 .setup = nothing,
                 .run =
                     [] {
                       std::string date, time;
                       return ::ReadClock(date, time);
                     },
                 .layout = Ack(0x40)});
  // No daily report in that month: the printer's result byte 2 is 220.
  ops.push_back({.name = "MonthlyReport",
                 .setup = nothing,
                 .run = [] { return ::MonthlyReport(1, 5, 11); },
                 .layout = Identify() + Layout{{0x31, Role::kReport31}},
                 .clean = 220,
                 .afterSubtypeNak = {kUnsupported}});
  return ops;
}

// Runs after which driver and printer disagree whatever the driver does: each with why,
// and the code the operation returns.
struct Inherent {
  const char* operation;
  Fault fault;
  int at;
  int32_t code;
  const char* reason;
};

constexpr const char* kSilentLineCancelled =
    "the printer cancels the receipt on a line sent without acknowledgement: nothing comes "
    "back to tell, and the next receipt call's status guard answers 210";

const Inherent kInherent[] = {
    {"ReceiptItem", Fault::kCancel, 1, kOk, kSilentLineCancelled},
    {"PrintSubtotal", Fault::kCancel, 0, kOk, kSilentLineCancelled},
};

const Inherent* FindInherent(const std::string& operation, Fault fault, int at) {
  for (const Inherent& row : kInherent)
    if (operation == row.operation && fault == row.fault && at == row.at) return &row;
  return nullptr;
}

// The translation of the printer's answer to a periodic report.
int32_t ReportResult(uint8_t byte) {
  if (byte >= 1 && byte <= 5) return 218 + byte;
  return kOk;  // 0 is followed by supervision of an idle printer; others count as done
}

bool ChecksPaper(Role role) {
  return role == Role::kStep95 || role == Role::kLoop95 || role == Role::kPre95 ||
         role == Role::kResume95;
}

// What the operation must answer when `fault` strikes its exchange `at`.
int32_t Expected(const Operation& op, int at, Fault fault, const std::vector<uint8_t>& garbage) {
  const Layout& l = op.layout;
  const Role role = l[static_cast<size_t>(at)].role;
  const int32_t clean = op.clean;
  const bool items = op.itemsInReceipt > 0;
  const auto notCarriedOut = [&](int32_t otherwise) {
    const auto found = op.notCarriedOut.find(at);
    return found == op.notCarriedOut.end() ? otherwise : found->second;
  };
  const auto subtypeIndex = [&] {
    return std::count_if(l.begin(), l.begin() + at,
                         [](const Step& s) { return s.role == Role::kIdentFE; });
  };

  switch (fault) {
    case Fault::kPaperOut:
      for (size_t k = static_cast<size_t>(at); k < l.size(); ++k)
        if (ChecksPaper(l[k].role)) return kPaper;
      return clean;
    case Fault::kCancel: {
      if (!op.receipt) return clean;
      for (size_t k = static_cast<size_t>(at); k < l.size(); ++k) {
        switch (l[k].role) {
          case Role::kGuard95:
            return kCancelled;
          case Role::kEnd24:
            return items ? kCancelled : kOk;  // refused, and the status says why
          case Role::kPackage:
            return kCancelled;  // refused without a receipt, and the status says why
          case Role::kCancel23:
            return clean;  // cancelling nothing is accepted
          default:
            break;
        }
      }
      return clean;
    }
    case Fault::kVanish:
      if (role == Role::kEnd24 && !items) return kOk;
      return kSend;
    case Fault::kGarbage:
      // Stray bytes after a reply are purged by the next exchange; they are read only
      // where the driver reads again without one.
      if (role == Role::kPackage) return garbage.at(0) == kAckByte ? kOk : kRefused;
      if (role == Role::kReport31) return ReportResult(garbage.at(0));
      return clean;
    case Fault::kSilence:
    case Fault::kDropByte:
      switch (role) {
        case Role::kSilent:
          return fault == Fault::kSilence ? notCarriedOut(clean) : clean;
        case Role::kEnd24:
          // A lost acknowledgement: the receipt counter shows the receipt printed.
          if (fault == Fault::kDropByte) return clean;
          return items ? kReceive : kOk;
        case Role::kFinal95:
          return clean;  // read again: the end was acknowledged
        case Role::kCancel23:
          return clean;  // sent once more
        default:
          return kReceive;
      }
    case Fault::kNak:
    case Fault::kWrongByte: {
      const bool nak = fault == Fault::kNak;
      const uint8_t status = nak ? kNakByte : kWrongStatus;  // what a status read then sees
      switch (role) {
        case Role::kAck:
        case Role::kIdentFF:
        case Role::kReport31:
          return nak ? kRefused : kBadReply;
        case Role::kCancel23:
          return nak ? kRefused : clean;  // a garbled answer: sent once more
        case Role::kBegin21:
          return nak ? clean : kBadReply;  // the refusal once: begun the second time
        case Role::kVatD1:
        case Role::kTaxD1:
          return nak ? kRefused : kBadReply;  // this model has no older format
        case Role::kConnect23:
          return nak ? clean : kBadReply;
        case Role::kIdentFE:
          return nak ? op.afterSubtypeNak.at(static_cast<size_t>(subtypeIndex())) : kBadReply;
        case Role::kEnd24:
          return items ? (nak ? kRefused : kBadReply) : kOk;
        case Role::kSilent:
          return notCarriedOut(clean);
        case Role::kPackage:
          return kRefused;
        case Role::kGuard95:
        case Role::kFinal95:
          return clean;  // "cancelled" in a garbled byte is not confirmed by a second read
        case Role::kStep95:
        case Role::kResume95:
          return (status & 0x02) ? kPaper : clean;
        case Role::kLoop95:
          return (status & 0x04) ? kFailure : clean;
        case Role::kLoop94:
          return clean;
        case Role::kPre9B:
          if (op.rcOrder && (status & 0x04)) return kReadOnly;
          if (!(status & 0x02)) return kNoUserData;
          return (status & 0x04) ? kReadOnly : clean;
        case Role::kPre94:
          return (status & 0x10) ? kCmos : clean;
        case Role::kPre95:
          return (status & 0x04) ? kFailure : clean;
        case Role::kPre96:
          return (status & 0x40) ? kJumper : clean;
      }
    }
  }
  return -1;
}

std::optional<emu::FaultKind> EmulatorFault(Fault fault) {
  switch (fault) {
    case Fault::kNak:
      return emu::FaultKind::kNak;
    case Fault::kSilence:
      return emu::FaultKind::kSilence;
    case Fault::kWrongByte:
      return emu::FaultKind::kWrongFirstByte;
    case Fault::kDropByte:
      return emu::FaultKind::kDropByte;
    case Fault::kGarbage:
      return emu::FaultKind::kGarbage;
    case Fault::kCancel:
      return emu::FaultKind::kCancelReceipt;
    default:
      return std::nullopt;
  }
}

std::string Hex(uint8_t byte) {
  static const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[byte >> 4] + digits[byte & 15];
}

class FaultMatrix : public ::testing::TestWithParam<Operation> {
 protected:
  void SetUp() override {
    line_ = FaultLine::Install(BaseConfig());
    ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
  }
  void TearDown() override {
    ::CommunicationEnd();
    DefaultPrinter().ReceiptOpen = false;
    line_->Uninstall();
  }

  // A fresh printer and the driver connected to it, as after CommunicationInit.
  void Fresh() {
    line_->Reset(BaseConfig());
    DefaultPrinter().ReceiptOpen = false;
    DefaultPrinter().ClearReceiptState();
    DefaultPrinter().Connected = true;
    DefaultPrinter().DeviceType = kType;
  }

  // Brings driver and printer back into step the way a caller would, then checks that
  // the next operation works. Returns what it had to do.
  std::string Recover() {
    std::string how;
    const bool vanished = line_->Vanished();
    line_->Restore();
    line_->Printer().SetPaper(true);
    if (vanished) {
      EXPECT_EQ(::CommunicationInit(1, 9600, 1), kOk) << "reconnecting after the port came back";
      how += "reconnect;";
    }
    if (DefaultPrinter().ReceiptOpen) {
      // The printer may have cancelled or ended it meanwhile: the guard, or the end's
      // refusal, tells the driver so.
      const int32_t cancelled = ::ReceiptCancel();
      how += "cancel=" + std::to_string(cancelled) + ";";
      if (DefaultPrinter().ReceiptOpen) {
        const int32_t ended = ::ReceiptEnd(0);
        how += "end=" + std::to_string(ended) + ";";
      }
      EXPECT_FALSE(DefaultPrinter().ReceiptOpen) << how;
    }
    if (line_->Printer().ReceiptOpen()) {
      // The cancel that opens every connection settles a receipt the driver lost.
      EXPECT_EQ(::CommunicationInit(1, 9600, 1), kOk);
      how += "reconnect;";
      EXPECT_FALSE(line_->Printer().ReceiptOpen()) << how;
    }
    EXPECT_EQ(::PrintControl(1, DefaultPrinter().DeviceType), kOk) << how;
    int32_t number = -1;
    EXPECT_EQ(::ReceiptNumber(&number), kOk) << how;
    EXPECT_EQ(::ReceiptBegin(), kOk) << how;
    EXPECT_TRUE(line_->Printer().ReceiptOpen());
    EXPECT_EQ(::ReceiptCancel(), kOk) << how;
    EXPECT_FALSE(DefaultPrinter().ReceiptOpen);
    EXPECT_FALSE(line_->Printer().ReceiptOpen());
    return how;
  }

  std::shared_ptr<FaultLine> line_;
};

TEST_P(FaultMatrix, EveryFaultAtEveryExchange) {
  const Operation& op = GetParam();

  // The clean run: the command sequence the layout describes, and the clean code.
  Fresh();
  op.setup();
  ASSERT_FALSE(HasFatalFailure());
  line_->StartRecording();
  ASSERT_EQ(op.run(), op.clean) << op.name << " without a fault";
  const auto clean = line_->Record();
  std::vector<uint8_t> commands, expected;
  for (const auto& e : clean) commands.push_back(e.command);
  for (const auto& s : op.layout) expected.push_back(s.command);
  ASSERT_EQ(commands, expected) << op.name << ": the exchanges differ from the layout";
  EXPECT_EQ(DefaultPrinter().ReceiptOpen, line_->Printer().ReceiptOpen());

  std::ofstream out(FAULT_MATRIX_OUT, std::ios::app);
  const int exchanges = static_cast<int>(op.layout.size());
  for (Fault fault : kFaults) {
    for (int at = 0; at < exchanges; ++at) {
      const Step& step = op.layout[static_cast<size_t>(at)];
      // A role is struck once per operation: the same command in the same role later on
      // (a second guard, the loop's second status read) meets the same decision.
      const auto first = std::find_if(op.layout.begin(), op.layout.end(), [&](const Step& s) {
        return s.command == step.command && s.role == step.role;
      });
      if (first - op.layout.begin() != at) continue;
      SCOPED_TRACE(op.name + ": " + FaultName(fault) + " at exchange " + std::to_string(at) + " (" +
                   Hex(step.command) + ", " + RoleName(step.role) + ")");
      Fresh();
      op.setup();
      ASSERT_FALSE(HasFatalFailure());

      emu::FaultPlan plan;  // the garbage a fresh injector makes first
      std::vector<uint8_t> garbage = emu::FaultInjector(plan).Garbage();
      const auto kind = EmulatorFault(fault);
      if (kind) {
        const int skip = static_cast<int>(
            std::count_if(op.layout.begin(), op.layout.begin() + at,
                          [&](const Step& s) { return s.command == step.command; }));
        line_->Printer().Faults().AddRule({step.command, *kind, skip, 1});
      }
      if (fault == Fault::kPaperOut) line_->PaperOutAt(at);
      if (fault == Fault::kVanish) line_->VanishAt(at);
      line_->StartRecording();

      const auto started = steady_clock::now();
      const int32_t code = op.run();
      const auto took = steady_clock::now() - started;
      // The line answers at once and time-outs are immediate: a run that takes long
      // waited for something that never comes.
      EXPECT_LT(took, std::chrono::seconds(5));
      if (kind) {
        EXPECT_EQ(line_->Printer().Faults().Injected(), 1u) << "the fault never struck";
      }
      if (fault == Fault::kVanish) {
        EXPECT_TRUE(line_->Vanished());
      }

      const int32_t want = Expected(op, at, fault, garbage);
      EXPECT_EQ(code, want);
      const bool driverOpen = DefaultPrinter().ReceiptOpen;
      const bool printerOpen = line_->Printer().ReceiptOpen();
      const Inherent* inherent = FindInherent(op.name, fault, at);
      if (driverOpen != printerOpen) {
        EXPECT_NE(inherent, nullptr) << "driver and printer disagree: the "
                                     << (driverOpen ? "driver" : "printer") << " has it open";
      } else {
        EXPECT_EQ(inherent, nullptr) << "named as an inherent disagreement, yet they agree";
      }
      if (inherent != nullptr) {
        EXPECT_EQ(code, inherent->code);
      }
      const std::string how = Recover();

      out << op.name << '\t' << FaultName(fault) << '\t' << at << '\t' << Hex(step.command) << '\t'
          << RoleName(step.role) << '\t' << code << '\t' << (code == want ? "ok" : "WRONG") << '\t'
          << (driverOpen == printerOpen ? "agree"
                                        : std::string(driverOpen ? "driver" : "printer") + " open")
          << '\t' << how << '\t' << (inherent != nullptr ? inherent->reason : "-") << '\n';
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Operations, FaultMatrix, ::testing::ValuesIn(Operations()),
                         [](const auto& p) { return p.param.name; });

}  // namespace
}  // namespace fault_matrix
