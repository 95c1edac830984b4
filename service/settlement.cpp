#include "settlement.hpp"

#include <string>

#include "result_codes.hpp"

namespace tauravatd {

void SettleWithCounter(JournalEntry& entry, const ReceiptCounter& counterNow) {
  entry.settlePending = false;
  if (!entry.endSent) {
    entry.state = ReceiptState::kCancelled;
    entry.note = "the receipt's end was never sent; opening the printer cancelled it";
    return;
  }
  if (!entry.counterBefore) {
    entry.state = ReceiptState::kUnknown;
    entry.note = "no receipt counter was read before the receipt";
    return;
  }
  const std::string before = std::to_string(*entry.counterBefore);
  const std::string now = std::to_string(counterNow.number);
  if (counterNow.number == *entry.counterBefore + 1) {
    entry.state = ReceiptState::kPrinted;
    entry.receiptNumber = counterNow.number;
    entry.note = "settled: the printer's receipt counter rose from " + before + " to " + now;
  } else if (counterNow.number == *entry.counterBefore && !counterNow.known) {
    entry.state = ReceiptState::kUnknown;
    entry.note = "the printer's receipt counter read " + before +
                 " before the receipt and still does; this model may keep it at " + before +
                 " through a receipt, so it cannot tell whether this one was completed";
  } else if (counterNow.number == *entry.counterBefore) {
    entry.state = ReceiptState::kCancelled;
    entry.note = "settled: the printer's receipt counter stayed at " + before;
  } else {
    entry.state = ReceiptState::kUnknown;
    entry.note = "the printer's receipt counter went from " + before + " to " + now +
                 ", which does not tell whether this receipt was completed";
  }
}

bool SettleUnsettled(PrinterSession& session, Journal& journal, const std::string& printer,
                     std::vector<JournalEntry>& settled) {
  std::vector<JournalEntry> entries = journal.Unsettled(printer);
  if (entries.empty()) return true;
  ReceiptCounter counter;
  if (const int32_t code = session.ReadCounter(counter); code != TAURAVAT_OK) {
    session.Lost(code);
    return false;
  }
  // Only the last receipt whose end was sent can be judged by the counter; the service
  // never begins a receipt while one is unsettled, so an earlier one is an anomaly.
  const JournalEntry* last = nullptr;
  for (const JournalEntry& entry : entries)
    if (entry.endSent) last = &entry;
  for (JournalEntry& entry : entries) {
    if (entry.endSent && &entry != last) {
      entry.state = ReceiptState::kUnknown;
      entry.settlePending = false;
      entry.note = "a later receipt reached the printer before this one was settled";
    } else {
      SettleWithCounter(entry, counter);
    }
    journal.Save(entry);
    settled.push_back(entry);
  }
  return true;
}

}  // namespace tauravatd
