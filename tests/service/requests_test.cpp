// Request bodies: what is accepted, and for each refusal the field named and the code.
#include <iconv.h>

#include <gtest/gtest.h>

#include <string>

#include <nlohmann/json.hpp>

#include "operation_requests.hpp"
#include "printable_text.hpp"
#include "printer_rules.hpp"
#include "receipt_request.hpp"
#include "receipt_total.hpp"

namespace tauravatd {
namespace {

constexpr const char* kReceipt = R"({
  "id": "till1-0001",
  "items": [{"name": "Chleb razowy", "quantity": "1.5", "unit": "kg", "price": "4.99", "rate": "A"},
            {"name": "Masło extra", "quantity": "2", "price": "7.00", "rate": "B"}],
  "discount_percent": 10,
  "payments": [{"name": "Karta", "amount": "20.00"}],
  "lines": [{"code": 0, "text": "Dziękujemy"}]})";

ReceiptRequest Parsed(const std::string& body) {
  auto parsed = ParseReceiptRequest(body);
  if (auto* error = std::get_if<RequestError>(&parsed)) {
    ADD_FAILURE() << error->field << ": " << error->detail;
    return {};
  }
  return std::get<ReceiptRequest>(parsed);
}

RequestError Refused(const std::string& body) {
  auto parsed = ParseReceiptRequest(body);
  if (!std::holds_alternative<RequestError>(parsed)) {
    ADD_FAILURE() << "accepted: " << body;
    return {};
  }
  return std::get<RequestError>(parsed);
}

// The example receipt with one item's field replaced by raw JSON (or dropped when empty).
std::string WithItemField(const std::string& field, const std::string& value) {
  nlohmann::json body = nlohmann::json::parse(kReceipt);
  if (value.empty()) {
    body["items"][0].erase(field);
  } else {
    body["items"][0][field] = nlohmann::json::parse(value);
  }
  return body.dump();
}

TEST(ReceiptRequest, ReadsTheExampleExactly) {
  const ReceiptRequest request = Parsed(kReceipt);
  EXPECT_EQ(request.id, "till1-0001");
  ASSERT_EQ(request.items.size(), 2u);
  EXPECT_EQ(request.items[0].name, "Chleb razowy");
  EXPECT_EQ(request.items[0].quantity, (Decimal{15, 1}));
  EXPECT_EQ(request.items[0].unit, "kg");
  EXPECT_EQ(request.items[0].price, 499);
  EXPECT_EQ(request.items[0].rate, 1);
  EXPECT_EQ(request.items[0].value, 749);  // 7.485 rounds up
  EXPECT_EQ(request.items[1].value, 1400);
  EXPECT_EQ(request.discountPercent, 10);
  ASSERT_EQ(request.payments.size(), 1u);
  EXPECT_EQ(request.payments[0].amount, 2000);
  EXPECT_EQ(request.lines.at(0).text, "Dziękujemy");
  EXPECT_FALSE(request.retryUnknown);
  // 10 % off per rate: 7.49 -> 6.741 (6.74), 14.00 -> 12.60.
  EXPECT_EQ(ReceiptTotal(request), 674 + 1260);
}

TEST(ReceiptRequest, DiscountRoundsAnExactHalfGroszDown) {
  ReceiptRequest request = Parsed(
      R"({"id": "r", "items": [{"name": "Chleb razowy", "quantity": "1", "price": "10.05", "rate": "A"}],
          "discount_percent": 10})");
  EXPECT_EQ(ReceiptTotal(request), 904);  // 904.5
  request.discountPercent = 0;
  EXPECT_EQ(ReceiptTotal(request), 1005);
}

