#include "receipt_printing.hpp"

#include <algorithm>
#include <exception>
#include <string>

#include "result_codes.hpp"
#include "sale_check.hpp"
#include "settlement.hpp"

namespace tauravatd {
namespace {

class ReceiptRun {
 public:
  ReceiptRun(PrinterSession& session, Journal& journal, JournalEntry& entry)
      : session_(session), journal_(journal), entry_(entry) {}

  void Print(const ReceiptRequest& request) {
    // The printer's model and rates as last read name the field at fault as the till does;
    // the driver checks again against the rates it reads before the begin.
    if (const auto fault = CheckSale(request, &session_.Facts())) {
      Record("check", fault->code);
      Finish(ReceiptState::kFailed, fault->field + ": " + fault->detail);
      return;
    }
    const DriverSale sale(request, true);
    outcome_.size = sizeof outcome_;
    const int32_t code =
        session_.Backend().PrintSale(sale.Sale(), &ReceiptRun::Step, this, outcome_);
    RecordCodes();
    if (unjournalled_) {
      Unjournalled();
      std::rethrow_exception(unjournalled_);
    }
    switch (outcome_.state) {
      case TAURAVAT_SALE_PRINTED:
        if (outcome_.receipt_number >= 0) entry_.receiptNumber = outcome_.receipt_number;
        Finish(ReceiptState::kPrinted, "");
        return;
      case TAURAVAT_SALE_CANCELLED:
        LoseAfterFailedCancel();
        Finish(ReceiptState::kCancelled,
               code == TAURAVAT_E_RECEIPT_CANCELLED ? "the printer cancelled the receipt" : "");
        return;
      case TAURAVAT_SALE_UNKNOWN:
        SettleNow();
        return;
      default:
        Failed(code);
        return;
    }
  }

 private:
  static int32_t TAURAVAT_CALL Step(void* user, const tauravat_step_info* step) {
    auto& run = *static_cast<ReceiptRun*>(user);
    try {
      run.Journalled(*step);
      return 0;
    } catch (...) {
      // Nothing may leave through the driver: the sale stops, and the error is thrown on.
      run.unjournalled_ = std::current_exception();
      return 1;
    }
  }

  // Each step in the journal before the printer is asked for it.
  void Journalled(const tauravat_step_info& step) {
    if (step.step == TAURAVAT_STEP_ITEM) lastItem_ = step.item;
    if (step.step == TAURAVAT_STEP_BEGIN) {
      entry_.state = ReceiptState::kPrinting;
      // Read before the begin; -1 there is a 0 that tells nothing on this model, which
      // settlement knows to read so.
      entry_.counterBefore = std::max(step.counter, 0);
      journal_.Save(entry_);
    } else if (step.step == TAURAVAT_STEP_END) {
      // From here the receipt may be on paper.
      endTold_ = true;
      entry_.endSent = true;
      journal_.Save(entry_);
    }
  }

  // The journal did not take a step, so the driver did not carry it out: before the begin
  // nothing was printed, after it the receipt was cancelled, so that it cannot become a sale
  // the journal does not know of. The journal keeps the entry in memory until it can write
  // it (journal.hpp).
  void Unjournalled() {
    if (entry_.state != ReceiptState::kPrinting) return;
    entry_.endSent = false;
    const bool begun = outcome_.state == TAURAVAT_SALE_CANCELLED;
    if (begun) LoseAfterFailedCancel();
    entry_.state = begun ? ReceiptState::kCancelled : ReceiptState::kFailed;
    entry_.note = begun ? "the journal could not be written; the receipt was cancelled"
                        : "the journal could not be written; nothing was printed";
    try {
      journal_.Save(entry_);
    } catch (const JournalError&) {
      // Kept by the journal until it can be written.
    }
  }

