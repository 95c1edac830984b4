#include "receipt_run.hpp"

#include "device_type.hpp"
#include "tauravat.hpp"

namespace tauravat::cli {
namespace {

constexpr int32_t kTooFewCharacters = 202;
constexpr int32_t kCommandUnavailable = 213;
constexpr int32_t kPrinterCancelled = 210;
constexpr int32_t kReceiptNotOpen = 201;

// Answers of ReceiptEnd after which ending again changes nothing: printed, cancelled by the
// printer, or no receipt at all.
bool IsFinalEndAnswer(int32_t code) {
  return code == 0 || code == kPrinterCancelled || code == kReceiptNotOpen;
}

std::string Where(size_t index) {
  return "items[" + std::to_string(index) + "]";
}

// Refusals the driver would only discover half-way through the receipt.
bool ModelAccepts(const ReceiptPlan& plan, int deviceType, ReceiptOutcome& outcome) {
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    const ReceiptLine& line = plan.lines[i];
    if (const auto* item = std::get_if<ItemLine>(&line)) {
      if (CharsInArticleName(item->name) < MinimumNameCharacters(deviceType)) {
        outcome.code = kTooFewCharacters;
        outcome.step = Where(i) + ".name";
        return false;
      }
    } else if (!IsExtendedModel(deviceType)) {
      outcome.code = kCommandUnavailable;
      outcome.step = Where(i);
      return false;
    }
  }
  return true;
}

int32_t Send(const ReceiptLine& line, ReceiptOutcome& outcome) {
  if (const auto* item = std::get_if<ItemLine>(&line)) {
    int32_t value = item->value;
    const int32_t code =
        ReceiptItem(item->cancel ? 0 : 1, item->name, item->rate, item->message, item->quantity,
                    item->decimals, item->unit, item->price, value);
    if (code == 0) {
      outcome.values.push_back(value);
      outcome.sum += item->cancel ? -int64_t{value} : int64_t{value};
    }
    return code;
  }
  if (const auto* package = std::get_if<PackageLine>(&line)) {
    return PackageItem(package->kind, package->first, package->second, package->amount);
  }
  return PrintSubtotal();
}

int32_t FillTables(const ReceiptPlan& plan, ReceiptOutcome& outcome) {
  ErasePayments();
  EraseLines();
  for (size_t i = 0; i < plan.payments.size(); ++i) {
    const PaymentSlot& p = plan.payments[i];
    if (const int32_t code = FillPayment(p.slot, p.name, p.first, p.second); code != 0) {
      outcome.step = "payments[" + std::to_string(i) + "]";
      return code;
    }
  }
  for (size_t i = 0; i < plan.extraLines.size(); ++i) {
    int32_t free = 0;
    const ExtraLine& line = plan.extraLines[i];
    if (const int32_t code = FillLines(line.code, line.text, free); code != 0) {
      outcome.step = "extra_lines[" + std::to_string(i) + "]";
      return code;
    }
  }
  return 0;
}

// After a failure inside the receipt. The printer has already closed it when it
// cancelled the receipt itself; otherwise it is cancelled here (which answers 201 when
// the driver had already forgotten it).
void CancelAfter(ReceiptOutcome& outcome) {
  if (outcome.code == kPrinterCancelled) return;
  outcome.cancelCode = ReceiptCancel();
}

// Ends the receipt the way a careful till does: a failure whose outcome is not final is
// answered by ending again, which resumes after the last step the printer has and never
// sends twice what it holds. Cancelling at once could cancel a sale the printer took.
int32_t EndReceipt(int32_t discount) {
  constexpr int kAttempts = 3;
  int32_t code = ReceiptEnd(discount);
  for (int attempt = 1; attempt < kAttempts && !IsFinalEndAnswer(code); ++attempt)
    code = ReceiptEnd(discount);
  return code;
}

}  // namespace

ReceiptOutcome RunReceipt(const ReceiptPlan& plan, int deviceType) {
  ReceiptOutcome outcome;
  if (!ModelAccepts(plan, deviceType, outcome)) return outcome;
  if (const int32_t code = FillTables(plan, outcome); code != 0) {
    outcome.code = code;
    return outcome;
  }
  if (const int32_t code = ReceiptBegin(); code != 0) {
    outcome.code = code;
    outcome.step = "begin";
    return outcome;
  }
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    if (const int32_t code = Send(plan.lines[i], outcome); code != 0) {
      outcome.code = code;
      outcome.step = Where(i);
      CancelAfter(outcome);
      return outcome;
    }
  }
  if (const int32_t code = EndReceipt(plan.discount); code != 0) {
    outcome.code = code;
    outcome.step = "end";
    CancelAfter(outcome);
    // The cancel answers 201 when the end had in fact printed the receipt; only a further
    // end says so, and a printed sale must not be reported as failed.
    if (outcome.cancelCode == kReceiptNotOpen && ReceiptEnd(plan.discount) == 0) {
      outcome.code = 0;
      outcome.step.clear();
      outcome.cancelCode = -1;
    }
  }
  return outcome;
}

}  // namespace tauravat::cli
