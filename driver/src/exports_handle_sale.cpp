// The handle interface: a whole sale in one call. It keeps the recovery rules of
// docs/receipts.md so that callers (the CLI, Python, the service) do not each keep a copy:
// check everything before the begin, repeat a step whose answer was lost, cancel a receipt
// whose end never went out, and ask the printer what became of an end before giving up.
#include <algorithm>
#include <cstddef>
#include <cstring>
#include <optional>

#include "check.hpp"
#include "handle.hpp"
#include "handle_marshal.hpp"
#include "model_info.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

// Each step whose answer was lost is tried this often in all; the recovery in the driver
// makes a repeat safe (docs/receipts.md).
constexpr int kAttempts = 3;

template <typename T>
const T& Element(const T* array, size_t index) {
  const size_t stride = array[0].size;
  return *reinterpret_cast<const T*>(reinterpret_cast<const char*>(array) + index * stride);
}

// Answers after which the same call may be made again: the exchange did not go through.
bool Repeatable(int32_t code) {
  return code == TAURAVAT_E_SEND_TIMEOUT || code == TAURAVAT_E_RECEIVE_TIMEOUT ||
         code == TAURAVAT_E_BAD_REPLY;
}

void CopyProblem(const Problem& from, tauravat_problem& to) {
  to.size = sizeof to;
  to.code = from.code;
  to.rule = from.rule;
  to.offset = from.offset;
  to.code_point = from.codePoint;
  to.limit = from.limit;
  std::memset(to.field, 0, sizeof to.field);
  std::memcpy(to.field, from.field.data(), std::min(from.field.size(), sizeof to.field - 1));
}

class SaleRun {
 public:
  SaleRun(Printer& printer, const tauravat_sale& sale, tauravat_sale_step_fn step, void* user,
          tauravat_sale_outcome& outcome)
      : printer_(printer), sale_(sale), step_(step), user_(user), outcome_(outcome) {}

  int32_t Run() {
    const int32_t code = Print();
    // The tables belong to this sale alone: a later item-by-item receipt starts empty. A
    // receipt left open (its end unanswered) keeps them: an end tried again later needs
    // what is left of them.
    if (!printer_.InReceipt()) {
      printer_.ClearPaymentTable();
      printer_.ClearExtraLineTable();
    }
    outcome_.code = code;
    return code;
  }

 private:
  int32_t Print() {
    if (const int32_t code = printer_.Prologue(false, false); code != TAURAVAT_OK)
      return Fail(TAURAVAT_STEP_PREPARE, code);
    if (printer_.InReceipt()) return Fail(TAURAVAT_STEP_PREPARE, TAURAVAT_E_RECEIPT_OPEN);
    if (const int32_t code = Check(); code != TAURAVAT_OK) return Fail(TAURAVAT_STEP_PREPARE, code);
    if (const int32_t code = FillTables(); code != TAURAVAT_OK)
      return Fail(TAURAVAT_STEP_PREPARE, code);
    int32_t counter = 0;
    bool known = false;
    if (const int32_t code = printer_.ReceiptCounter(counter, known); code != TAURAVAT_OK)
      return Fail(TAURAVAT_STEP_PREPARE, code);
    counter_ = known ? counter : -1;

    if (Stops(TAURAVAT_STEP_BEGIN, -1)) return TAURAVAT_E_STOPPED;
    // Repeated records each failure of the begin itself.
    if (const int32_t code = Repeated(TAURAVAT_STEP_BEGIN, [&] { return printer_.ReceiptBegin(); });
        code != TAURAVAT_OK)
      return Failed(code);

    for (size_t i = 0; i < sale_.item_count; ++i) {
      if (Stops(TAURAVAT_STEP_ITEM, static_cast<int32_t>(i))) return Cancel(TAURAVAT_E_STOPPED);
      const tauravat_item& item = Element(sale_.items, i);
      // A package line that went out whole and lost its answer is not sent again: it may
      // have printed. The receipt is cancelled instead, which nothing can print twice.
      const int32_t code = Repeated(
          TAURAVAT_STEP_ITEM, [&] { return SendLine(item); },
          [&](int32_t answer) {
            return Repeatable(answer) &&
                   !(item.kind == TAURAVAT_ITEM_PACKAGE && printer_.PackageMayHavePrinted());
          });
      if (code == TAURAVAT_E_RECEIPT_CANCELLED || code == TAURAVAT_E_RECEIPT_NOT_OPEN)
        return Cancelled(code);
      if (code != TAURAVAT_OK) return Cancel(code);
    }
    const int32_t discount = sale_.discount_percent;
    outcome_.total = printer_.DiscountedSum(discount >= 1 && discount <= 99 ? discount : 0);
    if (Stops(TAURAVAT_STEP_END, -1)) return Cancel(TAURAVAT_E_STOPPED);
    return End(discount);
  }

