// Request bodies and their decimals: what is accepted, and for each refusal the field named and
// the code (with its name from the shipped driver).
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "decimal.hpp"
#include "handle_backend.hpp"
#include "operation_requests.hpp"
#include "printable_text.hpp"
#include "receipt_request.hpp"
#include "receipt_total.hpp"
#include "sale_check.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr const char* kReceipt = R"({
  "id": "till1-0001",
  "items": [{"name": "Chleb razowy", "quantity": "1.5", "unit": "kg", "price": "4.99", "rate": "A"},
            {"name": "Masło extra", "quantity": "2", "price": "7.00", "rate": "B"}],
  "discount_percent": 10,
  "payments": [{"name": "Karta", "amount": "20.00"}],
  "lines": [{"code": 0, "text": "Dziękujemy"}]})";

// The refusal of `parsed`, or a field "(accepted)" when there is none.
template <class Parsed>
RequestError Refusal(const Parsed& parsed) {
  const auto* error = std::get_if<RequestError>(&parsed);
  return error ? *error : RequestError{0, "(accepted)", ""};
}

ReceiptRequest Parsed(const std::string& body) {
  const auto parsed = ParseReceiptRequest(body);
  EXPECT_EQ(Refusal(parsed).field, "(accepted)") << Refusal(parsed).detail;
  const auto* request = std::get_if<ReceiptRequest>(&parsed);
  return request ? *request : ReceiptRequest{};
}

// The example receipt with the member at `pointer` set to raw JSON (or removed when empty).
std::string With(const std::string& pointer, const std::string& value) {
  json body = json::parse(kReceipt);
  const json::json_pointer at(pointer);
  if (value.empty())
    body[at.parent_pointer()].erase(at.back());
  else
    body[at] = json::parse(value);
  return body.dump();
}

TEST(Decimal, ReadsPlainDigitsAndFormatsKeepingTheirPlaces) {
  EXPECT_EQ(ParseDecimal("1.500", 4), (Decimal{1500, 3}));
  EXPECT_EQ(ParseDecimal("2", 4), (Decimal{2, 0}));
  EXPECT_EQ(ParseDecimal("0.0001", 4), (Decimal{1, 4}));
  EXPECT_EQ(ParseDecimal("007.5", 4), (Decimal{75, 1}));
  EXPECT_EQ(ParseDecimal("999999999999999", 0), (Decimal{999999999999999, 0}));
  for (const char* text : {"", ".5", "5.", "-1", "+1", "1e3", "1,5", " 1", "1 ", "1.2.3", "0x10",
                           "1.23456", "1234567890123456", "١"})
    EXPECT_FALSE(ParseDecimal(text, 4)) << text;
  for (const char* text : {"4.999", "4,99"}) EXPECT_FALSE(ParseMoney(text)) << text;  // grosz
  for (const auto& [text, grosz] : {std::pair{"4.99", 499}, {"4.9", 490}, {"5", 500}, {"0.01", 1}})
    EXPECT_EQ(ParseMoney(text), grosz) << text;
  for (const auto& [grosz, text] : {std::pair<int64_t, const char*>{499, "4.99"},
                                    {5, "0.05"},
                                    {12, "0.12"},
                                    {0, "0.00"},
                                    {-120, "-1.20"}})
    EXPECT_EQ(FormatMoney(grosz), text);
  EXPECT_EQ(FormatDecimal({1500, 3}) + " " + FormatDecimal({7, 0}) + " " + FormatDecimal({5, 1}),
            "1.500 7 0.5");
  EXPECT_EQ(FormatDecimal({INT64_MIN, 0}), "-9223372036854775808");
}

