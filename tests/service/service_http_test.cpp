// The service over HTTP against fake printers: what the routes and the printers' workers add to
// the parts tested alone (status and JSON, idempotency, order, parallelism, failures, settlement).
#include <httplib.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include <nlohmann/json.hpp>

#include "fake_printer.hpp"
#include "http_server.hpp"
#include "receipt_desk.hpp"
#include "service.hpp"

namespace tauravatd::testing {
namespace {

using nlohmann::json;
using namespace std::chrono_literals;

struct Reply {
  int status = 0;
  json body;
  std::string text;
};

// A receipt body with `items` lines named "Towar <id> <n>", 2.50 each, and `extra` members.
std::string ReceiptBody(const std::string& id, int items = 1, const std::string& extra = "",
                        const std::string& rate = "A") {
  std::string lines;
  for (int i = 0; i < items; ++i)
    lines += std::string(i ? "," : "") + R"({"name": "Towar )" + id + " " + std::to_string(i) +
             R"(", "quantity": "1", "price": "2.50", "rate": ")" + rate + "\"}";
  return R"({"id": ")" + id + R"(", "items": [)" + lines + "]" +
         (extra.empty() ? "" : "," + extra) + "}";
}

// The reply's status and the members at the given JSON pointers of its body.
void Expect(const Reply& reply, int status, const json& members = json::object()) {
  EXPECT_EQ(reply.status, status) << reply.text;
  for (const auto& [pointer, value] : members.items())
    EXPECT_EQ(reply.body.value(json::json_pointer(pointer), json()), value)
        << pointer << " " << reply.text;
}

// Polls a condition the service reaches on its own (a reconnection, a settlement).
template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(10ms))
    if (condition()) return true;
  return false;
}

// Holds one operation of a fake printer until released; a call after the gate is gone passes.
class Gate {
 public:
  Gate(FakePrinter& printer, const std::string& operation) {
    printer.OnCall([state = state_, operation](const std::string& called) {
      if (called != operation) return;
      if (!state->arrived.exchange(true)) state->arrival.set_value();
      state->released.wait();
    });
  }
  ~Gate() { Release(); }
  void AwaitArrival() {
    ASSERT_EQ(state_->arrival.get_future().wait_for(10s), std::future_status::ready);
  }
  void Release() {
    std::call_once(state_->releasing, [&] { state_->release.set_value(); });
  }

 private:
  struct State {
    std::atomic<bool> arrived{false};
    std::promise<void> arrival, release;
    std::shared_future<void> released = release.get_future().share();
    std::once_flag releasing;
  };
  std::shared_ptr<State> state_ = std::make_shared<State>();
};

