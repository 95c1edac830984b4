#include "answers.hpp"

#include <array>

#include "decimal.hpp"
#include "printable_text.hpp"
#include "result_codes.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

struct KindText {
  std::string_view name;
  std::string_view pl;
  std::string_view en;
};

// Indexed by ErrorKind.
constexpr std::array<KindText, 16> kKinds = {{
    {"invalid_json", "Treść żądania nie jest poprawnym dokumentem JSON.",
     "The request body is not valid JSON."},
    {"invalid_request", "Pole żądania ma niedozwoloną wartość.",
     "A field of the request is not valid."},
    {"unauthorized", "Brak tokenu dostępu lub token jest błędny.",
     "The access token is missing or wrong."},
    {"not_found", "Nie ma takiego zasobu.", "No such resource."},
    {"id_conflict", "Ten identyfikator paragonu użyto już dla innej treści.",
     "This receipt id was already used with a different body."},
    {"unknown_outcome",
     "Nie wiadomo, czy paragon został wydrukowany. Sprawdź wydruk; aby wydrukować go "
     "ponownie, wyślij go z \"retry_unknown\": true.",
     "Whether the receipt was printed is not known. Check the paper; to print it again, send "
     "it with \"retry_unknown\": true."},
    {"still_settling",
     "Wynik paragonu zostanie ustalony, gdy drukarka znów odpowie. Spróbuj później.",
     "The receipt's outcome is settled when the printer answers again. Try later."},
    {"body_too_large", "Treść żądania jest za duża.", "The request body is too large."},
    {"method_not_allowed", "Ta ścieżka nie przyjmuje tej metody HTTP.",
     "This path does not take this HTTP method."},
    {"length_required", "Żądanie musi podać długość treści (Content-Length).",
     "The request must give the length of its body (Content-Length)."},
    {"queue_full", "Kolejka drukarki jest pełna.", "The printer's queue is full."},
    {"printer_busy", "Drukarka jest zajęta. Spróbuj ponownie później.",
     "The printer is busy. Try again later."},
    {"unavailable", "Usługa nie może teraz wykonać żądania.",
     "The service cannot carry out the request now."},
    {"printer", "", ""},
    {"journal", "Nie można zapisać dziennika paragonów.", "The receipt journal cannot be written."},
    {"internal", "Błąd wewnętrzny usługi.", "Internal error of the service."},
}};

static_assert(kKinds.size() == static_cast<size_t>(ErrorKind::kInternal) + 1);