TEST(HandleDriver, NamesEachCodeAsTheHeaderDoesWithBothMessages) {
  const auto driver = MakeHandleDriver();
  const CodeDescription paper = driver->Describe(109);
  EXPECT_EQ(paper.name, "TAURAVAT_E_PAPER_OUT");
  EXPECT_EQ(paper.messagePl, "Brak papieru lub podniesiona głowica mechanizmu drukującego.");
  EXPECT_TRUE(paper.messageEn != "" && paper.messageEn != paper.messagePl) << paper.messageEn;
  EXPECT_EQ(driver->Describe(0).name, "TAURAVAT_OK");
  EXPECT_EQ(driver->Describe(999).name, "TAURAVAT_E_INTERNAL");
  EXPECT_EQ(driver->Describe(2).name, "OS_ERROR");  // the system's, from opening a port
  // The port codes are the driver's own, each with its texts, never an unknown one.
  const CodeDescription unknown = driver->Describe(2);
  for (const auto& [code, name] : {std::pair{90, "TAURAVAT_E_PORT_NOT_FOUND"},
                                   {91, "TAURAVAT_E_PORT_PERMISSION"},
                                   {92, "TAURAVAT_E_PORT_BUSY"},
                                   {93, "TAURAVAT_E_NOT_A_SERIAL_PORT"},
                                   {94, "TAURAVAT_E_PORT_VANISHED"},
                                   {95, "TAURAVAT_E_PORT_FAILED"}}) {
    const CodeDescription port = driver->Describe(code);
    EXPECT_EQ(port.name, name);
    EXPECT_TRUE(port.messagePl != unknown.messagePl && port.messageEn != unknown.messageEn)
        << code << ": " << port.messageEn;
  }
}

TEST(ReceiptRequest, ReadsTheExampleExactly) {
  const ReceiptRequest request = Parsed(kReceipt);
  ASSERT_EQ(request.items.size(), 2u);
  const SaleLine& bread = request.items[0];
  EXPECT_EQ(request.id + "|" + bread.name + "|" + bread.unit, "till1-0001|Chleb razowy|kg");
  EXPECT_EQ(bread.quantity, (Decimal{15, 1}));
  // 1.5 x 4.99 = 7.485 rounds up.
  EXPECT_EQ(std::tuple(bread.price, bread.rate, bread.value, request.items[1].value),
            std::tuple(499, 1, 749, 1400));
  EXPECT_EQ(
      std::tuple(request.discountPercent, request.payments.at(0).amount, request.retryUnknown),
      std::tuple(10, 2000, false));
  EXPECT_EQ(request.lines.at(0).text, "Dziękujemy");
  // 10 % off per rate: 7.49 -> 6.741 (6.74), 14.00 -> 12.60.
  EXPECT_EQ(ReceiptTotal(request), 674 + 1260);
  // A discount of an exact half grosz rounds down: 10.05 -> 9.045.
  ReceiptRequest half = Parsed(With("/items", R"([{"name": "Chleb razowy", "quantity": "1",
                                                   "price": "10.05", "rate": "A"}])"));
  EXPECT_EQ(ReceiptTotal(half), 904);
  half.discountPercent = 0;
  EXPECT_EQ(ReceiptTotal(half), 1005);
}

