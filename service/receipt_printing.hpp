// One receipt on an open printer, from its journal entry to its outcome. The driver prints
// the whole sale and knows what to do on each answer (tauravat_print_sale); the journal
// takes each step from the driver's step call-back before the printer is asked for it, so
// a crash at any point leaves an entry that settlement can decide (settlement.hpp).
#pragma once

#include "journal.hpp"
#include "printer_session.hpp"
#include "receipt_request.hpp"

namespace tauravatd {

// Prints `request` for `entry` (queued) and leaves the entry in its outcome: printed,
// cancelled, failed, or unknown (with settlement pending when the printer did not
// answer). The entry is saved to the journal at every change; a step the journal does not
// take is not carried out, and the JournalError is thrown on.
void PrintReceipt(PrinterSession& session, Journal& journal, JournalEntry& entry,
                  const ReceiptRequest& request);

}  // namespace tauravatd
