// What the HTTP layer answers before, around and instead of the routes, against the whole
// service on an emulated printer: text the printer cannot print, bodies of any content
// type and size, malformed UTF-8, the token's scheme, missing lengths, wrong methods and
// when to come back.
#include "http_server.hpp"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include <nlohmann/json.hpp>

#include "emulated_service.hpp"
#include "raw_http.hpp"

namespace tauravatd::testing {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

constexpr const char* kReceipts = "/v1/printers/till1/receipts";

// A receipt of one item; `extra` adds members. Written out, so that a name may hold any bytes.
std::string Receipt(const std::string& id, const std::string& name = "Chleb razowy",
                    const std::string& extra = "") {
  return R"({"id": ")" + id + R"(", "items": [{"name": ")" + name +
         R"(", "quantity": "1", "price": "4.99", "rate": "A"}])" + extra + "}";
}

RawReply PostJson(EmulatedService& service, const std::string& body,
                  const std::string& type = "application/json") {
  return Exchange(service.Port(), WithBody("POST", kReceipts, type, body));
}

size_t PaperLines(EmulatedService& service) {
  return service.OnPrinter(
      [](kestra::emu::Printer& printer) { return printer.Paper().PrintedLines(); });
}

// The error's members at the given JSON pointers.
void ExpectError(const RawReply& reply, int status, const json& members) {
  EXPECT_EQ(reply.status, status) << reply.body;
  for (const auto& [pointer, value] : members.items())
    EXPECT_EQ(reply.json.value(json::json_pointer("/error/" + pointer), json()), value)
        << pointer << " " << reply.body;
}

TEST(HttpOnEmulator, TextThePrinterCannotPrintIsRefusedBeforeThePaperIsTouched) {
  EmulatedService service(Luno());
  service.Start();
  const size_t before = PaperLines(service);
  const std::tuple<std::string, std::string, int, std::string> cases[] = {
      {Receipt("e1", "Kawa latte 5€ duża"), "items[0].name", 12, "U+20AC"},
      {Receipt("e2", "Jalapeño grillowane"), "items[0].name", 6, "U+00F1"},
      {Receipt("e3", "Chleb razowy", R"(, "payments": [{"name": "Karta™", "amount": "5"}])"),
       "payments[0].name", 5, "U+2122"},
  };
  for (const auto& [body, field, offset, codePoint] : cases) {
    ExpectError(PostJson(service, body), 400,
                {{"code", 215}, {"field", field}, {"offset", offset}, {"code_point", codePoint}});
  }
  EXPECT_EQ(PaperLines(service), before) << "nothing reaches the paper";
  EXPECT_EQ(Exchange(service.Port(), Request("GET", "/v1/printers/till1/receipts/e1")).status, 404);
  // The same printer prints what it can.
  EXPECT_EQ(PostJson(service, Receipt("e4", "Kawa latte 5 zł duża")).status, 201);
  EXPECT_GT(PaperLines(service), before);
}