// The body's form: what is not a receipt at all, before any printer is asked.
TEST(ReceiptRequest, NamesTheFieldOfEachFaultOfForm) {
  const std::tuple<std::string, std::string, int32_t> cases[] = {
      {With("/items/0/price", R"("4.999")"), "items[0].price", 208},
      {With("/items/0/price", "4.99"), "items[0].price", 0},  // a number, not a decimal string
      {With("/items/0/quantity", R"("-1")"), "items[0].quantity", 205},
      {With("/items/0/rate", R"("H")"), "items[0].rate", 203},
      {With("/items/0/rate", "1"), "items[0].rate", 0},
      {With("/items/0/message", R"("1")"), "items[0].message", 0},
      {With("/items/0/name", ""), "items[0].name", 0},
      {With("/items/0/colour", R"("red")"), "items[0].colour", 0},
      {With("/discount_percent", "1.5"), "discount_percent", 0},
      {With("/retry_unknown", R"("yes")"), "retry_unknown", 0},
      {With("/lines/0/code", ""), "lines[0].code", 0},
      {With("/id", R"("a/b")"), "id", 0},
      {With("/id", ""), "id", 0},
      {With("/items", "[]"), "items", 0},
      {With("/items", "{}"), "items", 0},
      {With("/extra", "1"), "extra", 0},
      {R"({"id": "r1", "id": "r2", "items": []})", "id", 0},
      {R"({"id": "r1", "items": [{"name": "a", "name": "b"}]})", "items[0].name", 0},
      {R"({"id": "r1", "items": [[[[[[[[[1]]]]]]]]]})", "items[0][0][0][0][0][0]", 0},
  };
  const auto expect = [](const std::string& body, const std::string& field, int32_t code) {
    const RequestError error = Refusal(ParseReceiptRequest(body));
    EXPECT_EQ(error.field, field) << body;
    EXPECT_EQ(error.code, code) << body;
    EXPECT_FALSE(error.detail.empty()) << body;
  };
  for (const auto& [body, field, code] : cases) expect(body, field, code);
  // Refusals of the body as a whole.
  for (const char* body : {"", "{", "[]", "null", "{\"id\": \"r1\xff\", \"items\": []}"})
    expect(body, "", 0);
  // A NUL ends the driver's C string: refused here as the control character it is.
  const RequestError nul =
      Refusal(ParseReceiptRequest(With("/lines/0/text", R"("Dzięki\u0000!")")));
  EXPECT_EQ(std::tuple(nul.field, nul.code, nul.offset.value_or(99), nul.codePoint.value_or(U'?')),
            std::tuple(std::string("lines[0].text"), 215, size_t{6}, U'\0'));
}

// The luno with rate C reserved; the oldest model, with 4 rates, 6-digit quantities, 10
// significant characters and no payment forms.
const PrinterFacts kLuno{{7, 1, "LUNO"},
                         {7,
                          {2300, 800, TAURAVAT_RATE_RESERVED, 0, TAURAVAT_RATE_EXEMPT,
                           TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED}}};
const PrinterFacts kTaura{{0, 1, "TAURA"},
                          {4,
                           {2200, 700, 0, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED,
                            TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED}}};

// "field code", or "(accepted)".
std::string Checked(const std::string& body, const PrinterFacts* printer) {
  const auto error = CheckSale(Parsed(body), printer);
  return error ? error->field + " " + std::to_string(error->code) : "(accepted)";
}

// The driver's rules, with the fields named as the request names them.
TEST(SaleCheck, NamesTheRequestsFieldAndTheDriversCode) {
  const std::tuple<std::string, std::string> cases[] = {
      {With("/items/0/price", R"("0")"), "items[0].price 208"},
      {With("/items/0/price", R"("10000000.00")"), "items[0].price 208"},
      {With("/items/0/quantity", R"("1.23456")"), "items[0].quantity 206"},
      {With("/items/0/quantity", R"("0")"), "items[0].quantity 205"},
      {With("/items/0/quantity", R"("10000000")"), "items[0].quantity 205"},
      {With("/items/0/message", "8"), "items[0].message 204"},
      {With("/items/0/message", "4294967296"), "items[0].message 204"},
      {With("/items/0/unit", R"("sztuk")"), "items[0].unit 207"},
      {With("/items/0/name", R"("")"), "items[0].name 202"},
      {With("/items/0/price", R"("9999999.99")"), "items[0] 227"},  // x 1.5: above the most
      {With("/discount_percent", "100"), "discount_percent 215"},
      {With("/payments/0/name", R"("Bon towarowy 50")"), "payments[0].name 215"},  // 13 fit
      {With("/payments/0/amount", R"("10000000.00")"), "payments[0].amount 215"},
      {With("/lines/0/code", "16"), "lines[0].code 215"},
      {With("/lines/0/text", json(std::string(254, 'x')).dump()), "lines[0].text 215"},
      {With("/lines", json(7, {{"code", 0}, {"text", "x"}}).dump()), "lines 216"},
  };
  EXPECT_EQ(Checked(kReceipt, &kLuno), "(accepted)");
  EXPECT_EQ(Checked(kReceipt, nullptr), "(accepted)");
  for (const auto& [body, refusal] : cases) {
    EXPECT_EQ(Checked(body, &kLuno), refusal) << body;
    EXPECT_EQ(Checked(body, nullptr), refusal) << body;  // no model takes it
  }
  // The longest extra line fits.
  EXPECT_EQ(Checked(With("/lines/0/text", json(std::string(253, 'x')).dump()), &kLuno),
            "(accepted)");
}

