#include "receipt_printing.hpp"

#include <string>

#include "result_codes.hpp"
#include "sale_check.hpp"
#include "settlement.hpp"

namespace tauravatd {
namespace {

class ReceiptRun {
 public:
  ReceiptRun(PrinterSession& session, Journal& journal, const ReceiptPrintingOptions& options,
             JournalEntry& entry)
      : session_(session), journal_(journal), options_(options), entry_(entry) {}

  void Print(const ReceiptRequest& request) {
    try {
      PrintSteps(request);
    } catch (const JournalError&) {
      Unjournalled();
      throw;
    }
  }

 private:
  // The journal did not take a write. An outcome it did not take stays as decided; a step
  // it did not take was not carried out, and nothing goes further: a receipt begun is
  // cancelled, so that it cannot become a sale the journal does not know of. The journal
  // keeps the entry in memory until it can write it (journal.hpp).
  void Unjournalled() {
    if (entry_.state != ReceiptState::kPrinting) return;
    entry_.endSent = false;
    if (open_) {
      if (const int32_t code = session_.Backend().ReceiptCancel(); code != kOk) {
        Record("cancel", code);
        // The next opening of the printer cancels what is left open.
        if (code != kReceiptNotOpen) session_.Lost(code);
      }
    }
    entry_.state = open_ ? ReceiptState::kCancelled : ReceiptState::kFailed;
    entry_.note = open_ ? "the journal could not be written; the receipt was cancelled"
                        : "the journal could not be written; nothing was printed";
    open_ = false;
    try {
      journal_.Save(entry_);
    } catch (const JournalError&) {
      // Kept by the journal until it can be written.
    }
  }

  void PrintSteps(const ReceiptRequest& request) {
    if (const auto fault = CheckSale(request, &session_.Facts())) {
      Record("check", fault->code);
      Finish(ReceiptState::kFailed, fault->field + ": " + fault->detail);
      return;
    }
    ReceiptCounter counter;
    if (const int32_t code = session_.CounterBeforeReceipt(options_.counterTrust, counter);
        code != kOk) {
      Record("counter", code);
      if (IsConnectionFault(code)) session_.Lost(code);
      Finish(ReceiptState::kFailed, "the printer's receipt counter could not be read");
      return;
    }
    // In the journal before the printer is touched.
    entry_.state = ReceiptState::kPrinting;
    entry_.counterBefore = counter.number;
    journal_.Save(entry_);

    PrinterBackend& printer = session_.Backend();
    int32_t code = printer.SetPayments(request.payments);
    if (code == kOk) code = printer.SetExtraLines(request.lines);
    if (code != kOk) {
      Record("tables", code);
      Finish(ReceiptState::kFailed, "");
      return;
    }
    if (code = printer.ReceiptBegin(); code != kOk) {
      Record("begin", code);
      // A begin whose answer was lost may have opened a receipt: the next opening of the
      // printer cancels it.
      if (IsConnectionFault(code) || code == kBadReply || code == kReceiptOpen) {
        session_.Lost(code);
      }
      Finish(ReceiptState::kFailed, "");
      return;
    }
    open_ = true;
    for (size_t i = 0; i < request.items.size(); ++i) {
      int64_t value = 0;
      if (code = printer.ReceiptItem(request.items[i], value); code != kOk) {
        Abandon("items[" + std::to_string(i) + "]", code);
        return;
      }
    }
    End(request.discountPercent);
  }

  void End(int32_t discountPercent) {
    // From here the receipt may be on paper.
    entry_.endSent = true;
    journal_.Save(entry_);
    open_ = false;
    PrinterBackend& printer = session_.Backend();
    int32_t code = printer.ReceiptEnd(discountPercent);
    for (int attempt = 1;
         attempt < options_.endAttempts && (IsConnectionFault(code) || code == kBadReply);
         ++attempt) {
      Record("end", code);
      code = printer.ReceiptEnd(discountPercent);
    }
    if (code == kOk) {
      entry_.receiptNumber = session_.ReceiptCompleted();
      Finish(ReceiptState::kPrinted, "");
      return;
    }
    Record("end", code);
    if (code == kReceiptCancelled) {
      Finish(ReceiptState::kCancelled, "the printer cancelled the receipt");
      return;
    }
    SettleNow();
  }

  // The end's answer does not say what the printer did: its receipt counter does. Reading
  // it needs a printer without an open receipt, which opening it again ensures.
  void SettleNow() {
    ReceiptCounter counter;
    int32_t code = session_.ReadCounter(counter);
    if (code != kOk) {
      Record("settle", code);
      code = session_.Reopen();
      if (code == kOk) code = session_.ReadCounter(counter);
    }
    if (code != kOk) {
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

  // A line failed: the receipt is open on the printer unless the printer cancelled it.
  // Its end was never sent, so it can never become a sale.
  void Abandon(const std::string& step, int32_t code) {
    open_ = false;
    Record(step, code);
    if (code == kReceiptCancelled) {
      Finish(ReceiptState::kCancelled, "the printer cancelled the receipt");
      return;
    }
    const int32_t cancelled = session_.Backend().ReceiptCancel();
    if (cancelled != kOk) {
      Record("cancel", cancelled);
      // The next opening of the printer cancels what is left open.
      if (cancelled != kReceiptNotOpen) session_.Lost(cancelled);
    }
    Finish(ReceiptState::kCancelled, "");
  }

  void Record(const std::string& step, int32_t code) {
    if (code != kOk) entry_.codes.push_back({step, code});
  }

  void Finish(ReceiptState state, std::string note) {
    entry_.state = state;
    entry_.note = std::move(note);
    journal_.Save(entry_);
  }

  PrinterSession& session_;
  Journal& journal_;
  const ReceiptPrintingOptions& options_;
  JournalEntry& entry_;
  bool open_ = false;  // begun on the printer, its end not yet sent
};

}  // namespace

void PrintReceipt(PrinterSession& session, Journal& journal, const ReceiptPrintingOptions& options,
                  JournalEntry& entry, const ReceiptRequest& request) {
  ReceiptRun(session, journal, options, entry).Print(request);
}

}  // namespace tauravatd