std::string RateText(uint32_t value) {
  if (value == TAURAVAT_RATE_RESERVED) return "reserved";
  if (value == TAURAVAT_RATE_EXEMPT) return "exempt";
  // Hundredths of a percent without trailing zeros, as every program writes a rate: "23",
  // "7.5", "0.05".
  std::string text = FormatMoney(value);
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

std::string AnswerText(const Answer& answer) {
  if (!answer.text.empty()) return answer.text;
  return answer.body.dump(-1, ' ', false, json::error_handler_t::replace);
}

int StatusForCode(int32_t code) {
  if (code == TAURAVAT_OK) return 200;
  if (code == TAURAVAT_E_SEND_TIMEOUT || code == TAURAVAT_E_RECEIVE_TIMEOUT) return 504;
  if (IsConnectionFault(code) || (code >= 100 && code <= 114)) return 503;
  if (code == TAURAVAT_E_RECEIPT_OPEN) return 423;
  if (code == TAURAVAT_E_NO_SALES_SINCE_REPORT || code == TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO ||
      (code >= TAURAVAT_E_BAD_REPORT_DATES && code <= TAURAVAT_E_MONTH_NOT_FINISHED)) {
    return 409;
  }
  if ((code >= 201 && code <= 227) && code != TAURAVAT_E_RECEIPT_CANCELLED &&
      code != TAURAVAT_E_RATES_NOT_WRITTEN) {
    return 400;
  }
  if (code == TAURAVAT_E_INTERNAL) return 500;
  // The printer refused, answered wrongly or cancelled on its own.
  return 502;
}

std::string_view KindName(ErrorKind kind) {
  return kKinds[static_cast<size_t>(kind)].name;
}

json Answers::Code(int32_t code) const {
  const CodeDescription description = driver_.Describe(code);
  return {{"code", code},
          {"name", description.name},
          {"message_pl", description.messagePl},
          {"message_en", description.messageEn}};
}

Answer Answers::Error(ErrorKind kind, int status, std::string detail, std::string field) const {
  const KindText& text = kKinds[static_cast<size_t>(kind)];
  json error = {{"kind", text.name},    {"status", status}, {"detail", std::move(detail)},
                {"code", nullptr},      {"name", nullptr},  {"message_pl", text.pl},
                {"message_en", text.en}};
  if (!field.empty()) error["field"] = std::move(field);
  return {status, {{"error", std::move(error)}}};
}

Answer Answers::PrinterError(int32_t code, std::string detail) const {
  const int status = StatusForCode(code);
  json error = Code(code);
  error["kind"] = KindName(ErrorKind::kPrinter);
  error["status"] = status;
  error["detail"] = std::move(detail);
  return {status, {{"error", std::move(error)}}};
}

Answer Answers::Invalid(const RequestError& error) const {
  const ErrorKind kind = error.field.empty() && error.code == TAURAVAT_OK
                             ? ErrorKind::kInvalidJson
                             : ErrorKind::kInvalidRequest;
  Answer answer = Error(kind, 400, error.detail, error.field);
  json& body = answer.body["error"];
  if (error.code != TAURAVAT_OK) {
    const json code = Code(error.code);
    for (const auto& [key, value] : code.items()) body[key] = value;
  }
  if (error.offset) body["offset"] = *error.offset;
  if (error.codePoint) {
    body["code_point"] = CodePointName(*error.codePoint);
  }
  return answer;
}

json Answers::Entry(const JournalEntry& entry) const {
  json codes = json::array();
  for (const CodeSeen& seen : entry.codes) {
    json code = Code(seen.code);
    code["step"] = seen.step;
    codes.push_back(std::move(code));
  }
  return {{"id", entry.id},
          {"printer", entry.printer},
          {"state", StateName(entry.state)},
          {"total", FormatMoney(entry.total)},
          {"receipt_number", entry.receiptNumber ? json(*entry.receiptNumber) : json(nullptr)},
          {"attempts", entry.attempts},
          {"codes", std::move(codes)},
          {"note", entry.note},
          {"created", entry.created},
          {"updated", entry.updated}};
}

Answer Answers::ReceiptAnswer(const JournalEntry& entry, bool fresh) const {
  Answer answer;
  answer.body = Entry(entry);
  answer.location = "/v1/printers/" + entry.printer + "/receipts/" + entry.id;
  switch (entry.state) {
    case ReceiptState::kPrinted:
      answer.status = fresh ? 201 : 200;
      return answer;
    case ReceiptState::kQueued:
    case ReceiptState::kPrinting:
      answer.status = 202;
      return answer;
    default:
      break;
  }
  const int32_t code = entry.codes.empty() ? TAURAVAT_OK : entry.codes.front().code;
  Answer error;
  if (code != TAURAVAT_OK) {
    error = PrinterError(code, entry.note);
  } else if (entry.state == ReceiptState::kUnknown) {
    error = Error(ErrorKind::kUnknownOutcome, 409, entry.note);
  } else {
    error = Error(ErrorKind::kUnavailable, 503, entry.note);
  }
  answer.status = error.status;
  answer.body["error"] = std::move(error.body["error"]);
  return answer;
}

json RatesJson(const RateTable& rates) {
  json letters = json::object();
  for (int32_t i = 0; i < rates.count && i < 7; ++i) {
    letters[std::string(1, static_cast<char>('A' + i))] =
        RateText(rates.values[static_cast<size_t>(i)]);
  }
  return {{"count", rates.count}, {"rates", std::move(letters)}};
}

}  // namespace tauravatd