TEST(SaleCheck, RefusesWhatThisPrinterWouldRefuseMidReceipt) {
  EXPECT_EQ(Checked(With("/items/0/rate", R"("C")"), &kLuno), "items[0].rate 226");
  EXPECT_EQ(Checked(With("/items/0/rate", R"("C")"), nullptr), "(accepted)");  // rates unknown
  EXPECT_EQ(Checked(With("/items/0/rate", R"("D")"), &kTaura), "items[0].rate 226");
  EXPECT_EQ(Checked(With("/items/0/rate", R"("F")"), &kTaura), "items[0].rate 203");
  json body = json::parse(kReceipt);
  body.erase("payments");
  body["items"][0]["quantity"] = "1000000";
  body["items"][0]["price"] = "0.01";
  EXPECT_EQ(Checked(body.dump(), &kTaura), "items[0].quantity 205");
  body["items"][0]["quantity"] = "999999";
  EXPECT_EQ(Checked(body.dump(), &kTaura), "(accepted)");
  body["items"][0]["name"] = "Bułka  .";  // 6 significant: enough for LUNO only
  EXPECT_EQ(Checked(body.dump(), &kTaura), "items[0].name 202");
  EXPECT_EQ(Checked(body.dump(), &kLuno), "(accepted)");
  EXPECT_EQ(Checked(kReceipt, &kTaura), "payments 213");
}

TEST(ReceiptRequest, TheCanonicalFormIgnoresSpacingOrderAndRetryPermission) {
  const ReceiptRequest request = Parsed(kReceipt);
  json reordered = json::parse(kReceipt);
  reordered["retry_unknown"] = true;
  const ReceiptRequest same = Parsed(reordered.dump(4));
  EXPECT_TRUE(same.retryUnknown);
  EXPECT_EQ(CanonicalJson(request), CanonicalJson(same));
  // ... and reads back as the same receipt.
  EXPECT_EQ(CanonicalJson(FromCanonicalJson(CanonicalJson(request))), CanonicalJson(request));
  // 1.50 prints as 1.50, not 1.5.
  EXPECT_NE(CanonicalJson(Parsed(With("/items/0/quantity", R"("1.50")"))), CanonicalJson(request));
}

// The driver's check, before the printer: a character code page 852 lacks (even where code
// page 1250 has it: ™) or a control character, with its place in characters.
TEST(SaleCheck, ACharacterThePrinterCannotPrintIsNamedWithItsPlaceInAnyText) {
  const std::tuple<std::string, std::string, size_t, std::string> cases[] = {
      {With("/items/0/name", R"("Kawa latte 5€ duża")"), "items[0].name", 12, "U+20AC"},
      {With("/items/0/name", R"("Jalapeño grillowane")"), "items[0].name", 6, "U+00F1"},
      {With("/items/0/unit", R"("m²")"), "items[0].unit", 1, "U+00B2"},
      {With("/payments/0/name", R"("Karta™")"), "payments[0].name", 5, "U+2122"},
      {With("/lines/0/text", R"("Tab\tdalej")"), "lines[0].text", 3, "U+0009"},
  };
  for (const auto& [body, field, offset, codePoint] : cases) {
    const auto error = CheckSale(Parsed(body), &kLuno);
    ASSERT_TRUE(error) << body;
    EXPECT_EQ(std::tuple(error->field, error->code, error->offset.value_or(99),
                         CodePointName(error->codePoint.value_or(U'?'))),
              std::tuple(field, 215, offset, codePoint))
        << body;
  }
  // Typographic forms the driver prints plain pass.
  EXPECT_EQ(Checked(With("/items/0/name", R"("Herbata „Earl Grey” – 100 g…")"), &kLuno),
            "(accepted)");
  EXPECT_EQ(CharacterCount("Zażółć"), 6u);
}