// curl -d sends application/x-www-form-urlencoded; a form's own limit (8 KiB) is not ours.
TEST(HttpOnEmulator, AJsonBodyIsReadWhateverItsContentTypeUpToTheConfiguredLimit) {
  EmulatedService service(Luno());
  service.Config().bodyLimit = 20'000;
  service.Start();
  const std::string padding(12'000, ' ');
  int n = 0;
  for (const char* type : {"application/x-www-form-urlencoded", "text/plain", "application/json"})
    EXPECT_EQ(PostJson(service, Receipt("c" + std::to_string(++n)) + padding, type).status, 201)
        << type;
  const std::string over(21'000, ' ');
  for (const char* type : {"application/x-www-form-urlencoded", "application/json"}) {
    ExpectError(PostJson(service, Receipt("c-over") + over, type), 413,
                {{"kind", "body_too_large"}, {"detail", "the body is over 20000 bytes"}});
  }
  // Chunked, with no length given beforehand.
  const std::string chunked = Request("POST", kReceipts, "Transfer-Encoding: chunked\r\n") +
                              "5208\r\n" + std::string(0x5208, ' ') + "\r\n0\r\n\r\n";
  ExpectError(Exchange(service.Port(), chunked), 413, {{"kind", "body_too_large"}});
  ExpectError(PostJson(service, "--boundary\r\n", "multipart/form-data; boundary=boundary"), 400,
              {{"kind", "invalid_json"}});
}

TEST(HttpOnEmulator, MalformedUtf8IsInvalidJsonWithADetailThatIsItselfText) {
  EmulatedService service(Luno());
  service.Start();
  for (const std::string bad : {"\xc3\x28", "\xff", "\xed\xa0\x80", "\xe2\x82"}) {
    const RawReply reply = PostJson(service, Receipt("u1", "Chleb " + bad));
    ASSERT_FALSE(reply.json.is_discarded()) << "the answer is valid JSON: " << reply.body;
    ExpectError(reply, 400, {{"kind", "invalid_json"}});
    EXPECT_EQ(reply.json["error"]["detail"].get<std::string>().find("\xef\xbf\xbd"),
              std::string::npos)
        << "shown, not replaced: " << reply.body;
  }
}

TEST(HttpOnEmulator, TheBearerSchemeIsNamedInAnyCase) {
  const std::string token = "0123456789abcdef-secret";
  EmulatedService service(Luno());
  service.Config().token = token;
  service.Start();
  const std::tuple<std::string, int> cases[] = {
      {"Bearer " + token, 200}, {"bearer " + token, 200},       {"BEARER  " + token, 200},
      {"Basic " + token, 401},  {"Bearer " + token + "x", 401}, {"Bearer" + token, 401},
  };
  for (const auto& [authorization, status] : cases) {
    const RawReply reply = Exchange(
        service.Port(), Request("GET", "/v1/health", "Authorization: " + authorization + "\r\n"));
    EXPECT_EQ(reply.status, status) << authorization;
  }
}

// Answered from what the request's head says, before its body would be waited for.
TEST(HttpOnEmulator, AMissingLengthOrAWrongMethodIsAnsweredAtOnce) {
  EmulatedService service(Luno());
  service.Start();
  // cpp-httplib's own wait for a body of unknown length.
  constexpr auto kServerReadTimeout = 5s;
  const RawReply unsized = Exchange(service.Port(), Request("POST", kReceipts));
  ExpectError(unsized, 411, {{"kind", "length_required"}});
  EXPECT_LT(unsized.took, kServerReadTimeout);
  EXPECT_EQ(Exchange(service.Port(), Request("PUT", "/v1/printers/till1/rates")).status, 411);
  const std::tuple<std::string, std::string, std::string> wrong[] = {
      {"DELETE", "/v1/health", "GET"},
      {"GET", "/v1/printers/till1/drawer", "POST"},
      {"DELETE", kReceipts, "GET, POST"},
      {"PATCH", "/v1/printers/till1/rates", "GET, PUT"},
  };
  for (const auto& [method, path, allow] : wrong) {
    const RawReply reply = Exchange(service.Port(), Request(method, path));
    ExpectError(reply, 405, {{"kind", "method_not_allowed"}});
    EXPECT_EQ(reply.headers.count("allow") ? reply.headers.at("allow") : "", allow)
        << method << " " << path;
    EXPECT_LT(reply.took, kServerReadTimeout);
  }
  ExpectError(Exchange(service.Port(), Request("POST", "/v1/nothing")), 404,
              {{"kind", "not_found"}});
}

TEST(HttpOnEmulator, AnAnswerOfServiceUnavailableSaysWhenToComeBack) {
  EmulatedService service(Luno());
  service.Start();
  service.OnPrinter([](kestra::emu::Printer& printer) { printer.SetPaper(false); });
  const RawReply paperOut = PostJson(service, Receipt("p1"));
  ExpectError(paperOut, 503, {{"code", 109}});
  ASSERT_TRUE(paperOut.headers.count("retry-after"));
  EXPECT_GT(std::stoi(paperOut.headers.at("retry-after")), 0);
}

}  // namespace
}  // namespace tauravatd::testing
