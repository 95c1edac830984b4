// Settles receipts whose outcome was lost: the service stopped while one was printing,
// or a receipt's end went unanswered. The printer's receipt counter, compared with its
// value before the receipt, tells a completed receipt (one more) from one that never
// completed (unchanged, where the counter is known); anything else stays unknown. Nothing
// is ever printed again here.
#pragma once

#include <string>
#include <vector>

#include "journal.hpp"
#include "printer_session.hpp"

namespace tauravatd {

// Decides `entry` with the counter the printer shows now. The printer must have been
// opened (which cancels a receipt it still held open) after the entry's last step.
void SettleWithCounter(JournalEntry& entry, const ReceiptCounter& counterNow);

// Settles the journal's unsettled entries of `printer`, oldest first, on its open
// session; `settled` receives them as decided. False when the printer failed on the way
// (the entries stay pending and the session is closed).
bool SettleUnsettled(PrinterSession& session, Journal& journal, const std::string& printer,
                     std::vector<JournalEntry>& settled);

}  // namespace tauravatd