TEST(ReceiptRequest, NamesTheFieldAndTheDriverCodeOfEachFault) {
  struct Case {
    std::string body;
    std::string field;
    int32_t code;
  };
  const Case cases[] = {
      {WithItemField("price", R"("4.999")"), "items[0].price", 208},
      {WithItemField("price", "4.99"), "items[0].price", 0},  // a number, not a decimal string
      {WithItemField("price", R"("0")"), "items[0].price", 208},
      {WithItemField("price", R"("10000000.00")"), "items[0].price", 208},
      {WithItemField("quantity", R"("1.23456")"), "items[0].quantity", 206},
      {WithItemField("quantity", R"("0")"), "items[0].quantity", 205},
      {WithItemField("quantity", R"("10000000")"), "items[0].quantity", 205},
      {WithItemField("quantity", R"("-1")"), "items[0].quantity", 205},
      {WithItemField("rate", R"("H")"), "items[0].rate", 203},
      {WithItemField("rate", "1"), "items[0].rate", 0},
      {WithItemField("unit", R"("sztuk")"), "items[0].unit", 207},
      {WithItemField("name", R"("")"), "items[0].name", 202},
      {WithItemField("name", R"("Bitcoin ₿ token")"), "items[0].name", 202},
      {WithItemField("name", R"("Chleb\nrazowy")"), "items[0].name", 202},
      {WithItemField("name", ""), "items[0].name", 0},
      {WithItemField("colour", R"("red")"), "items[0].colour", 0},
      {R"({"id": "r", "items": [{"name": "Chleb razowy", "quantity": "101", "price": "9999999.99", "rate": "A"}]})",
       "items[0]", 227},  // a line above 9999999.99
  };
  for (const Case& c : cases) {
    const RequestError error = Refused(c.body);
    EXPECT_EQ(error.field, c.field) << c.body;
    EXPECT_EQ(error.code, c.code) << c.body;
    EXPECT_FALSE(error.detail.empty());
  }
}