  // Nothing was begun. A line that failed, or a begin whose answer was lost (it may have
  // opened a receipt), closes the printer: the next opening cancels what it holds.
  void Failed(int32_t code) {
    const bool begin = outcome_.code_count > 0 &&
                       outcome_.codes[outcome_.code_count - 1].step == TAURAVAT_STEP_BEGIN;
    if (IsConnectionFault(code) ||
        (begin && (code == TAURAVAT_E_BAD_REPLY || code == TAURAVAT_E_RECEIPT_OPEN)))
      session_.Lost(code);
    std::string note;
    if (outcome_.problem.code != TAURAVAT_OK)
      note = std::string(outcome_.problem.field) + ": refused by the printer's current rates";
    Finish(ReceiptState::kFailed, note);
  }

  // A cancel that did not go through leaves the receipt open on the printer; the next
  // opening of the printer cancels it.
  void LoseAfterFailedCancel() {
    if (outcome_.code_count == 0) return;
    const tauravat_sale_code& last = outcome_.codes[outcome_.code_count - 1];
    if (last.step == TAURAVAT_STEP_CANCEL && last.code != TAURAVAT_E_RECEIPT_NOT_OPEN)
      session_.Lost(last.code);
  }

  // The driver could not tell what became of the end: the receipt counter can, compared
  // with its value before the receipt. Reading it needs a printer without an open receipt,
  // which opening it again ensures.
  void SettleNow() {
    ReceiptCounter counter;
    int32_t code = session_.ReadCounter(counter);
    if (code != TAURAVAT_OK) {
      Record("settle", code);
      code = session_.Reopen();
      if (code == TAURAVAT_OK) code = session_.ReadCounter(counter);
    }
    if (code != TAURAVAT_OK) {
      if (session_.IsOpen()) session_.Lost(code);
      entry_.settlePending = true;
      Finish(ReceiptState::kUnknown,
             "the printer did not answer after the receipt's end; it is settled when the "
             "printer answers again");
      return;
    }
    SettleWithCounter(entry_, counter);
    journal_.Save(entry_);
  }

  // The codes as the journal names their steps. Of the items' codes, the one the sale
  // stopped at answered the last item the driver told of; the others ("items") were lost
  // answers of lines sent again.
  void RecordCodes() {
    const int32_t count = std::min(outcome_.code_count, int32_t{TAURAVAT_SALE_CODES});
    int32_t lastItemCode = -1;
    for (int32_t i = 0; i < count; ++i)
      if (outcome_.codes[i].step == TAURAVAT_STEP_ITEM) lastItemCode = i;
    const bool stoppedInItems = lastItemCode >= 0 && !endTold_;
    for (int32_t i = 0; i < count; ++i) {
      const tauravat_sale_code& seen = outcome_.codes[i];
      switch (seen.step) {
        case TAURAVAT_STEP_PREPARE:
          Record("prepare", seen.code);
          break;
        case TAURAVAT_STEP_BEGIN:
          Record("begin", seen.code);
          break;
        case TAURAVAT_STEP_ITEM:
          Record(stoppedInItems && i == lastItemCode ? "items[" + std::to_string(lastItem_) + "]"
                                                     : std::string("items"),
                 seen.code);
          break;
        case TAURAVAT_STEP_END:
          Record("end", seen.code);
          break;
        default:
          Record("cancel", seen.code);
          break;
      }
    }
  }

  void Record(const std::string& step, int32_t code) {
    if (code != TAURAVAT_OK) entry_.codes.push_back({step, code});
  }

  void Finish(ReceiptState state, std::string note) {
    entry_.state = state;
    entry_.note = std::move(note);
    journal_.Save(entry_);
  }

  PrinterSession& session_;
  Journal& journal_;
  JournalEntry& entry_;
  tauravat_sale_outcome outcome_{};
  int32_t lastItem_ = -1;  // the last item the driver told of
  bool endTold_ = false;
  std::exception_ptr unjournalled_;
};

}  // namespace

void PrintReceipt(PrinterSession& session, Journal& journal, JournalEntry& entry,
                  const ReceiptRequest& request) {
  ReceiptRun(session, journal, entry).Print(request);
}

}  // namespace tauravatd