TEST(OperationRequests, RatesAreGivenFromAWithoutGapsAndForcedOnlyWhenAsked) {
  const auto rates = ParseRatesWrite(
      R"({"confirm": true, "rates": {"A": "23", "B": "8.50", "C": "reserved", "D": "exempt"}})");
  ASSERT_TRUE(std::holds_alternative<RatesWrite>(rates));
  const RatesWrite write = std::get<RatesWrite>(rates);
  EXPECT_EQ(write.rates,
            (RateTable{4,
                       {2300, 850, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_EXEMPT,
                        TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED}}));
  EXPECT_FALSE(write.force);
  const auto forced = ParseRatesWrite(R"({"confirm": true, "force": true, "rates": {"A": "23"}})");
  ASSERT_TRUE(std::holds_alternative<RatesWrite>(forced));
  EXPECT_TRUE(std::get<RatesWrite>(forced).force);
  EXPECT_EQ(std::get<RatesWrite>(forced).rates.count, 1);
  for (const auto& [body, field] : std::initializer_list<std::pair<const char*, const char*>>{
           {R"({"rates": {"A": "23"}})", "confirm"},
           {R"({"confirm": false, "rates": {"A": "23"}})", "confirm"},
           {R"({"confirm": true, "force": "yes", "rates": {"A": "23"}})", "force"},
           {R"({"confirm": true, "rates": {"A": "23", "C": "5"}})", "rates.C"},
           {R"({"confirm": true, "rates": {"A": "100"}})", "rates.A"},
           {R"({"confirm": true, "rates": {"A": 23}})", "rates.A"},
           {R"({"confirm": true, "rates": {}})", "rates"}}) {
    EXPECT_EQ(Refusal(ParseRatesWrite(body)).field, field) << body;
  }
}

TEST(OperationRequests, ReportsAndDrawer) {
  const auto period =
      ParseReport("period", R"({"kind": "detailed", "from": "2024-02-01", "to": "2024-02-29"})");
  ASSERT_TRUE(std::holds_alternative<ReportRequest>(period));
  EXPECT_EQ(std::get<ReportRequest>(period).kind, ReportKind::kDetailed);
  EXPECT_EQ(std::get<ReportRequest>(period).to.day, 29);
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"period", R"({"kind": "short", "from": "2023-02-29", "to": "2023-03-01"})", "from"},
      {"period", R"({"kind": "short", "from": "2024-03-02", "to": "2024-03-01"})", "to"},
      {"period", R"({"kind": "long", "from": "2024-03-01", "to": "2024-03-01"})", "kind"},
      {"monthly", R"({"kind": "short", "month": "2024-13"})", "month"},
      {"numbers", R"({"kind": "short", "from": 40, "to": 12})", "to"},
      {"daily", "", "(accepted)"},
      {"daily", R"({"force": 1})", "force"},
  };
  for (const auto& [type, body, field] : cases)
    EXPECT_EQ(Refusal(ParseReport(type, body)).field, field);
  EXPECT_EQ(std::get<int32_t>(ParseDrawer(R"({"drawer": 2})")), 2);
  EXPECT_EQ(Refusal(ParseDrawer(R"({"drawer": 4})")).code, 212);
}

}  // namespace
}  // namespace tauravatd
