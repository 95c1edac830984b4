// A receipt waiting in its printer's queue, and the answer for whoever waits for it.
#pragma once

#include <future>

#include "journal.hpp"
#include "printer_worker.hpp"
#include "receipt_request.hpp"

namespace tauravatd {

class ReceiptJob final : public Job {
 public:
  ReceiptJob(JournalEntry entry, ReceiptRequest request);

  // The entry in its outcome; holds a JournalError when the journal could not be written
  // (the receipt is then cancelled if its end had not been sent).
  std::future<JournalEntry> Outcome() { return outcome_.get_future(); }

  void Run(WorkerContext& context) override;
  void Refuse(WorkerContext& context, int32_t code, const std::string& why) override;

 private:
  void Finished(WorkerContext& context, size_t codesBefore, double seconds);

  JournalEntry entry_;
  ReceiptRequest request_;
  std::promise<JournalEntry> outcome_;
};

}  // namespace tauravatd
