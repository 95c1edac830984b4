// The print service's request bodies, arbitrary bytes from the network: every parser
// must answer (a request or a refusal naming why) without crashing, and what it accepts
// must stay within the printer's bounds and read back the same from the journal's form.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "operation_requests.hpp"
#include "receipt_request.hpp"

namespace {

using namespace tauravatd;

void Require(bool condition) {
  if (!condition) std::abort();
}

void CheckReceipt(std::string_view body) {
  auto parsed = ParseReceiptRequest(body);
  if (const auto* error = std::get_if<RequestError>(&parsed)) {
    Require(!error->detail.empty());
    return;
  }
  const ReceiptRequest& request = std::get<ReceiptRequest>(parsed);
  Require(ValidReceiptId(request.id));
  Require(!request.items.empty() && request.items.size() <= kMaxItems);
  for (const SaleLine& item : request.items) {
    Require(item.rate >= 1 && item.rate <= 7);
    Require(item.quantity.units >= 1 && item.quantity.units <= kMaxQuantityUnits);
    Require(item.quantity.places >= 0 && item.quantity.places <= 4);
    Require(item.price >= 1 && item.price <= kMaxPrice);
    Require(item.value >= 1 && item.value <= kMaxLineValue);
  }
  Require(request.discountPercent >= 0 && request.discountPercent <= 99);
  Require(request.payments.size() <= 4 && request.lines.size() <= 6);
  // The journal's form reads back as the same receipt.
  const std::string canonical = CanonicalJson(request);
  Require(CanonicalJson(FromCanonicalJson(canonical)) == canonical);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  CheckReceipt(body);
  ParseRatesWrite(body);
  for (const char* type : {"daily", "period", "monthly", "numbers"}) ParseReport(type, body);
  ParseDrawer(body);
  return 0;
}
