// The print service's request bodies, arbitrary bytes from the network: every parser
// must answer (a request or a refusal naming why) without crashing, what the driver's check
// accepts must stay within the printer's bounds and read back the same from the journal's form, and
// every answer a body brings about must serialise as JSON as it is, without a byte that
// is not UTF-8.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <variant>

#include "answers.hpp"
#include "handle_backend.hpp"
#include "operation_requests.hpp"
#include "receipt_request.hpp"
#include "receipt_total.hpp"
#include "sale_check.hpp"

namespace {

using namespace tauravatd;

void Require(bool condition) {
  if (!condition) std::abort();
}

const Answers& TheAnswers() {
  static const std::unique_ptr<Driver> driver = MakeHandleDriver();
  static const Answers answers(*driver);
  return answers;
}

// Serialised strictly: a text that is not UTF-8 throws here, where the service would have
// to replace it.
void CheckAnswer(const Answer& answer) {
  Require(answer.status >= 200 && answer.status <= 599);
  const std::string text = answer.body.dump();
  Require(AnswerText(answer) == text);
  Require(!nlohmann::json::parse(text, nullptr, false).is_discarded());
}

template <class Parsed>
void CheckRefusal(const Parsed& parsed) {
  if (const auto* error = std::get_if<RequestError>(&parsed)) {
    Require(!error->detail.empty());
    CheckAnswer(TheAnswers().Invalid(*error));
  }
}

// The two ends of the models: the newest, and the oldest with four rates and no payment
// forms.
const PrinterFacts kPrinters[] = {
    {{7, 1, "KESTRA LUNO"},
     {7,
      {2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED}}},
    {{0, 1, "KESTRA TAURA"}, {4, {2200, 700, 0, TAURAVAT_RATE_RESERVED, 0, 0, 0}}},
};

void CheckReceipt(std::string_view body) {
  auto parsed = ParseReceiptRequest(body);
  CheckRefusal(parsed);
  if (!std::holds_alternative<ReceiptRequest>(parsed)) return;
  const ReceiptRequest& request = std::get<ReceiptRequest>(parsed);
  Require(ValidReceiptId(request.id));
  Require(!request.items.empty() && request.items.size() <= kMaxItems);
  // The journal's form reads back as the same receipt.
  const std::string canonical = CanonicalJson(request);
  Require(CanonicalJson(FromCanonicalJson(canonical)) == canonical);

  // What the driver's check takes is within the printer's bounds.
  bool taken = false;
  for (const PrinterFacts& printer : kPrinters) {
    if (const auto error = CheckSale(request, &printer)) {
      CheckAnswer(TheAnswers().Invalid(*error));
      continue;
    }
    taken = true;
    for (const SaleLine& item : request.items) {
      Require(item.rate >= 1 && item.rate <= 7);
      Require(item.quantity.units >= 1 && item.quantity.places <= 4);
      Require(item.price >= 1 && item.value >= 1 && item.value <= 999'999'999);
    }
    Require(request.discountPercent >= 0 && request.discountPercent <= 99);
    Require(request.payments.size() <= 4 && request.lines.size() <= 6);
  }
  if (!taken) return;
  // The receipt's entry as a printed sale and as one the printer refused.
  JournalEntry entry;
  entry.id = request.id;
  entry.printer = "till1";
  entry.request = canonical;
  entry.total = ReceiptTotal(request);
  entry.state = ReceiptState::kPrinted;
  CheckAnswer(TheAnswers().ReceiptAnswer(entry, true));
  entry.state = ReceiptState::kFailed;
  entry.codes = {{"begin", 109}};
  CheckAnswer(TheAnswers().ReceiptAnswer(entry, false));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view body(reinterpret_cast<const char*>(data), size);
  CheckReceipt(body);
  CheckRefusal(ParseRatesWrite(body));
  for (const char* type : {"daily", "period", "monthly", "numbers"}) {
    CheckRefusal(ParseReport(type, body));
  }
  CheckRefusal(ParseDrawer(body));
  // Whatever text reaches an answer, the answer still goes out as JSON.
  const Answer unexpected = TheAnswers().Error(ErrorKind::kInternal, 500, std::string(body));
  Require(!nlohmann::json::parse(AnswerText(unexpected), nullptr, false).is_discarded());
  return 0;
}