// The whole service on a free local port against printers till1 and till2 (on /dev/<name>).
class ServiceHttpTest : public ::testing::Test {
 protected:
  ServiceHttpTest() {
    config_.journalPath = directory_.Path("journal.sqlite");
    config_.receiptWait = config_.operationWait = 20s;
    config_.worker.backoff = {5ms, 20ms};
    config_.worker.pollInterval = 50ms;
    for (const std::string name : {"till1", "till2"}) {
      config_.printers.push_back({name, "/dev/" + name, 9600, 1000});
      printers_[name] = driver_.Add("/dev/" + name);
    }
  }
  void SetUp() override { Start(); }
  void TearDown() override {
    if (!http_) return;
    service_->Stop();  // answers what waits, so the server's threads can finish
    http_->Stop();
    serving_.join();
  }
  void Start() {
    service_ = std::make_unique<Service>(config_, driver_);
    desk_ = std::make_unique<ReceiptDesk>(*service_);
    service_->Start();
    HttpOptions options{config_.token, config_.bodyLimit, config_.httpThreads};
    http_ =
        std::make_unique<HttpServer>(MakeRoutes(*service_, *desk_), service_->Answer(), options);
    port_ = http_->Bind("127.0.0.1", 0);
    serving_ = std::thread([this] { http_->Serve(); });
    // cpp-httplib builds its regular expressions (function-local statics) on first use, where
    // ThreadSanitizer cannot see the guard: one request here builds them before client threads.
    Send("/v1/health", "GET", "", config_.token.value_or(""));
  }
  Reply Send(const std::string& path, const std::string& method = "GET",
             const std::string& body = "", const std::string& token = "") {
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(60, 0);
    httplib::Headers headers;
    if (!token.empty()) headers.emplace("Authorization", "Bearer " + token);
    httplib::Result result = method == "GET" ? client.Get(path, headers)
                             : method == "POST"
                                 ? client.Post(path, headers, body, "application/json")
                                 : client.Put(path, headers, body, "application/json");
    if (!result) {
      ADD_FAILURE() << method << " " << path << ": " << httplib::to_string(result.error());
      return {};
    }
    return {result->status, json::parse(result->body, nullptr, false), result->body};
  }
  Reply Post(const std::string& body, const std::string& printer = "till1") {
    return Send("/v1/printers/" + printer + "/receipts", "POST", body);
  }
  json Printers(const std::string& path) { return Send("/v1/printers/" + path).body; }
  FakePrinter& Printer(const std::string& name = "till1") { return *printers_.at(name); }
  size_t Printed(const std::string& name = "till1") { return Printer(name).State().paper.size(); }
  void AwaitConnected() {
    ASSERT_TRUE(Eventually([&] { return Printers("till1")["connection"] == "connected"; }));
  }
  ScratchDirectory directory_{"tauravatd-http"};
  ServiceConfig config_;
  FakeDriver driver_;
  std::map<std::string, std::shared_ptr<FakePrinter>> printers_;
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

// For a test that configures the service or holds a printer before it starts.
class ServiceHttpLateStart : public ServiceHttpTest {
  void SetUp() override {}
};

TEST_F(ServiceHttpTest, AnIdPrintsOnceAndWithAnotherBodyOrPrinterIsAConflict) {
  Expect(Post(ReceiptBody("r1", 2)), 201,
         {{"/state", "printed"}, {"/total", "5.00"}, {"/receipt_number", 1}});
  Expect(Post(ReceiptBody("r1", 2)), 200, {{"/receipt_number", 1}});
  EXPECT_EQ(Printers("till1/receipts/r1")["state"], "printed");
  EXPECT_EQ(Send("/v1/printers/till2/receipts/r1").status, 404);
  Expect(Post(ReceiptBody("r1", 1)), 409, {{"/error/kind", "id_conflict"}, {"/error/field", "id"}});
  EXPECT_EQ(Post(ReceiptBody("r1", 2), "till2").status, 409);
  EXPECT_EQ(std::tuple(Printed(), Printed("till2")), std::tuple(1u, 0u));
}

// A refusal is JSON with its kind (and the driver's code if any); the printer never sees it.
TEST_F(ServiceHttpTest, EachRouteAnswersItsStatusAndShape) {
  AwaitConnected();
  const std::string t = "/v1/printers/till1", r = t + "/receipts", p = t + "/reports/";
  const std::string k = R"({"kind": "short", )",
                    pad = R"("pad": ")" + std::string(70000, 'x') + "\"";
  const std::tuple<std::string, std::string, std::string, int, std::string, json> cases[] = {
      {"GET", t + "/clock", "", 200, "/clock", "24.05.01;12:30"},
      {"GET", t + "/counters", "", 200, "/daily_report_number", 1},
      {"POST", t + "/drawer", R"({"drawer": 2})", 200, "/opened", 2},
      {"POST", p + "period", k + R"("from": "2024-01-01", "to": "2024-01-31"})", 200, "/printed",
       true},
      {"POST", p + "monthly", k + R"("month": "2024-01"})", 200, "/printed", true},
      {"POST", p + "numbers", k + R"("from": 1, "to": 3})", 200, "/printed", true},
      {"POST", p + "daily", "", 409, "/error/code", 211},  // nothing sold since
      {"GET", "/v1/nothing", "", 404, "/error/kind", "not_found"},
      {"POST", "/v1/printers/till9/receipts", ReceiptBody("b0"), 404, "/error/kind", "not_found"},
      {"POST", r, R"({"id": "b1", "items": [)", 400, "/error/kind", "invalid_json"},
      {"POST", r, ReceiptBody("b2", 1, R"("discount_percent": "5")"), 400, "/error/field",
       "discount_percent"},
      {"POST", r, ReceiptBody("b3", 1, "", "G"), 400, "/error/name", "CODE_226"},  // G reserved
      {"POST", r, ReceiptBody("b4", 1, pad), 413, "/error/kind", "body_too_large"},
  };
  for (const auto& [method, path, body, status, pointer, value] : cases) {
    const Reply reply = Send(path, method, body);
    Expect(reply, status, {{pointer, value}});
    EXPECT_TRUE(status < 400 || reply.body["error"]["message_en"] != "") << reply.text;
  }
  EXPECT_EQ(std::ranges::count(Printer().State().calls, "begin"), 0);
  for (const char* id : {"b1", "b2", "b3", "b4"}) EXPECT_EQ(Send(r + "/" + id).status, 404) << id;
}

