#include "printer_session.hpp"

#include <algorithm>

#include "result_codes.hpp"

namespace tauravatd {

PrinterSession::PrinterSession(std::unique_ptr<PrinterBackend> backend, Backoff backoff)
    : backend_(std::move(backend)), backoff_(backoff) {}

PrinterSession::~PrinterSession() {
  if (open_) backend_->Close();
}

int32_t PrinterSession::EnsureOpen(bool urgent) {
  if (open_) return TAURAVAT_OK;
  const Clock::time_point now = Clock::now();
  const Clock::time_point allowed = urgent && failures_ > 0
                                        ? std::min(nextAttempt_, lastAttempt_ + backoff_.first)
                                        : nextAttempt_;
  if (failures_ > 0 && now < allowed) return lastFault_;
  lastAttempt_ = now;
  const int32_t code = Open();
  if (code == TAURAVAT_OK) {
    failures_ = 0;
    lastFault_ = TAURAVAT_OK;
    return TAURAVAT_OK;
  }
  Lost(code);
  return code;
}

int32_t PrinterSession::Reopen() {
  if (open_) backend_->Close();
  open_ = false;
  lastAttempt_ = Clock::now();
  const int32_t code = Open();
  if (code != TAURAVAT_OK) Lost(code);
  return code;
}

void PrinterSession::Lost(int32_t code) {
  if (open_) {
    backend_->Close();
    // A working line was lost, not an attempt to open refused: a waiting request may try
    // at once, however recently the line was opened.
    lastAttempt_ = Clock::now() - backoff_.first;
  }
  open_ = false;
  lastFault_ = code;
  ++failures_;
  auto delay = backoff_.first;
  for (int i = 1; i < failures_ && delay < backoff_.longest; ++i) delay *= 2;
  nextAttempt_ = Clock::now() + std::min(delay, backoff_.longest);
}

int32_t PrinterSession::Open() {
  if (const int32_t code = backend_->Open(); code != TAURAVAT_OK) {
    backend_->Close();
    return code;
  }
  open_ = true;
  PrinterFacts facts;
  int32_t code = backend_->Identify(facts.device);
  if (code == TAURAVAT_OK) code = backend_->ReadRates(facts.rates);
  if (code != TAURAVAT_OK) {
    backend_->Close();
    open_ = false;
    return code;
  }
  facts_ = facts;
  return TAURAVAT_OK;
}

int32_t PrinterSession::RefreshRates() {
  RateTable rates;
  const int32_t code = backend_->ReadRates(rates);
  if (code == TAURAVAT_OK) facts_.rates = rates;
  return code;
}

int32_t PrinterSession::ReadCounter(ReceiptCounter& counter) {
  return backend_->ReadReceiptCounter(counter);
}

}  // namespace tauravatd