TEST(ReceiptRequest, RefusesWhatTheWholeBodyGetsWrong) {
  struct Case {
    std::string body;
    std::string field;
  };
  const Case cases[] = {
      {"", ""},
      {"{", ""},
      {"[]", ""},
      {"null", ""},
      {R"({"items": []})", "id"},
      {R"({"id": "a/b", "items": []})", "id"},
      {R"({"id": "r1", "items": []})", "items"},
      {R"({"id": "r1", "items": {}})", "items"},
      {R"({"id": "r1", "id": "r2", "items": []})", "id"},
      {R"({"id": "r1", "items": [{"name": "a", "name": "b"}]})", "items[0].name"},
      {R"({"id": "r1", "items": [], "extra": 1})", "extra"},
      {R"({"id": "r1", "items": [[[[[[[[[1]]]]]]]]]})", "items[0][0][0][0][0][0]"},
      {R"({"id": "r1", "discount_percent": 100, "items": [{"name": "Chleb razowy", "quantity": "1", "price": "1", "rate": "A"}]})",
       "discount_percent"},
      {R"({"id": "r1", "discount_percent": 1.5, "items": [{"name": "Chleb razowy", "quantity": "1", "price": "1", "rate": "A"}]})",
       "discount_percent"},
      {R"({"id": "r1", "retry_unknown": "yes", "items": [{"name": "Chleb razowy", "quantity": "1", "price": "1", "rate": "A"}]})",
       "retry_unknown"},
      {"{\"id\": \"r1\xff\", \"items\": []}", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Refused(c.body).field, c.field) << c.body;
}

TEST(ReceiptRequest, BoundsThePaymentsAndExtraLines) {
  nlohmann::json body = nlohmann::json::parse(kReceipt);
  body["payments"][0]["name"] = "Bon towarowy 50";  // 15 characters; the printer keeps 13
  EXPECT_EQ(Refused(body.dump()).field, "payments[0].name");
  body = nlohmann::json::parse(kReceipt);
  body["lines"][0]["code"] = 16;
  EXPECT_EQ(Refused(body.dump()).field, "lines[0].code");
  body = nlohmann::json::parse(kReceipt);
  body["lines"][0]["text"] = std::string(254, 'x');
  EXPECT_EQ(Refused(body.dump()).field, "lines[0].text");
  body["lines"][0]["text"] = std::string(253, 'x');
  EXPECT_EQ(Parsed(body.dump()).lines[0].text.size(), 253u);
  body["lines"] = nlohmann::json::array();
  for (int i = 0; i < 7; ++i) body["lines"].push_back({{"code", 0}, {"text", "x"}});
  EXPECT_EQ(Refused(body.dump()).field, "lines");
}

TEST(ReceiptRequest, TheCanonicalFormIgnoresSpacingOrderAndRetryPermission) {
  const ReceiptRequest request = Parsed(kReceipt);
  nlohmann::json reordered = nlohmann::json::parse(kReceipt);
  reordered["retry_unknown"] = true;
  const ReceiptRequest same = Parsed(reordered.dump(4));
  EXPECT_TRUE(same.retryUnknown);
  EXPECT_EQ(CanonicalJson(request), CanonicalJson(same));
  // ... and reads back as the same receipt.
  EXPECT_EQ(CanonicalJson(FromCanonicalJson(CanonicalJson(request))), CanonicalJson(request));

  nlohmann::json changed = nlohmann::json::parse(kReceipt);
  changed["items"][0]["quantity"] = "1.50";  // prints as 1.50, not 1.5
  EXPECT_NE(CanonicalJson(Parsed(changed.dump())), CanonicalJson(request));
}

TEST(PrintableText, AcceptsCodePage1250AsTheStandardDefinesIt) {
  // Every character of the code page's upper half, through the C library's own table.
  iconv_t toUtf8 = iconv_open("UTF-8", "CP1250");
  ASSERT_NE(toUtf8, reinterpret_cast<iconv_t>(-1));
  for (int byte = 0x80; byte <= 0xFF; ++byte) {
    char in[1] = {static_cast<char>(byte)};
    char out[8] = {};
    char* inPtr = in;
    char* outPtr = out;
    size_t inLeft = 1;
    size_t outLeft = sizeof out;
    iconv(toUtf8, nullptr, nullptr, nullptr, nullptr);
    if (iconv(toUtf8, &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1)) continue;
    const std::string utf8(out, outPtr);
    EXPECT_FALSE(UnprintableReason(utf8)) << std::hex << byte;
  }
  iconv_close(toUtf8);
}

TEST(PrintableText, RefusesWhatThePrinterCannotPrint) {
  EXPECT_FALSE(UnprintableReason("Zażółć gęślą jaźń"));
  EXPECT_TRUE(UnprintableReason("Ÿ"));  // in code page 1252, not 1250
  EXPECT_TRUE(UnprintableReason("日本"));
  EXPECT_TRUE(UnprintableReason("tab\there"));
  EXPECT_TRUE(UnprintableReason("\xc0\x80"));      // an overlong NUL
  EXPECT_TRUE(UnprintableReason("\xed\xa0\x80"));  // a surrogate
  EXPECT_TRUE(UnprintableReason("\xe2\x82"));      // cut short
  EXPECT_EQ(CharacterCount("Zażółć"), 6u);
}

TEST(PrinterRules, RefuseWhatThisPrinterWouldRefuseMidReceipt) {
  PrinterFacts luno{{7, 1, "LUNO"}, {7, {2300, 800, kReservedRate, 0, kExemptRate, 0, 0}}};
  const auto check = [&](const std::string& body, const PrinterFacts& printer) {
    return CheckAgainstPrinter(Parsed(body), printer);
  };
  EXPECT_FALSE(check(kReceipt, luno));
  const auto reserved = check(WithItemField("rate", R"("C")"), luno);
  ASSERT_TRUE(reserved);
  EXPECT_EQ(reserved->field, "items[0].rate");
  EXPECT_EQ(reserved->code, 226);

  // A 4-rate model holds no rate E, takes 6-digit quantities, 10 significant characters
  // and no payment forms.
  PrinterFacts taura{{0, 1, "TAURA"}, {4, {2200, 700, 0, kReservedRate, 0, 0, 0}}};
  EXPECT_EQ(check(WithItemField("rate", R"("E")"), taura)->code, 226);
  nlohmann::json body = nlohmann::json::parse(kReceipt);
  body.erase("payments");
  body["items"][0]["quantity"] = "1000000";
  body["items"][0]["price"] = "0.01";
  EXPECT_EQ(check(body.dump(), taura)->field, "items[0].quantity");
  body["items"][0]["quantity"] = "999999";
  EXPECT_FALSE(check(body.dump(), taura));
  body["items"][0]["name"] = "Bułka  .";  // 6 significant: enough for LUNO only
  EXPECT_EQ(check(body.dump(), taura)->code, 202);
  EXPECT_FALSE(check(body.dump(), luno));
  EXPECT_EQ(check(kReceipt, taura)->field, "payments");
}

TEST(OperationRequests, RatesAreGivenFromAWithoutGaps) {
  auto rates = ParseRatesWrite(
      R"({"confirm": true, "rates": {"A": "23", "B": "8.50", "C": "reserved", "D": "exempt"}})");
  ASSERT_TRUE(std::holds_alternative<RateTable>(rates));
  const RateTable table = std::get<RateTable>(rates);
  EXPECT_EQ(table.count, 4);
  EXPECT_EQ(table.values[0], 2300u);
  EXPECT_EQ(table.values[1], 850u);
  EXPECT_EQ(table.values[2], kReservedRate);
  EXPECT_EQ(table.values[3], kExemptRate);

  const auto field = [](const std::string& body) {
    auto parsed = ParseRatesWrite(body);
    return std::holds_alternative<RequestError>(parsed) ? std::get<RequestError>(parsed).field
                                                        : std::string("(accepted)");
  };
  EXPECT_EQ(field(R"({"rates": {"A": "23"}})"), "confirm");
  EXPECT_EQ(field(R"({"confirm": false, "rates": {"A": "23"}})"), "confirm");
  EXPECT_EQ(field(R"({"confirm": true, "rates": {"A": "23", "C": "5"}})"), "rates.C");
  EXPECT_EQ(field(R"({"confirm": true, "rates": {"A": "100"}})"), "rates.A");
  EXPECT_EQ(field(R"({"confirm": true, "rates": {"A": 23}})"), "rates.A");
  EXPECT_EQ(field(R"({"confirm": true, "rates": {}})"), "rates");

  // Fitted to the printer: its number of rates; whole percents and no exempt on 4 rates.
  RateTable four{4, {2200, 700, 0, kReservedRate, 0, 0, 0}};
  EXPECT_TRUE(std::holds_alternative<RequestError>(FitRatesTo(table, RateTable{7, {}})));
  EXPECT_EQ(std::get<RequestError>(FitRatesTo(table, four)).field, "rates.B");
  RateTable whole = table;
  whole.values[1] = 800;
  EXPECT_EQ(std::get<RequestError>(FitRatesTo(whole, four)).field, "rates.D");
  whole.values[3] = 0;
  EXPECT_TRUE(std::holds_alternative<RateTable>(FitRatesTo(whole, four)));
}

TEST(OperationRequests, ReportsAndDrawer) {
  auto period =
      ParseReport("period", R"({"kind": "detailed", "from": "2024-02-01", "to": "2024-02-29"})");
  ASSERT_TRUE(std::holds_alternative<ReportRequest>(period));
  EXPECT_EQ(std::get<ReportRequest>(period).kind, ReportKind::kDetailed);
  EXPECT_EQ(std::get<ReportRequest>(period).to.day, 29);

  const auto field = [](std::string_view type, std::string_view body) {
    auto parsed = ParseReport(type, body);
    return std::holds_alternative<RequestError>(parsed) ? std::get<RequestError>(parsed).field
                                                        : std::string("(accepted)");
  };
  EXPECT_EQ(field("period", R"({"kind": "short", "from": "2023-02-29", "to": "2023-03-01"})"),
            "from");
  EXPECT_EQ(field("period", R"({"kind": "short", "from": "2024-03-02", "to": "2024-03-01"})"),
            "to");
  EXPECT_EQ(field("period", R"({"kind": "long", "from": "2024-03-01", "to": "2024-03-01"})"),
            "kind");
  EXPECT_EQ(field("monthly", R"({"kind": "short", "month": "2024-13"})"), "month");
  EXPECT_EQ(field("numbers", R"({"kind": "short", "from": 40, "to": 12})"), "to");
  EXPECT_EQ(field("daily", ""), "(accepted)");
  EXPECT_EQ(field("daily", R"({"force": 1})"), "force");

  EXPECT_EQ(std::get<int32_t>(ParseDrawer(R"({"drawer": 2})")), 2);
  EXPECT_EQ(std::get<RequestError>(ParseDrawer(R"({"drawer": 4})")).code, 212);
}

}  // namespace
}  // namespace tauravatd