TEST_F(ServiceHttpTest, FourClientsEachInOrderEveryReceiptOnce) {
  constexpr int kClients = 4, kReceipts = 25;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < kReceipts; ++r) {
        const std::string id = "c" + std::to_string(c) + "-" + std::to_string(r);
        EXPECT_EQ(Post(ReceiptBody(id)).status, 201) << id;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  const auto paper = Printer().State().paper;
  ASSERT_EQ(paper.size(), static_cast<size_t>(kClients * kReceipts));
  // Each client's receipts in the order it sent them, so none twice.
  std::vector<int> next(kClients, 0);
  for (const PrintedReceipt& receipt : paper) {
    const std::string& name = receipt.items.at(0);  // "Towar c<client>-<n> 0"
    EXPECT_EQ(std::stoi(name.substr(9)), next[static_cast<size_t>(name[7] - '0')]++) << name;
  }
}

TEST_F(ServiceHttpTest, TwoPrintersWorkInParallel) {
  Gate gate(Printer(), "begin");
  std::thread held([&] { EXPECT_EQ(Post(ReceiptBody("slow")).status, 201); });
  gate.AwaitArrival();
  EXPECT_EQ(Post(ReceiptBody("fast"), "till2").status, 201);
  EXPECT_EQ(Printed(), 0u);
  EXPECT_EQ(Printers("till1")["receipt_open"], true);
  gate.Release();
  held.join();
  EXPECT_EQ(Printed(), 1u);
}

// The answer and the printer's status carry a failure's code; once over, the receipt prints.
struct Failure {
  const char* name;
  int32_t conditions;
  bool silent, gone;
  Fault begin;  // scripted for the receipt's begin
  int32_t status, code;
  const char* pointer;  // into the printer's status
  json shown;
};

class PrinterFailure : public ServiceHttpTest, public ::testing::WithParamInterface<Failure> {};

TEST_P(PrinterFailure, IsAnsweredWithItsCodeAndTheReceiptPrintsOnceItIsOver) {
  const Failure& c = GetParam();
  AwaitConnected();
  FakePrinter& printer = Printer();
  const int opens = printer.State().opens;
  const auto fail = [&](bool failing) {
    printer.Set(&FakeState::conditions, failing ? c.conditions : 0);
    printer.Set(&FakeState::silent, failing && c.silent);
    printer.Set(&FakeState::reachable, !(failing && c.gone));
  };
  fail(true);
  if (c.begin.code != 0) printer.Script("begin", c.begin);
  Reply refused = Post(ReceiptBody("f1"));
  // A vanished port may first look like a silent line, until the service opens it again.
  if (c.gone && refused.status == 504) refused = Post(ReceiptBody("f1"));
  Expect(refused, c.status, {{"/error/code", c.code}, {"/codes/0/code", c.code}});
  EXPECT_NE(refused.body["state"], "printed");
  // The status is published once the worker is done with the receipt.
  EXPECT_TRUE(!*c.pointer || Eventually([&] {
    return Printers("till1")[json::json_pointer(c.pointer)] == c.shown;
  }));
  fail(false);
  AwaitConnected();
  EXPECT_EQ(Post(ReceiptBody("f1")).status, 201);
  EXPECT_EQ(Printed(), 1u);
  EXPECT_EQ(printer.State().opens > opens, c.conditions == 0);  // paper out keeps it open
}