  // The sale against the printer's model and the rates it holds now.
  int32_t Check() {
    TaxRates read;
    read.values.fill(TAURAVAT_RATE_RESERVED);
    if (const int32_t code = printer_.ReadVAT(read); code != TAURAVAT_OK) return code;
    tauravat_rates rates{sizeof rates, 7, {}};
    std::copy(read.values.begin(), read.values.end(), rates.values);
    Problem problem;
    const int32_t code =
        CheckSale(ModelInfoOf(ModelOf(printer_.IdentifiedType())), &rates, sale_, problem);
    CopyProblem(problem, outcome_.problem);
    return code;
  }

  int32_t FillTables() {
    printer_.ClearPaymentTable();
    printer_.ClearExtraLineTable();
    for (size_t i = 0; i < sale_.payment_count; ++i) {
      const tauravat_payment& payment = Element(sale_.payments, i);
      const auto name = Utf8In(payment.name);
      if (!name) return TAURAVAT_E_INTERNAL;  // the check let through what cannot travel
      const int32_t slot = payment.slot != 0 ? payment.slot : static_cast<int32_t>(i) + 1;
      if (const int32_t code = printer_.FillPayment({.slot = slot,
                                                     .name = *name,
                                                     .firstAmount = payment.first_amount,
                                                     .secondAmount = payment.second_amount});
          code != TAURAVAT_OK)
        return code;
    }
    for (size_t i = 0; i < sale_.line_count; ++i) {
      const tauravat_line& line = Element(sale_.lines, i);
      const auto text = Utf8In(line.text);
      if (!text) return TAURAVAT_E_INTERNAL;
      int32_t free = 0;
      if (const int32_t code = printer_.FillLines({.code = line.code, .text = *text}, free);
          code != TAURAVAT_OK)
        return code;
    }
    return TAURAVAT_OK;
  }

  int32_t SendLine(const tauravat_item& item) {
    if (item.kind == TAURAVAT_ITEM_SUBTOTAL) return printer_.PrintSubtotal();
    if (item.kind == TAURAVAT_ITEM_PACKAGE)
      return printer_.PackageItem({.kind = static_cast<PackageKind>(item.package_kind),
                                   .firstValue = item.package_first_value,
                                   .secondValue = item.package_second_value,
                                   .amount = item.package_amount});
    const auto name = Utf8In(item.name);
    const auto unit = Utf8In(item.unit == nullptr ? "" : item.unit);
    if (!name || !unit) return TAURAVAT_E_INTERNAL;
    int64_t sent = 0;
    return printer_.ReceiptItem(CoreLine(item, *name, *unit), sent);
  }

