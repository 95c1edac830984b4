#include "receipt_run.hpp"

namespace tauravat::cli {
namespace {

// Answers of tauravat_receipt_end after which ending again changes nothing: printed,
// cancelled by the printer, or no receipt at all.
bool IsFinalEndAnswer(int32_t code) {
  return code == TAURAVAT_OK || code == TAURAVAT_E_RECEIPT_CANCELLED ||
         code == TAURAVAT_E_RECEIPT_NOT_OPEN;
}

std::string Where(size_t index) {
  return "items[" + std::to_string(index) + "]";
}

int32_t Send(tauravat_printer* printer, const ReceiptLine& line, ReceiptOutcome& outcome) {
  if (const auto* item = std::get_if<ItemLine>(&line)) {
    const tauravat_item sent{
        sizeof(tauravat_item), item->cancel ? TAURAVAT_ITEM_CANCEL : TAURAVAT_ITEM_SALE,
        item->name.c_str(),    item->rate,
        item->message,         item->quantity,
        item->decimals,        item->unit.empty() ? nullptr : item->unit.c_str(),
        item->price,           item->value};
    int64_t value = 0;
    const int32_t code = tauravat_receipt_item(printer, &sent, &value);
    if (code == TAURAVAT_OK) {
      outcome.values.push_back(value);
      outcome.sum += item->cancel ? -value : value;
    }
    return code;
  }
  if (const auto* package = std::get_if<PackageLine>(&line)) {
    return tauravat_package_item(printer, package->kind, package->first, package->second,
                                 package->amount);
  }
  return tauravat_print_subtotal(printer);
}

int32_t FillTables(tauravat_printer* printer, const ReceiptPlan& plan, ReceiptOutcome& outcome) {
  tauravat_erase_payments(printer);
  tauravat_erase_lines(printer);
  for (size_t i = 0; i < plan.payments.size(); ++i) {
    const PaymentSlot& p = plan.payments[i];
    if (const int32_t code =
            tauravat_fill_payment(printer, p.slot, p.name.c_str(), p.first, p.second);
        code != TAURAVAT_OK) {
      outcome.step = "payments[" + std::to_string(i) + "]";
      return code;
    }
  }
  for (size_t i = 0; i < plan.extraLines.size(); ++i) {
    const ExtraLine& line = plan.extraLines[i];
    if (const int32_t code = tauravat_fill_lines(printer, line.code, line.text.c_str(), nullptr);
        code != TAURAVAT_OK) {
      outcome.step = "extra_lines[" + std::to_string(i) + "]";
      return code;
    }
  }
  return TAURAVAT_OK;
}

// After a failure inside the receipt. The printer has already closed it when it
// cancelled the receipt itself; otherwise it is cancelled here (which answers 201 when
// the driver had already forgotten it).
void CancelAfter(tauravat_printer* printer, ReceiptOutcome& outcome) {
  if (outcome.code == TAURAVAT_E_RECEIPT_CANCELLED) return;
  outcome.cancelCode = tauravat_receipt_cancel(printer);
}

// Ends the receipt the way a careful till does: a failure whose outcome is not final is
// answered by ending again, which resumes after the last step the printer has and never
// sends twice what it holds. Cancelling at once could cancel a sale the printer took.
int32_t EndReceipt(tauravat_printer* printer, int32_t discount) {
  constexpr int kAttempts = 3;
  int32_t code = tauravat_receipt_end(printer, discount);
  for (int attempt = 1; attempt < kAttempts && !IsFinalEndAnswer(code); ++attempt)
    code = tauravat_receipt_end(printer, discount);
  return code;
}

}  // namespace

ReceiptOutcome RunReceipt(tauravat_printer* printer, const ReceiptPlan& plan) {
  ReceiptOutcome outcome;
  if (const int32_t code = FillTables(printer, plan, outcome); code != TAURAVAT_OK) {
    outcome.code = code;
    return outcome;
  }
  if (const int32_t code = tauravat_receipt_begin(printer); code != TAURAVAT_OK) {
    outcome.code = code;
    outcome.step = "begin";
    return outcome;
  }
  for (size_t i = 0; i < plan.lines.size(); ++i) {
    if (const int32_t code = Send(printer, plan.lines[i], outcome); code != TAURAVAT_OK) {
      outcome.code = code;
      outcome.step = Where(i);
      CancelAfter(printer, outcome);
      return outcome;
    }
  }
  if (const int32_t code = EndReceipt(printer, plan.discount); code != TAURAVAT_OK) {
    outcome.code = code;
    outcome.step = "end";
    CancelAfter(printer, outcome);
    // The cancel answers 201 when the end had in fact printed the receipt; only a further
    // end says so, and a printed sale must not be reported as failed.
    if (outcome.cancelCode == TAURAVAT_E_RECEIPT_NOT_OPEN &&
        tauravat_receipt_end(printer, plan.discount) == TAURAVAT_OK) {
      outcome.code = TAURAVAT_OK;
      outcome.step.clear();
      outcome.cancelCode = -1;
    }
  }
  return outcome;
}

}  // namespace tauravat::cli