// A receipt the printer holds open (200) is no one's the service knows.
const Failure kFailures[] = {
    {"PaperOut", 109, false, false, {}, 503, 109, "/paper", "out"},
    {"ReceiptOpen", 0, false, false, {200}, 423, 200, "", {}},
    {"Silent", 0, true, false, {}, 504, 21, "/connection", "offline"},
    {"PortGone", 0, false, true, {}, 503, 2, "/last_error/code", 2},
};
INSTANTIATE_TEST_SUITE_P(Http, PrinterFailure, ::testing::ValuesIn(kFailures),
                         [](const auto& row) { return std::string(row.param.name); });

// An end lost with the line stays unknown, as the counter moved too far; printed on request.
TEST_F(ServiceHttpTest, ALostOutcomeIsSettledWhenThePrinterAnswersAgain) {
  AwaitConnected();
  FakePrinter& printer = Printer();
  printer.OnCall([&](const std::string& operation) {
    if (operation == "end") printer.Set(&FakeState::reachable, false);
  });
  Expect(Post(ReceiptBody("u1")), 504, {{"/state", "unknown"}});
  printer.OnCall({});
  EXPECT_EQ(Post(ReceiptBody("u1")).body["error"]["kind"], "still_settling");
  EXPECT_EQ(Printers("till1")["settlement_pending"], true);
  printer.Set(&FakeState::counter, 7);
  printer.Set(&FakeState::reachable, true);
  ASSERT_TRUE(Eventually([&] { return Printers("till1")["settlement_pending"] == false; }));
  EXPECT_EQ(Printers("till1/receipts/u1")["state"], "unknown");
  Expect(Post(ReceiptBody("u1")), 409, {{"/error/kind", "unknown_outcome"}});
  EXPECT_EQ(Printed(), 0u);
  EXPECT_EQ(Post(ReceiptBody("u1", 1, R"("retry_unknown": true)")).status, 201);
  EXPECT_EQ(Printed(), 1u);
}

TEST_F(ServiceHttpTest, RatesAreWrittenOnlyAfterADailyReportAndCheckedAtOnce) {
  AwaitConnected();
  const std::string rates = "/v1/printers/till1/rates";
  Expect(Send(rates), 200,
         {{"/count", 7}, {"/rates/A", "23"}, {"/rates/E", "exempt"}, {"/rates/G", "reserved"}});
  const std::string reserveA = R"({"confirm": true, "rates": {"A": "reserved", "B": "8", "C": "5",
                                   "D": "0", "E": "exempt", "F": "reserved", "G": "reserved"}})";
  ASSERT_EQ(Post(ReceiptBody("r1")).status, 201);
  Expect(Send(rates, "PUT", reserveA), 409, {{"/error/code", 218}});
  Expect(Send("/v1/printers/till1/reports/daily", "POST"), 200);
  Expect(Send(rates, "PUT", reserveA), 200, {{"/rates/A", "reserved"}});
  // The service knows at once: a sale on A is refused before the printer.
  EXPECT_EQ(Post(ReceiptBody("r2")).body["error"]["field"], "items[0].rate");
  // The counter began again after the daily report.
  EXPECT_EQ(Post(ReceiptBody("r3", 1, "", "B")).body["receipt_number"], 1);
}

