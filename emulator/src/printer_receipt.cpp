// The fiscal receipt: from 0x21 to 0x24 or its cancellation.

#include "kestra/emu/cp852.hpp"
#include "kestra/emu/printer.hpp"
#include "printouts.hpp"

namespace kestra::emu {
namespace {

uint32_t Le32(std::span<const uint8_t> b, std::size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}

uint16_t Le16(std::span<const uint8_t> b, std::size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

std::string TrimmedText(std::span<const uint8_t> raw) {
  std::string text = Cp852ToUtf8(raw);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::optional<std::vector<uint8_t>> Printer::BeginReceipt() {
  if (receipt_ || !memory_.AnyRateSet()) return std::nullopt;
  receipt_.emplace();
  cancelledFlag_ = false;
  lastCancelReason_.clear();
  Print(printout::ReceiptHeader(Now()));
  return std::vector<uint8_t>{};
}

std::optional<std::vector<uint8_t>> Printer::EndReceipt() {
  if (!receipt_) return std::nullopt;
  if (receipt_->Items() == 0) {
    // Nothing was sold: the printer drops the receipt and says so with NAK.
    receipt_.reset();
    Print(printout::Cancelled());
    return std::nullopt;
  }
  if (receipt_->CurrentStage() != Receipt::Stage::kTotalled) {
    PrinterCancelsReceipt("end without a total");
    return std::nullopt;
  }
  memory_.RecordReceipt(receipt_->DiscountedSales());
  Print(printout::ReceiptFooter(memory_.LastReceiptNumber(), Now()));
  receipt_.reset();
  return std::vector<uint8_t>{};
}

void Printer::CancelReceipt() {
  cancelledFlag_ = false;
  if (!receipt_) return;
  if (receipt_->Items() > 0) memory_.RecordCancelledReceipt();
  receipt_.reset();
  Print(printout::Cancelled());
}

void Printer::PrinterCancelsReceipt(const std::string& why) {
  if (!receipt_) return;
  if (receipt_->Items() > 0) memory_.RecordCancelledReceipt();
  receipt_.reset();
  cancelledFlag_ = true;
  lastCancelReason_ = why;
  Print(printout::Cancelled());
}

void Printer::ItemLine(std::span<const uint8_t> block) {
  if (!receipt_) return;
  const auto line = ParseItemLine(block);
  if (!line) {
    PrinterCancelsReceipt("malformed item line");
    return;
  }
  std::string why;
  if (!receipt_->AddItem(*line, memory_, why)) {
    PrinterCancelsReceipt(why);
    return;
  }
  Print({printout::Item(*line)});
}

std::vector<uint8_t> Printer::Package(std::span<const uint8_t> params) {
  if (!receipt_) return {kNak};
  const bool sign = params[0] == ' ' || params[0] == '-';
  const bool kind = params[1] == 'S' || params[1] == 'Z';
  if (!sign || !kind) return {kNak};
  const std::string label = std::string(params[0] == '-' ? "ZWROT " : "") +
                            (params[1] == 'S' ? "OPAKOWANIE SPRZEDANE" : "OPAKOWANIE ZWROTNE");
  Print({printout::Columns(
      label + " " + std::to_string(Le16(params, 2)) + "/" + std::to_string(Le16(params, 4)),
      printout::Money(Le32(params, 6)))});
  return {kAck};
}

void Printer::Discount(std::span<const uint8_t> params) {
  if (!receipt_) return;
  if (!receipt_->ApplyDiscount(params[0])) {
    PrinterCancelsReceipt("discount out of range or after the total");
    return;
  }
  Print({printout::Discount(params[0])});
}

void Printer::Total(std::span<const uint8_t> params) {
  if (!receipt_) return;
  if (!receipt_->Total(Le32(params, 0))) {
    PrinterCancelsReceipt("total differs from the printer's sum");
    return;
  }
  Print(printout::Totals(*receipt_, memory_.Rates()));
}

void Printer::Payment(bool first, std::span<const uint8_t> params) {
  if (!receipt_) return;
  const std::string name = TrimmedText(params.subspan(1, 13));
  const uint32_t amount = Le32(params, 14);
  if (first) {
    Print({printout::Columns(name, printout::Money(amount))});
  } else if (amount != 0) {
    Print({printout::Columns("  " + name + " (2)", printout::Money(amount))});
  }
}

void Printer::ExtraLine(std::span<const uint8_t> params) {
  if (!receipt_ || params.empty()) return;
  std::size_t end = params.size();
  if (params.back() == kLineFeed) --end;
  if (end < 1) return;
  Print({Cp852ToUtf8(params.subspan(1, end - 1))});
}

}  // namespace kestra::emu