  // The end until it tells printed or cancelled; then the cancel, which first learns what
  // became of the end; a printed receipt makes the cancel answer 201, and the end says so.
  int32_t End(int32_t discount) {
    int32_t code = Repeated(
        TAURAVAT_STEP_END, [&] { return printer_.ReceiptEnd(discount); },
        [&](int32_t answer) {
          return answer != TAURAVAT_E_RECEIPT_CANCELLED && answer != TAURAVAT_E_RECEIPT_NOT_OPEN &&
                 !PrintedNow();
        });
    if (const auto decided = Decided(code)) return *decided;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const int32_t cancelled = printer_.ReceiptCancel();
      if (cancelled == TAURAVAT_OK || cancelled == TAURAVAT_E_RECEIPT_CANCELLED)
        return Cancelled(cancelled == TAURAVAT_OK ? code : cancelled);
      Record(TAURAVAT_STEP_CANCEL, cancelled);
      if (cancelled == TAURAVAT_E_RECEIPT_NOT_OPEN) {
        code = printer_.ReceiptEnd(discount);
        Record(TAURAVAT_STEP_END, code);
        if (const auto decided = Decided(code)) return *decided;
        break;
      }
    }
    outcome_.state = PrintedNow() ? TAURAVAT_SALE_PRINTED : TAURAVAT_SALE_UNKNOWN;
    if (outcome_.state == TAURAVAT_SALE_PRINTED) return Printed();
    return code;
  }

  // What an end's answer settles: printed, or cancelled; nothing for the others.
  std::optional<int32_t> Decided(int32_t code) {
    if (code == TAURAVAT_OK) return Printed();
    if (code == TAURAVAT_E_RECEIPT_CANCELLED || code == TAURAVAT_E_RECEIPT_NOT_OPEN)
      return Cancelled(code);
    // Printed, but its printout not followed to the end (paper out ...).
    if (PrintedNow()) return Printed();
    return std::nullopt;
  }

  bool PrintedNow() const { return !printer_.InReceipt() && printer_.LastReceiptPrinted(); }

  int32_t Printed() {
    outcome_.state = TAURAVAT_SALE_PRINTED;
    int32_t counter = 0;
    bool known = false;
    if (printer_.ReceiptCounter(counter, known) == TAURAVAT_OK && known)
      outcome_.receipt_number = counter;
    else if (counter_ >= 0)
      outcome_.receipt_number = counter_ + 1;
    return TAURAVAT_OK;
  }

  // The receipt is begun and its end never went out: it is cancelled, so it can never
  // print. A cancel that does not go through leaves it to the printer's next begin, which
  // cancels what it still holds.
  int32_t Cancel(int32_t code) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      const int32_t cancelled = printer_.ReceiptCancel();
      if (cancelled == TAURAVAT_OK || cancelled == TAURAVAT_E_RECEIPT_CANCELLED ||
          cancelled == TAURAVAT_E_RECEIPT_NOT_OPEN)
        return Cancelled(code);
      Record(TAURAVAT_STEP_CANCEL, cancelled);
      if (!Repeatable(cancelled) && cancelled != TAURAVAT_E_NAK) break;
    }
    printer_.DropOpenReceipt();
    return Cancelled(code);
  }

  int32_t Cancelled(int32_t code) {
    outcome_.state = TAURAVAT_SALE_CANCELLED;
    return code;
  }

  int32_t Fail(int32_t step, int32_t code) {
    Record(step, code);
    return Failed(code);
  }

  int32_t Failed(int32_t code) {
    outcome_.state = TAURAVAT_SALE_FAILED;
    return code;
  }

  // `call` until it answers something other than a lost exchange (or, for the end, until
  // `again` says the answer settles nothing), kAttempts times at most. Every failure is
  // recorded.
  template <typename Call, typename Again = bool (*)(int32_t)>
  int32_t Repeated(int32_t step, Call&& call, Again again = Repeatable) {
    int32_t code = TAURAVAT_OK;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
      code = call();
      Record(step, code);
      if (code == TAURAVAT_OK || !again(code)) break;
    }
    return code;
  }

  bool Stops(int32_t step, int32_t item) {
    if (step_ == nullptr) return false;
    tauravat_step_info info{sizeof info, step, counter_, item,
                            step == TAURAVAT_STEP_END ? outcome_.total : 0};
    if (step_(user_, &info) == 0) return false;
    outcome_.stopped_at = step;
    if (step == TAURAVAT_STEP_BEGIN) outcome_.state = TAURAVAT_SALE_FAILED;
    return true;
  }

  void Record(int32_t step, int32_t code) {
    if (code == TAURAVAT_OK) return;
    auto& count = outcome_.code_count;
    if (count == TAURAVAT_SALE_CODES) --count;  // the latest code takes the last place
    outcome_.codes[count++] = {step, code};
  }

  Printer& printer_;
  const tauravat_sale& sale_;
  tauravat_sale_step_fn step_;
  void* user_;
  tauravat_sale_outcome& outcome_;
  int32_t counter_ = -1;  // the receipt counter before the begin, -1 when not known
};

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_sale(tauravat_printer* printer,
                                                                  const tauravat_sale* sale,
                                                                  tauravat_sale_step_fn step,
                                                                  void* user,
                                                                  tauravat_sale_outcome* outcome) {
  if (sale == nullptr || outcome == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  if (outcome->size < sizeof(tauravat_sale_outcome)) return TAURAVAT_E_PARAMETER_RANGE;
  std::memset(outcome, 0, sizeof(tauravat_sale_outcome));
  outcome->size = sizeof(tauravat_sale_outcome);
  outcome->state = TAURAVAT_SALE_FAILED;
  outcome->receipt_number = -1;
  outcome->problem.size = sizeof outcome->problem;
  outcome->problem.offset = -1;
  const int32_t code = WithPrinter(printer, [&](Printer& connection) {
    const int32_t result = SaleRun(connection, *sale, step, user, *outcome).Run();
    // The steps' codes as the call's own: a port that would not open again is named (94
    // vanished, 92 busy), not left as the system's number.
    const int32_t count = std::min(outcome->code_count, int32_t{TAURAVAT_SALE_CODES});
    for (int32_t i = 0; i < count; ++i)
      outcome->codes[i].code =
          HandlePortResult(connection.Line(), outcome->codes[i].code, printer->opened);
    return result;
  });
  outcome->code = code;
  return code;
}