TEST_F(ServiceHttpTest, MetricsCountOutcomesCodesAndQueues) {
  AwaitConnected();
  ASSERT_EQ(Post(ReceiptBody("m1")).status, 201);
  Printer().Set(&FakeState::conditions, 109);
  ASSERT_EQ(Post(ReceiptBody("m2")).status, 503);
  const std::string text = Send("/metrics").text;
  for (const char* line : {
           R"(tauravatd_receipts_total{printer="till1",outcome="printed"} 1)",
           R"(tauravatd_receipts_total{printer="till1",outcome="failed"} 1)",
           R"(tauravatd_driver_codes_total{printer="till1",code="109",name="CODE_109"} 1)",
           R"(tauravatd_queue_length{printer="till2"} 0)",
           R"(tauravatd_receipt_seconds_count{printer="till1"} 2)",
       }) {
    EXPECT_NE(text.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << text;
  }
}

TEST_F(ServiceHttpTest, TheOpenApiDocumentDescribesEveryRoute) {
  const Reply document = Send("/v1/openapi.json");
  ASSERT_EQ(document.status, 200);
  EXPECT_EQ(document.body["openapi"], "3.0.3");
  std::set<std::string> described, served;
  for (const auto& [path, item] : document.body["paths"].items())
    for (const auto& [method, operation] : item.items())
      if (method != "parameters") described.insert(method + " " + path);
  for (const Route& route : MakeRoutes(*service_, *desk_)) {
    std::string method = route.method;
    std::transform(method.begin(), method.end(), method.begin(), ::tolower);
    served.insert(method + " " + route.path);
  }
  EXPECT_EQ(described, served);
}

TEST_F(ServiceHttpLateStart, ATokenGuardsEveryRequest) {
  const std::string token = "0123456789abcdef-secret", r = "/v1/printers/till1/receipts";
  config_.token = token;
  Start();
  Expect(Send("/v1/health"), 401, {{"/error/kind", "unauthorized"}});
  EXPECT_EQ(Send("/metrics", "GET", "", "0123456789abcdef-wrong!").status, 401);
  EXPECT_EQ(Send(r, "POST", ReceiptBody("t1"), "nope").status, 401);
  EXPECT_EQ(Printed(), 0u);
  EXPECT_EQ(Send("/v1/health", "GET", "", token).status, 200);
  EXPECT_EQ(Send(r, "POST", ReceiptBody("t1"), token).status, 201);
}

TEST_F(ServiceHttpLateStart, APrinterNotYetOpenedIsConnectingNotOffline) {
  Gate gate(Printer(), "open");
  Start();
  gate.AwaitArrival();
  Expect(Send("/v1/printers/till1"), 200,
         {{"/connection", "connecting"}, {"/last_error", nullptr}});
  Expect(Send("/v1/health"), 200, {{"/status", "degraded"}, {"/printers/till1", "connecting"}});
  gate.Release();
  EXPECT_TRUE(Eventually([&] { return Send("/v1/health").body["status"] == "ok"; }));
}

// Not printed within the wait: accepted (202), answered later; beyond the queue: refused.
TEST_F(ServiceHttpLateStart, AReceiptStillWaitingIsAcceptedUntilTheQueueIsFull) {
  config_.receiptWait = 50ms;
  config_.worker.maxQueue = 1;
  Start();
  Gate gate(Printer(), "begin");
  const Reply accepted = Post(ReceiptBody("q1"));
  EXPECT_EQ(accepted.status, 202);
  EXPECT_TRUE(accepted.body["state"] == "printing" || accepted.body["state"] == "queued");
  gate.AwaitArrival();
  EXPECT_EQ(Post(ReceiptBody("q2")).body["state"], "queued");
  Expect(Post(ReceiptBody("q3")), 503, {{"/error/kind", "queue_full"}});
  gate.Release();
  EXPECT_TRUE(Eventually([&] { return Printers("till1/receipts/q2")["state"] == "printed"; }));
  EXPECT_EQ(Post(ReceiptBody("q1")).status, 200);
  EXPECT_EQ(Printed(), 2u);
}

}  // namespace
}  // namespace tauravatd::testing
