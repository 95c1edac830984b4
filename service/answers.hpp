// What the interface answers: a status and a JSON body. Errors share one shape:
//
//   {"error": {"kind": "invalid_request", "status": 400, "field": "items[0].price",
//              "detail": "...", "code": 208, "name": "...", "message_pl": "...",
//              "message_en": "..."}}
//
// `code`, `name` and the messages are the driver's when a driver code applies; otherwise
// `code` and `name` are null and the messages are the service's own.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "journal.hpp"
#include "printer_backend.hpp"
#include "request_error.hpp"

namespace tauravatd {

struct Answer {
  Answer() = default;
  Answer(int httpStatus, nlohmann::json json) : status(httpStatus), body(std::move(json)) {}

  int status = 200;
  nlohmann::json body;
  std::string text;  // instead of the JSON body when set (metrics)
  std::string contentType = "application/json";
  std::string location;  // the Location header when set
  int retryAfter = 0;    // seconds, the Retry-After header when above 0
  // An answer that goes on (an event stream): called again and again on the request's
  // thread, each call waiting for what to send and handing it to `write`; the answer ends
  // when it returns false. `write` is false once the client is gone.
  std::function<bool(const std::function<bool(std::string_view)>& write)> stream;
};

// The body an answer is sent with. Never throws: text that is not UTF-8, which no answer
// should hold, goes out with U+FFFD in its place rather than failing the answer.
std::string AnswerText(const Answer& answer);

// The HTTP status that fits a driver result code.
int StatusForCode(int32_t code);

enum class ErrorKind {
  kInvalidJson,
  kInvalidRequest,
  kUnauthorized,
  kNotFound,
  kIdConflict,
  kUnknownOutcome,
  kStillSettling,
  kBodyTooLarge,
  kMethodNotAllowed,
  kLengthRequired,
  kQueueFull,
  kPrinterBusy,  // the printer's waiting requests are at their limit, or it is stalled
  kUnavailable,  // the receipt or request could not be carried out now; detail says why
  kPrinter,      // the driver's code says what
  kJournal,
  kInternal,
};

std::string_view KindName(ErrorKind kind);

class Answers {
 public:
  explicit Answers(const Driver& driver) : driver_(driver) {}

  nlohmann::json Code(int32_t code) const;  // {"code", "name", "message_pl", "message_en"}
  Answer Error(ErrorKind kind, int status, std::string detail, std::string field = {}) const;
  Answer PrinterError(int32_t code, std::string detail = {}) const;
  Answer Invalid(const RequestError& error) const;

  nlohmann::json Entry(const JournalEntry& entry) const;
  // A receipt's entry as the answer to its POST; `fresh` when this request printed it.
  Answer ReceiptAnswer(const JournalEntry& entry, bool fresh) const;

 private:
  const Driver& driver_;
};

nlohmann::json RatesJson(const RateTable& rates);

}  // namespace tauravatd
