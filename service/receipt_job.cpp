#include "receipt_job.hpp"

#include <chrono>

#include "result_codes.hpp"

namespace tauravatd {
namespace {

// Status codes from 100 to 114 say why a receipt may not begin (paper, fiscal memory...).
bool IsPrinterCondition(int32_t code) {
  return code >= 100 && code <= 114;
}

}  // namespace

ReceiptJob::ReceiptJob(JournalEntry entry, ReceiptRequest request)
    : entry_(std::move(entry)), request_(std::move(request)) {}

void ReceiptJob::Run(WorkerContext& context) {
  const auto started = std::chrono::steady_clock::now();
  const size_t codesBefore = entry_.codes.size();
  context.receiptOpen = true;
  try {
    PrintReceipt(context.session, context.journal, entry_, request_);
  } catch (const JournalError&) {
    context.receiptOpen = false;
    outcome_.set_exception(std::current_exception());
    return;
  }
  context.receiptOpen = false;
  Finished(context, codesBefore,
           std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
}

void ReceiptJob::Refuse(WorkerContext& context, int32_t code, const std::string& why) {
  const size_t codesBefore = entry_.codes.size();
  if (code != TAURAVAT_OK) entry_.codes.push_back({"open", code});
  entry_.state = ReceiptState::kFailed;
  entry_.note = why;
  try {
    context.journal.Save(entry_);
  } catch (const JournalError&) {
    outcome_.set_exception(std::current_exception());
    return;
  }
  Finished(context, codesBefore, 0);
}

void ReceiptJob::Finished(WorkerContext& context, size_t codesBefore, double seconds) {
  for (size_t i = codesBefore; i < entry_.codes.size(); ++i) context.Count(entry_.codes[i].code);
  if (entry_.state == ReceiptState::kPrinted) {
    context.conditions = TAURAVAT_OK;
  } else if (!entry_.codes.empty() && IsPrinterCondition(entry_.codes.front().code)) {
    context.conditions = entry_.codes.front().code;
  }
  context.metrics.ReceiptFinished(context.settings.name, entry_.state, seconds);
  outcome_.set_value(entry_);
}

}  // namespace tauravatd
