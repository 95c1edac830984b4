// One receipt on an open printer, from its journal entry to its outcome. Each change of
// state is in the journal before the printer is asked for the next step, so a crash at
// any point leaves an entry that settlement can decide (settlement.hpp).
#pragma once

#include <chrono>

#include "journal.hpp"
#include "printer_session.hpp"
#include "receipt_request.hpp"

namespace tauravatd {

struct ReceiptPrintingOptions {
  // How long a receipt counter read earlier is taken as current (printer_session.hpp).
  std::chrono::milliseconds counterTrust{2000};
  // Ends sent in all when the printer does not answer one: the driver resumes an end
  // after the last step the printer already has, so a repeated end never doubles it.
  int endAttempts = 3;
};

// Prints `request` for `entry` (queued) and leaves the entry in its outcome: printed,
// cancelled, failed, or unknown (with settlement pending when the printer did not
// answer). The entry is saved to the journal at every change.
void PrintReceipt(PrinterSession& session, Journal& journal, const ReceiptPrintingOptions& options,
                  JournalEntry& entry, const ReceiptRequest& request);

}  // namespace tauravatd
