#include "receipt.hpp"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>

#include "messages.hpp"
#include "printer.hpp"
#include "printer_text.hpp"

namespace kestradr {
namespace {

constexpr size_t kPaymentNameLength = 13;
constexpr int kRates = 7;

// The rate code the item line carries: E, F and G are numbered differently there.
uint8_t PrinterRateCode(int32_t rate) {
  switch (rate) {
    case 5:
      return 6;
    case 6:
      return 7;
    case 7:
      return 5;
    default:
      return static_cast<uint8_t>(rate);
  }
}

// Money the printer's 32 bits carry, or nothing.
std::optional<int32_t> Fits32(int64_t amount) {
  if (amount < INT32_MIN || amount > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(amount);
}

void Put(Block& block, size_t offset, int32_t value) {
  const auto bytes = LongToBytes(value);
  std::copy(bytes.begin(), bytes.end(), block.begin() + static_cast<std::ptrdiff_t>(offset));
}

// Texts are bounded where they are taken in; the cut here only keeps the block whole.
void Put(Block& block, size_t offset, std::string_view text) {
  std::memcpy(block.data() + offset, text.data(), std::min(text.size(), block.size() - offset));
}

// Sends a command of the table with its parameters; no reply is read.
int32_t Send(Printer& printer, const Command& command, const Block& parameters) {
  Block reply{};
  return printer.SendSequence(command, reply, parameters);
}

int32_t SendAcknowledged(Printer& printer, const Command& command) {
  Block reply{};
  return printer.SendSequence(command, reply);
}

}  // namespace

// The receipt is over in the printer: the driver forgets it.
void Printer::CloseReceipt() {
  ReceiptOpen = false;
  ResetEndProgress();
}

// The printer may cancel an open receipt on its own (a refused line, a fault); every
// receipt step asks first, so the driver forgets such a receipt.
int32_t Printer::StatusGuard() {
  bool cancelled = false;
  if (const int32_t result = ReadCancelledFlag(cancelled); result != TAURAVAT_OK) return result;
  if (cancelled) {
    CloseReceipt();
    return TAURAVAT_E_RECEIPT_CANCELLED;
  }
  return TAURAVAT_OK;
}

int32_t Printer::SendReceiptSum(int32_t sum) {
  Block parameters{};
  Put(parameters, 0, sum);
  return Send(*this, cmd::kReceiptSum, parameters);
}

// Every bound is checked before the line goes out: a line the printer refuses makes
// it cancel the whole receipt.
int32_t Printer::CheckItemBounds(const ItemLine& line) const {
  const DeviceModel& model = ModelOf(DeviceType);
  if (line.rate < 1 || line.rate > model.highestRate) return TAURAVAT_E_RATE_RANGE;
  if (line.message < 0 || line.message > 7) return TAURAVAT_E_MESSAGE_RANGE;
  if (line.quantity < 1 || line.quantity > model.highestQuantity) return TAURAVAT_E_QUANTITY_RANGE;
  if (line.decimals < 0 || line.decimals > 4) return TAURAVAT_E_DECIMALS_RANGE;
  if (line.price < 1 || line.price > 999'999'999) return TAURAVAT_E_PRICE_RANGE;
  return TAURAVAT_OK;
}

// Sends the filled payment slots; a slot is emptied once both of its blocks went out. A
// slot whose first block went out before a failure is resumed at its second.
int32_t Printer::SendPayments() {
  for (size_t slot = 1; slot < PaymentTable.size(); ++slot) {
    PaymentSlot& payment = PaymentTable[slot];
    if (payment.name.empty()) continue;
    Block block{};
    block[0] = static_cast<uint8_t>(slot);
    Put(block, 1, WindowsTextToPrinter(payment.name));
    if (PaymentHalfSent != slot) {
      Put(block, 14, payment.firstAmount);
      if (const int32_t result = Send(*this, cmd::kPaymentFirst, block); result != TAURAVAT_OK)
        return result;
      PaymentHalfSent = static_cast<uint8_t>(slot);
    }
    Put(block, 14, payment.secondAmount);
    if (const int32_t result = Send(*this, cmd::kPaymentSecond, block); result != TAURAVAT_OK)
      return result;
    PaymentHalfSent = 0;
    payment = PaymentSlot{};
  }
  return TAURAVAT_OK;
}

int32_t Printer::SendExtraLines() {
  for (size_t slot = 1; slot < ExtraLineTable.size(); ++slot) {
    ExtraLine& line = ExtraLineTable[slot];
    if (line.code == 0xFF) continue;
    Block block{};
    block[0] = static_cast<uint8_t>('0' + line.code);
    Put(block, 1, WindowsTextToPrinter(line.text));
    block[line.text.size() + 1] = 0x0A;
    // The code, the text and its line feed.
    const auto length = static_cast<uint8_t>(line.text.size() + 2);
    Block reply{};
    if (const int32_t result = SendSequence(cmd::kExtraLine.code, 0, length, reply, block);
        result != TAURAVAT_OK)
      return result;
    line = ExtraLine{};
  }
  return TAURAVAT_OK;
}

// Command 0xDA: seven 40-bit totals, rates A..G, least significant byte first.
int32_t Printer::ReadRateTotals(std::array<int64_t, 8>& totals, int64_t& sum) {
  Block reply{};
  if (const int32_t result = SendSequence(cmd::kRateTotals, reply); result != TAURAVAT_OK)
    return result;
  sum = 0;
  for (int rate = 1; rate <= kRates; ++rate) {
    int64_t total = 0;
    for (int byte = 4; byte >= 0; --byte) total = (total << 8) | reply[(rate - 1) * 5 + byte];
    totals[rate] = total;
    sum += total;
  }
  return TAURAVAT_OK;
}

// The receipt has ended in the printer as `outcome` says (printed or cancelled): the
// driver closes it and follows its printout. A printed receipt whose printout could not
// be followed to its end is remembered, so that the caller's retry of ReceiptEnd learns
// it was printed instead of hearing 201.
int32_t Printer::FinishEnd(EndOutcome outcome) {
  CloseReceipt();
  ItemCount = 0;
  const int32_t followed = PrintControl(PrintWait::kFollow, DeviceType);
  if (outcome == EndOutcome::kCancelled) return TAURAVAT_E_RECEIPT_CANCELLED;
  LastReceipt = followed == TAURAVAT_OK ? ClosedReceipt::kToldOrNone : ClosedReceipt::kPrinted;
  return followed;
}

// ReceiptEnd once the driver has closed the receipt: what the caller has yet to learn.
int32_t Printer::EndOfClosedReceipt() {
  switch (LastReceipt) {
    case ClosedReceipt::kToldOrNone:
      return TAURAVAT_E_RECEIPT_NOT_OPEN;
    case ClosedReceipt::kEndedNotKnown:
    case ClosedReceipt::kDroppedNotKnown: {
      EndOutcome outcome = EndOutcome::kNotKnown;
      const bool acknowledged = LastReceipt == ClosedReceipt::kEndedNotKnown;
      if (const int32_t result = LearnWhetherPrinted(acknowledged, outcome); result != TAURAVAT_OK)
        return result;
      if (outcome == EndOutcome::kNotKnown)
        return TAURAVAT_E_RECEIVE_TIMEOUT;  // its answer never came
      if (outcome == EndOutcome::kCancelled) {
        LastReceipt = ClosedReceipt::kToldOrNone;
        return TAURAVAT_E_RECEIPT_CANCELLED;
      }
      break;
    }
    case ClosedReceipt::kPrinted:
      break;
  }
  const int32_t followed = PrintControl(PrintWait::kFollow, DeviceType);
  LastReceipt = followed == TAURAVAT_OK ? ClosedReceipt::kToldOrNone : ClosedReceipt::kPrinted;
  return followed;
}

// Sends 0x24 and learns what it did.
int32_t Printer::SendEnd() {
  const int32_t ended = SendAcknowledged(*this, cmd::kReceiptEnd);
  EndOutcome outcome = EndOutcome::kNotKnown;
  if (ended == TAURAVAT_OK) {
    EndProgress = EndStep::kEndAcknowledged;
    if (const int32_t result = LearnEndOutcome(outcome); result != TAURAVAT_OK) {
      // The printer has closed the receipt; whether it printed it is learnt when the
      // caller calls ReceiptEnd again.
      CloseReceipt();
      ItemCount = 0;
      LastReceipt = ClosedReceipt::kEndedNotKnown;
      return result;
    }
    return FinishEnd(outcome);
  }
  if (ItemCount == 0) {
    // Nothing was sold: a NAK is the printer dropping the receipt, nothing lost. An end
    // that went unanswered may have dropped it or not; the cancel closes it either way
    // (cancelling nothing is accepted). Only if that fails too does it stay open.
    if (ended != TAURAVAT_E_NAK) {
      const int32_t cancelled = SendAcknowledged(*this, cmd::kCancel);
      if (cancelled != TAURAVAT_OK && cancelled != TAURAVAT_E_NAK) return ended;
    }
    CloseReceipt();
    return TAURAVAT_OK;
  }
  if (ended == TAURAVAT_E_NAK) {
    // Refused. A printer that cancelled the receipt says so in bit 4; otherwise it still
    // holds the receipt, and the caller may end it again or cancel it.
    bool cancelled = false;
    if (ReadCancelledFlag(cancelled) == TAURAVAT_OK && cancelled) {
      CloseReceipt();
      return TAURAVAT_E_RECEIPT_CANCELLED;
    }
    return TAURAVAT_E_NAK;
  }
  // The end may have reached the printer even so; until it is known whether it printed
  // the receipt, it is neither sent again nor cancelled.
  EndProgress = EndStep::kEndSent;
  if (LearnEndOutcome(outcome) != TAURAVAT_OK) return ended;
  switch (outcome) {
    case EndOutcome::kStillOpen:
      EndProgress = EndStep::kSumSent;  // it never arrived: a retry sends it again
      return ended;
    case EndOutcome::kNotKnown:
      return ended;
    default:
      return FinishEnd(outcome);
  }
}

// The prologue and model check shared by both total readers.
int32_t Printer::PrepareTotalsRead() {
  if (const int32_t result = Prologue(false, true); result != TAURAVAT_OK) return result;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(DeviceType, version); result != TAURAVAT_OK)
    return result;
  return ModelOf(DeviceType).currentCommandSet ? TAURAVAT_OK : TAURAVAT_E_UNSUPPORTED_COMMAND;
}

int64_t LineValue(int32_t quantity, int32_t decimals, int32_t price) {
  int64_t divisor = 1;
  for (int32_t i = 0; i < decimals; ++i) divisor *= 10;
  const int64_t product = int64_t{quantity} * price;
  const int64_t whole = product / divisor;
  return 2 * (product % divisor) >= divisor ? whole + 1 : whole;
}

int32_t Printer::DiscountedSum(int32_t discountPercent) const {
  uint32_t sum = 0;
  for (int rate = 1; rate <= kRates; ++rate) {
    const uint64_t scaled = uint64_t{static_cast<uint32_t>(RateTotals[rate])} *
                            static_cast<uint32_t>(100 - discountPercent);
    const uint64_t remainder = scaled % 100;
    sum += static_cast<uint32_t>(scaled / 100 + (remainder > 50 ? 1 : 0));
  }
  return static_cast<int32_t>(sum);
}

int32_t Printer::ReceiptBegin() {
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  ItemCount = 0;
  LastReceipt = ClosedReceipt::kToldOrNone;
  if (const int32_t result = CheckReceiptPreconditions(); result != TAURAVAT_OK) return result;
  int32_t counter = 0;
  if (const int32_t result = ReadReceiptCounter(counter); result != TAURAVAT_OK) return result;
  Link.PurgePort();
  int32_t begun = SendAcknowledged(*this, cmd::kReceiptBegin);
  if (begun == TAURAVAT_E_NAK) {
    // The printer may still hold a receipt the driver no longer has (one it told the
    // caller was not printed, or one a reconnection's cancel missed). It can never be
    // ended now: it is cancelled, so that it never prints, and the receipt begun again.
    if (SendAcknowledged(*this, cmd::kCancel) == TAURAVAT_OK)
      begun = SendAcknowledged(*this, cmd::kReceiptBegin);
  } else if (begun != TAURAVAT_OK) {
    // The answer was lost: the printer may have begun. What it may have begun is
    // cancelled, so that driver and printer agree there is no receipt, and the caller's
    // retry is not refused.
    SendAcknowledged(*this, cmd::kCancel);
  }
  if (begun != TAURAVAT_OK) return begun;
  ReceiptOpen = true;
  RateTotals.fill(0);
  ResetEndProgress();
  ReceiptCounterAtBegin = counter;
  return TAURAVAT_OK;
}

int32_t Printer::ReceiptItem(const ItemLine& line, int64_t& value) {
  LastItemValue = 0;
  // Text the printer cannot print is refused before anything reaches the line.
  const auto plainUnit = PlainText(TextUpToNul(line.unit), kUnitLength);
  if (!plainUnit || !PlainText(TextUpToNul(line.name), kArticleNameLength))
    return TAURAVAT_E_PARAMETER_RANGE;
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  if (!ReceiptOpen) return TAURAVAT_E_RECEIPT_NOT_OPEN;

  std::string name;
  if (const int32_t result = PrepareArticleName(line.name, DeviceType, name); result != TAURAVAT_OK)
    return result;
  if (const int32_t result = CheckItemBounds(line); result != TAURAVAT_OK) return result;
  // The printer would cancel the whole receipt for it; refused here, the receipt stays.
  if (RateReserved[static_cast<size_t>(line.rate)]) return TAURAVAT_E_RATE_UNDEFINED;
  // A caller's own value is sent as it is; otherwise the driver's exact one.
  const int64_t sent =
      line.value != 0 ? line.value
                      : LineValue(line.quantity, line.decimals, static_cast<int32_t>(line.price));
  if (sent > kMaxLineValue) return TAURAVAT_E_LINE_VALUE_TOO_LARGE;

  if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
  // The printer's field is 32 bits: a caller's own value goes out as those bits.
  const auto wire = static_cast<int32_t>(sent);
  value = wire;
  LastItemValue = wire;

  std::string unit = *plainUnit;
  unit.resize(kUnitLength, ' ');
  Block block{};
  block[0] = line.cancel ? '-' : ' ';
  Put(block, 1, WindowsTextToPrinter(name));
  block[29] = static_cast<uint8_t>('0' + line.message);
  Put(block, 30, line.quantity);
  block[34] = static_cast<uint8_t>(line.decimals);
  Put(block, 35, WindowsTextToPrinter(unit));
  Put(block, 39, static_cast<int32_t>(line.price));
  block[43] = kEsc;
  block[44] = PrinterRateCode(line.rate);
  Put(block, 45, wire);
  if (const int32_t result = Send(*this, cmd::kItemLine, block); result != TAURAVAT_OK)
    return result;

  // Totals wrap around in 32 bits like the printer's own.
  auto& total = RateTotals[static_cast<size_t>(line.rate)];
  const auto delta = static_cast<uint32_t>(wire);
  total = static_cast<int32_t>(line.cancel ? static_cast<uint32_t>(total) - delta
                                           : static_cast<uint32_t>(total) + delta);
  // Saturates: the count only tells an empty receipt from one with lines.
  if (ItemCount < 0xFF) ++ItemCount;
  return TAURAVAT_OK;
}

int32_t Printer::PackageItem(const PackageLine& line) {
  PackageAnswerLost = false;
  const auto amount = Fits32(line.amount);
  if (!amount) return TAURAVAT_E_PARAMETER_RANGE;
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  if (!ReceiptOpen) return TAURAVAT_E_RECEIPT_NOT_OPEN;
  if (!ModelOf(DeviceType).extendedCommands) return TAURAVAT_E_COMMAND_UNAVAILABLE;
  if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
  static constexpr const char* kKinds[] = {" S", " Z", "-S", "-Z"};
  const auto kind = static_cast<int32_t>(line.kind);
  if (kind < 0 || kind > 3) return TAURAVAT_E_PACKAGE_KIND_RANGE;

  Block block{};
  Put(block, 0, kKinds[kind]);
  block[2] = static_cast<uint8_t>(line.firstValue);
  block[3] = static_cast<uint8_t>(line.firstValue >> 8);
  block[4] = static_cast<uint8_t>(line.secondValue);
  block[5] = static_cast<uint8_t>(line.secondValue >> 8);
  Put(block, 6, *amount);
  // Sent without its second reply: the package line is acknowledged on its own.
  if (const int32_t result = Send(*this, cmd::kPackage, block); result != TAURAVAT_OK)
    return result;
  // The package line is acknowledged only after its parameters.
  uint8_t answer = 0;
  if (!TracedRead(answer)) {
    // The line went out whole: the printer may have printed it.
    PackageAnswerLost = true;
    return TAURAVAT_E_RECEIVE_TIMEOUT;
  }
  if (answer == kAck) return TAURAVAT_OK;
  // Refused. A printer that has cancelled the receipt refuses every line, and says so.
  bool cancelled = false;
  if (ReadCancelledFlag(cancelled) == TAURAVAT_OK && cancelled) {
    CloseReceipt();
    return TAURAVAT_E_RECEIPT_CANCELLED;
  }
  return TAURAVAT_E_NAK;
}

int32_t Printer::PrintSubtotal() {
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  if (!ReceiptOpen) return TAURAVAT_E_RECEIPT_NOT_OPEN;
  if (!ModelOf(DeviceType).extendedCommands) return TAURAVAT_E_COMMAND_UNAVAILABLE;
  return Send(*this, cmd::kSubtotal, Block{});
}

int32_t Printer::ReceiptEnd(int32_t discountPercent) {
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  if (!ReceiptOpen) return EndOfClosedReceipt();

  // A retry after the end went out: first what became of it. Nothing is sent twice.
  if (EndProgress >= EndStep::kEndSent) {
    EndOutcome outcome = EndOutcome::kNotKnown;
    if (const int32_t result = LearnEndOutcome(outcome); result != TAURAVAT_OK) return result;
    // Still open, or nothing tells: the end goes again. It cannot print a receipt twice,
    // since the printer refuses an end when it holds no receipt.
    if (outcome == EndOutcome::kPrinted || outcome == EndOutcome::kCancelled)
      return FinishEnd(outcome);
    EndProgress = EndStep::kSumSent;
  }
  if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;

  // A retry resumes after the last step the printer has: the discount and the total go
  // once (a second total makes the printer cancel), with the discount first sent.
  if (EndProgress < EndStep::kSumSent) {
    if (EndProgress == EndStep::kNothingSent && discountPercent >= 1 && discountPercent <= 99) {
      Block parameters{};
      parameters[0] = static_cast<uint8_t>(discountPercent);
      if (const int32_t result = Send(*this, cmd::kDiscount, parameters); result != TAURAVAT_OK)
        return result;
      EndDiscount = discountPercent;
      EndProgress = EndStep::kDiscountSent;
    }
    if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
    if (const int32_t result = SendReceiptSum(DiscountedSum(EndDiscount)); result != TAURAVAT_OK)
      return result;
    EndProgress = EndStep::kSumSent;
    if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
  }
  if (ModelOf(DeviceType).extendedCommands)
    if (const int32_t result = SendPayments(); result != TAURAVAT_OK) return result;
  if (const int32_t result = SendExtraLines(); result != TAURAVAT_OK) return result;
  if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
  return SendEnd();
}

int32_t Printer::ReceiptCancel() {
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  if (!ReceiptOpen) return TAURAVAT_E_RECEIPT_NOT_OPEN;
  // After an end that went out, a receipt the printer printed cannot be cancelled and must
  // not be reported cancelled: 201, and ReceiptEnd then answers that it was printed.
  if (EndProgress >= EndStep::kEndSent) {
    EndOutcome outcome = EndOutcome::kNotKnown;
    if (const int32_t result = LearnEndOutcome(outcome); result != TAURAVAT_OK) return result;
    switch (outcome) {
      case EndOutcome::kPrinted:
        CloseReceipt();
        ItemCount = 0;
        LastReceipt = ClosedReceipt::kPrinted;
        return TAURAVAT_E_RECEIPT_NOT_OPEN;
      case EndOutcome::kCancelled:
        CloseReceipt();
        return TAURAVAT_E_RECEIPT_CANCELLED;
      case EndOutcome::kNotKnown:
        return TAURAVAT_E_RECEIVE_TIMEOUT;  // the end's answer never came; nothing tells yet
      case EndOutcome::kStillOpen:
        EndProgress = EndStep::kSumSent;
        break;
    }
  }
  if (const int32_t result = StatusGuard(); result != TAURAVAT_OK) return result;
  // The printer already holding the total (a failed end) needs no second one.
  if (EndProgress < EndStep::kSumSent) {
    if (const int32_t result = SendReceiptSum(DiscountedSum(0)); result != TAURAVAT_OK)
      return result;
  }
  int32_t cancelled = SendAcknowledged(*this, cmd::kCancel);
  // Its answer lost or garbled: sent once more. A printer that took the first cancels
  // nothing the second time, and accepts that too.
  if (cancelled != TAURAVAT_OK && cancelled != TAURAVAT_E_NAK)
    cancelled = SendAcknowledged(*this, cmd::kCancel);
  if (cancelled != TAURAVAT_OK && !(ItemCount == 0 && cancelled == TAURAVAT_E_NAK))
    return cancelled;
  ItemCount = 0;
  CloseReceipt();
  return PrintControl(PrintWait::kFollow, DeviceType);
}

int32_t Printer::FillPayment(const PaymentLine& payment) {
  if (payment.slot < 1 || payment.slot > 4) return TAURAVAT_E_PARAMETER_RANGE;
  // Refused now rather than when the receipt ends: the caller learns it at once.
  const auto plain = PlainText(TextUpToNul(payment.name), kPaymentNameLength);
  const auto first = Fits32(payment.firstAmount);
  const auto second = Fits32(payment.secondAmount);
  if (!plain || !first || !second) return TAURAVAT_E_PARAMETER_RANGE;
  std::string name = *plain;
  name.resize(kPaymentNameLength, ' ');
  PaymentTable[static_cast<size_t>(payment.slot)] = {name, *first, *second};
  return TAURAVAT_OK;
}

int32_t Printer::FillLines(const TextLine& line, int32_t& freeLines) {
  // Kept as it will print ("…" as "..."), so its length is the one that goes out.
  const auto text = PlainText(TextUpToNul(line.text));
  if (line.code < 0 || line.code > 15) return TAURAVAT_E_PARAMETER_RANGE;
  if (!text) return TAURAVAT_E_PARAMETER_RANGE;
  // The code, the text and the line feed must fit the one-byte parameter length.
  if (text->size() > 253) return TAURAVAT_E_PARAMETER_RANGE;
  const auto free = std::count_if(ExtraLineTable.begin() + 1, ExtraLineTable.end(),
                                  [](const ExtraLine& slot) { return slot.code == 0xFF; });
  freeLines = static_cast<int32_t>(free);
  if (free == 0) return TAURAVAT_E_NO_FREE_LINES;
  // The first free slot: after a partly sent end it is not always 7 − freeLines, and a
  // line still waiting must not be overwritten.
  auto slot = std::find_if(ExtraLineTable.begin() + 1, ExtraLineTable.end(),
                           [](const ExtraLine& kept) { return kept.code == 0xFF; });
  *slot = {static_cast<uint8_t>(line.code), *text};
  --freeLines;
  return TAURAVAT_OK;
}

int32_t Printer::ErasePayments() {
  ClearPaymentTable();
  return TAURAVAT_OK;
}

int32_t Printer::EraseLines() {
  ClearExtraLineTable();
  return TAURAVAT_OK;
}

int32_t Printer::ReadTotal(int64_t& total) {
  if (const int32_t result = PrepareTotalsRead(); result != TAURAVAT_OK) return result;
  bool ratesSet = false;
  if (const int32_t result = CheckTaxRatesSet(ratesSet); result != TAURAVAT_OK) return result;
  if (!ratesSet) return TAURAVAT_E_NO_TAX_RATES;
  std::array<int64_t, 8> totals{};
  int64_t sum = 0;
  if (const int32_t result = ReadRateTotals(totals, sum); result != TAURAVAT_OK) return result;
  total = sum;
  return TAURAVAT_OK;
}

TotalSelector SelectorOf(std::string_view text) {
  if (text == "+") return {.rate = 0, .named = true};
  if (text.size() == 1 && text[0] >= 'A' && text[0] <= 'G') return {.rate = text[0] - 'A' + 1};
  const int32_t pointed = text.empty() ? 0 : static_cast<uint8_t>(text.front()) & 0x07;
  return {.rate = pointed, .named = false};
}

int32_t Printer::ReadSelTotal(const TotalSelector& selector, int64_t& total) {
  if (const int32_t result = PrepareTotalsRead(); result != TAURAVAT_OK) return result;
  TaxRates rates;
  if (const int32_t result = ReadVAT(rates); result != TAURAVAT_OK) return result;
  // The sum of all rates does not depend on any one of them being in use.
  if (selector.rate >= 1 && selector.rate <= kRates &&
      rates.values[static_cast<size_t>(selector.rate - 1)] == TAURAVAT_RATE_RESERVED)
    return TAURAVAT_E_RATE_UNDEFINED;
  std::array<int64_t, 8> totals{};
  int64_t sum = 0;
  if (const int32_t result = ReadRateTotals(totals, sum); result != TAURAVAT_OK) return result;
  if (!selector.named) return TAURAVAT_E_PARAMETER_N_RANGE;
  total = selector.rate == 0 ? sum : totals[static_cast<size_t>(selector.rate)];
  return TAURAVAT_OK;
}

}  // namespace kestradr
