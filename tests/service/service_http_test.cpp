// The service end to end over HTTP, against fake printers: idempotency, refusals before
// the printer, order and parallelism, the printer's failures as states and codes, and
// settlement across a restart.
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <set>
#include <thread>

#include "http_fixture.hpp"
#include "sqlite.hpp"

namespace tauravatd::testing {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// Holds one operation of a fake printer until released, and tells when it got there.
class Gate {
 public:
  void Hold(FakePrinter& printer, const std::string& operation) {
    printer.OnCall([this, operation](const std::string& called) {
      if (called != operation) return;
      std::unique_lock lock(mutex_);
      arrived_ = true;
      changed_.notify_all();
      changed_.wait(lock, [this] { return released_; });
    });
  }
  void AwaitArrival() {
    std::unique_lock lock(mutex_);
    ASSERT_TRUE(changed_.wait_for(lock, 10s, [this] { return arrived_; }));
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool arrived_ = false;
  bool released_ = false;
};

// Polls a condition the service reaches on its own (a reconnection, a settlement).
template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 500; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

class ServiceHttpTest : public ::testing::Test {
 protected:
  void SetUp() override { service_.Start(); }

  Reply PostReceipt(const std::string& body, const std::string& printer = "till1") {
    return service_.Post("/v1/printers/" + printer + "/receipts", body);
  }
  size_t Printed(const std::string& printer = "till1") {
    return service_.Printer(printer).Paper().size();
  }
  // Waits until the worker has identified the printer (the checks against it need that).
  void AwaitConnected(const std::string& printer = "till1") {
    ASSERT_TRUE(Eventually(
        [&] { return service_.Get("/v1/printers/" + printer).body["connection"] == "connected"; }));
  }

  HttpFixture service_{{"till1", "till2"}};
};

TEST_F(ServiceHttpTest, TheSameReceiptTwicePrintsOnce) {
  const Reply first = PostReceipt(ReceiptBody("r1", 2));
  EXPECT_EQ(first.status, 201) << first.text;
  EXPECT_EQ(first.body["state"], "printed");
  EXPECT_EQ(first.body["total"], "5.00");
  EXPECT_EQ(first.body["receipt_number"], 1);

  const Reply again = PostReceipt(ReceiptBody("r1", 2));
  EXPECT_EQ(again.status, 200);
  EXPECT_EQ(again.body["state"], "printed");
  EXPECT_EQ(again.body["receipt_number"], 1);
  EXPECT_EQ(Printed(), 1u);

  const Reply entry = service_.Get("/v1/printers/till1/receipts/r1");
  EXPECT_EQ(entry.status, 200);
  EXPECT_EQ(entry.body["state"], "printed");
  EXPECT_EQ(service_.Get("/v1/printers/till2/receipts/r1").status, 404);
}

TEST_F(ServiceHttpTest, AnIdWithAnotherBodyOrPrinterIsAConflict) {
  ASSERT_EQ(PostReceipt(ReceiptBody("r1", 1)).status, 201);
  const Reply changed = PostReceipt(ReceiptBody("r1", 2));
  EXPECT_EQ(changed.status, 409);
  EXPECT_EQ(changed.body["error"]["kind"], "id_conflict");
  EXPECT_EQ(changed.body["error"]["field"], "id");
  EXPECT_EQ(PostReceipt(ReceiptBody("r1", 1), "till2").status, 409);
  EXPECT_EQ(Printed(), 1u);
  EXPECT_EQ(Printed("till2"), 0u);
}

TEST_F(ServiceHttpTest, BadBodiesAreRefusedBeforeThePrinter) {
  AwaitConnected();
  struct Case {
    std::string body;
    int status;
    std::string kind;
    std::string field;
  };
  const Case cases[] = {
      {"{\"id\": \"b1\", \"items\": [", 400, "invalid_json", ""},
      {R"({"id": "b2", "items": [{"name": "Chleb razowy", "quantity": 1, "price": "1", "rate": "A"}]})",
       400, "invalid_request", "items[0].quantity"},
      {ReceiptBody("b3", 1, R"("colour": "red")"), 400, "invalid_request", "colour"},
      {ReceiptBody("b4", 1, R"("discount_percent": "5")"), 400, "invalid_request",
       "discount_percent"},
      // Rate G is reserved on this printer.
      {R"({"id": "b5", "items": [{"name": "Chleb razowy", "quantity": "1", "price": "1", "rate": "G"}]})",
       400, "invalid_request", "items[0].rate"},
      {ReceiptBody("b6", 1, R"("pad": ")" + std::string(70 * 1024, 'x') + "\""), 413,
       "body_too_large", ""},
  };
  for (const Case& c : cases) {
    const Reply reply = PostReceipt(c.body);
    EXPECT_EQ(reply.status, c.status) << c.body.substr(0, 200);
    EXPECT_EQ(reply.body["error"]["kind"], c.kind) << reply.text.substr(0, 300);
    if (!c.field.empty()) {
      EXPECT_EQ(reply.body["error"]["field"], c.field);
    }
    EXPECT_FALSE(reply.body["error"]["message_en"].get<std::string>().empty());
  }
  const Reply reserved = PostReceipt(std::string(cases[4].body));
  EXPECT_EQ(reserved.body["error"]["code"], 226);
  EXPECT_EQ(reserved.body["error"]["name"], "CODE_226");
  EXPECT_EQ(reserved.body["error"]["message_pl"], "kod 226");

  const auto calls = service_.Printer("till1").Calls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "begin"), 0);
  for (const char* id : {"b1", "b2", "b3", "b4", "b5", "b6"}) {
    EXPECT_EQ(service_.Get(std::string("/v1/printers/till1/receipts/") + id).status, 404) << id;
  }
}

TEST_F(ServiceHttpTest, UnknownPrintersAndPathsAre404InJson) {
  const Reply printer = PostReceipt(ReceiptBody("r1"), "till9");
  EXPECT_EQ(printer.status, 404);
  EXPECT_EQ(printer.body["error"]["kind"], "not_found");
  const Reply path = service_.Get("/v1/nothing");
  EXPECT_EQ(path.status, 404);
  EXPECT_EQ(path.body["error"]["kind"], "not_found");
}

TEST_F(ServiceHttpTest, FourClientsEachInOrderEveryReceiptOnce) {
  constexpr int kClients = 4;
  constexpr int kReceipts = 25;
  std::vector<std::thread> clients;
  std::atomic<int> created{0};
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < kReceipts; ++r) {
        const std::string id = "c" + std::to_string(c) + "-" + std::to_string(r);
        if (PostReceipt(ReceiptBody(id)).status == 201) ++created;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(created, kClients * kReceipts);

  const auto paper = service_.Printer("till1").Paper();
  ASSERT_EQ(paper.size(), static_cast<size_t>(kClients * kReceipts));
  std::set<std::string> seen;
  std::vector<int> next(kClients, 0);
  for (const PrintedReceipt& receipt : paper) {
    const std::string& name = receipt.items.at(0);  // "Towar c<client>-<n> 0"
    EXPECT_TRUE(seen.insert(name).second) << name << " printed twice";
    const int client = name[7] - '0';
    const int n = std::stoi(name.substr(9));
    EXPECT_EQ(n, next[static_cast<size_t>(client)]++) << "client " << client << " out of order";
  }
}

TEST_F(ServiceHttpTest, TwoPrintersWorkInParallel) {
  Gate gate;
  gate.Hold(service_.Printer("till1"), "begin");
  std::thread held([&] { EXPECT_EQ(PostReceipt(ReceiptBody("slow")).status, 201); });
  gate.AwaitArrival();
  // till1 is held inside a receipt; till2 does not wait for it.
  const Reply other = PostReceipt(ReceiptBody("fast"), "till2");
  EXPECT_EQ(other.status, 201);
  EXPECT_EQ(Printed("till1"), 0u);
  EXPECT_EQ(service_.Get("/v1/printers/till1").body["receipt_open"], true);
  gate.Release();
  held.join();
  EXPECT_EQ(Printed("till1"), 1u);
}

TEST_F(ServiceHttpTest, PaperOutIs503WithTheDriversCodeAndMayBeRetried) {
  AwaitConnected();
  service_.Printer("till1").SetConditions(109);
  const Reply refused = PostReceipt(ReceiptBody("p1"));
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(refused.body["state"], "failed");
  EXPECT_EQ(refused.body["error"]["code"], 109);
  EXPECT_EQ(refused.body["codes"][0]["step"], "begin");
  EXPECT_EQ(service_.Get("/v1/printers/till1").body["paper"], "out");

  service_.Printer("till1").SetConditions(0);
  const Reply retried = PostReceipt(ReceiptBody("p1"));
  EXPECT_EQ(retried.status, 201);
  EXPECT_EQ(retried.body["attempts"], 2);
  EXPECT_EQ(Printed(), 1u);
}

// A receipt the printer holds open is no one's the service knows: 423 with the printer's
// code, and the printer is opened again (which cancels it) before the next receipt.
TEST_F(ServiceHttpTest, APrinterHoldingAReceiptOpenIs423UntilReopened) {
  AwaitConnected();
  FakePrinter& printer = service_.Printer("till1");
  const int opens = printer.Opens();
  printer.Script("begin", {200, false});
  const Reply refused = PostReceipt(ReceiptBody("o1"));
  EXPECT_EQ(refused.status, 423);
  EXPECT_EQ(refused.body["state"], "failed");
  EXPECT_EQ(refused.body["error"]["code"], 200);
  const Reply retried = PostReceipt(ReceiptBody("o1"));
  EXPECT_EQ(retried.status, 201);
  EXPECT_GT(printer.Opens(), opens);
  EXPECT_EQ(Printed(), 1u);
}

TEST_F(ServiceHttpTest, ASilentPrinterIs504AndTheServiceReconnectsByItself) {
  AwaitConnected();
  FakePrinter& printer = service_.Printer("till1");
  printer.SetSilent(true);
  const Reply refused = PostReceipt(ReceiptBody("s1"));
  EXPECT_EQ(refused.status, 504);
  EXPECT_EQ(refused.body["error"]["code"], 21);
  EXPECT_NE(refused.body["state"], "printed");
  const Reply status = service_.Get("/v1/printers/till1");
  EXPECT_EQ(status.body["connection"], "offline");
  EXPECT_EQ(status.body["last_error"]["code"], 21);
  EXPECT_EQ(service_.Get("/v1/health").body["status"], "degraded");

  const int opens = printer.Opens();
  printer.SetSilent(false);
  EXPECT_TRUE(Eventually([&] { return service_.Get("/v1/health").body["status"] == "ok"; }));
  EXPECT_GT(printer.Opens(), opens);
  EXPECT_EQ(PostReceipt(ReceiptBody("s1")).status, 201);
}

TEST_F(ServiceHttpTest, AVanishingPortIs503UntilItComesBack) {
  AwaitConnected();
  FakePrinter& printer = service_.Printer("till1");
  printer.SetReachable(false);
  // The open line times out (504), unless the service's own look at the idle printer
  // found the port gone first (503).
  const int first = PostReceipt(ReceiptBody("v1")).status;
  EXPECT_TRUE(first == 504 || first == 503) << first;
  const Reply second = PostReceipt(ReceiptBody("v2"));  // the port is gone (2)
  EXPECT_EQ(second.status, 503);
  EXPECT_EQ(second.body["error"]["code"], 2);
  printer.SetReachable(true);
  EXPECT_TRUE(Eventually(
      [&] { return service_.Get("/v1/printers/till1").body["connection"] == "connected"; }));
  EXPECT_EQ(PostReceipt(ReceiptBody("v2")).status, 201);
}

TEST_F(ServiceHttpTest, AnUnknownOutcomeIsSettledWhenThePrinterAnswersAgain) {
  AwaitConnected();
  FakePrinter& printer = service_.Printer("till1");
  printer.OnCall([&](const std::string& operation) {
    if (operation == "end") printer.SetReachable(false);
  });
  const Reply lost = PostReceipt(ReceiptBody("u1"));
  printer.OnCall({});
  EXPECT_EQ(lost.status, 504);
  EXPECT_EQ(lost.body["state"], "unknown");
  EXPECT_EQ(PostReceipt(ReceiptBody("u1")).body["error"]["kind"], "still_settling");
  EXPECT_EQ(service_.Get("/v1/printers/till1").body["settlement_pending"], true);

  printer.SetReachable(true);
  ASSERT_TRUE(Eventually(
      [&] { return service_.Get("/v1/printers/till1/receipts/u1").body["state"] == "cancelled"; }));
  EXPECT_EQ(Printed(), 0u);
  // No sale was made: the same receipt is printed now.
  EXPECT_EQ(PostReceipt(ReceiptBody("u1")).status, 201);
  EXPECT_EQ(Printed(), 1u);
}

TEST_F(ServiceHttpTest, AnUndecidableOutcomeIsPrintedAgainOnlyOnRequest) {
  AwaitConnected();
  FakePrinter& printer = service_.Printer("till1");
  printer.OnCall([&](const std::string& operation) {
    if (operation == "end") printer.SetReachable(false);
  });
  EXPECT_EQ(PostReceipt(ReceiptBody("u2")).body["state"], "unknown");
  printer.OnCall({});
  printer.SetCounter(7);  // the counter moved by more than this receipt could
  printer.SetReachable(true);
  ASSERT_TRUE(Eventually([&] {
    const json entry = service_.Get("/v1/printers/till1/receipts/u2").body;
    return entry["state"] == "unknown" &&
           service_.Get("/v1/printers/till1").body["settlement_pending"] == false;
  }));
  const Reply refused = PostReceipt(ReceiptBody("u2"));
  EXPECT_EQ(refused.status, 409);
  EXPECT_EQ(refused.body["error"]["kind"], "unknown_outcome");
  EXPECT_EQ(Printed(), 0u);
  const Reply retried = PostReceipt(ReceiptBody("u2", 1, R"("retry_unknown": true)"));
  EXPECT_EQ(retried.status, 201);
  EXPECT_EQ(Printed(), 1u);
}

TEST_F(ServiceHttpTest, AReceiptStillWaitingAfterTheWaitIsAccepted) {
  service_.Stop();
  service_.Config().receiptWait = 50ms;
  service_.Start();
  Gate gate;
  gate.Hold(service_.Printer("till1"), "begin");
  const Reply accepted = PostReceipt(ReceiptBody("w1"));
  EXPECT_EQ(accepted.status, 202);
  EXPECT_TRUE(accepted.body["state"] == "printing" || accepted.body["state"] == "queued");
  gate.Release();
  EXPECT_TRUE(Eventually(
      [&] { return service_.Get("/v1/printers/till1/receipts/w1").body["state"] == "printed"; }));
  // Asked again, it answers the stored outcome.
  EXPECT_EQ(PostReceipt(ReceiptBody("w1")).status, 200);
  EXPECT_EQ(Printed(), 1u);
}

TEST_F(ServiceHttpTest, RatesNeedConfirmationAndADailyReport) {
  AwaitConnected();
  const Reply rates = service_.Get("/v1/printers/till1/rates");
  EXPECT_EQ(rates.status, 200);
  EXPECT_EQ(rates.body["count"], 7);
  EXPECT_EQ(rates.body["rates"]["A"], "23.00");
  EXPECT_EQ(rates.body["rates"]["E"], "exempt");
  EXPECT_EQ(rates.body["rates"]["G"], "reserved");

  const std::string wanted =
      R"("rates": {"A": "23", "B": "8", "C": "5", "D": "0", "E": "exempt", "F": "reserved", "G": "reserved"})";
  EXPECT_EQ(service_.Put("/v1/printers/till1/rates", "{" + wanted + "}").body["error"]["field"],
            "confirm");
  ASSERT_EQ(PostReceipt(ReceiptBody("r1")).status, 201);
  const Reply refused =
      service_.Put("/v1/printers/till1/rates", R"({"confirm": true, )" + wanted + "}");
  EXPECT_EQ(refused.status, 409);
  EXPECT_EQ(refused.body["error"]["code"], 218);

  EXPECT_EQ(service_.Post("/v1/printers/till1/reports/daily", "").status, 200);
  EXPECT_EQ(service_.Post("/v1/printers/till1/reports/daily", "").body["error"]["code"], 211);
  const std::string reserveA =
      R"({"confirm": true, "rates": {"A": "reserved", "B": "8", "C": "5", "D": "0", "E": "exempt", "F": "reserved", "G": "reserved"}})";
  const Reply written = service_.Put("/v1/printers/till1/rates", reserveA);
  EXPECT_EQ(written.status, 200) << written.text;
  EXPECT_EQ(written.body["rates"]["A"], "reserved");
  // The service knows at once: a sale on A is refused before the printer.
  EXPECT_EQ(PostReceipt(ReceiptBody("r2")).body["error"]["field"], "items[0].rate");
  // The counter began again after the daily report.
  EXPECT_EQ(
      PostReceipt(ReceiptBody("r3", 1).replace(ReceiptBody("r3", 1).find("\"A\""), 3, "\"B\""))
          .body["receipt_number"],
      1);
}

TEST_F(ServiceHttpTest, ClockCountersDrawerAndReports) {
  EXPECT_EQ(service_.Get("/v1/printers/till1/clock").body["clock"], "24.05.01;12:30");
  ASSERT_EQ(PostReceipt(ReceiptBody("r1")).status, 201);
  const Reply counters = service_.Get("/v1/printers/till1/counters");
  EXPECT_EQ(counters.body["receipt_number"], 1);
  EXPECT_EQ(counters.body["daily_report_number"], 1);
  EXPECT_EQ(service_.Post("/v1/printers/till1/drawer", R"({"drawer": 2})").body["opened"], 2);
  EXPECT_EQ(service_.Post("/v1/printers/till1/drawer", R"({"drawer": 4})").status, 400);
  EXPECT_EQ(service_
                .Post("/v1/printers/till1/reports/period",
                      R"({"kind": "short", "from": "2024-01-01", "to": "2024-01-31"})")
                .status,
            200);
  EXPECT_EQ(
      service_
          .Post("/v1/printers/till1/reports/monthly", R"({"kind": "detailed", "month": "2024-01"})")
          .status,
      200);
  EXPECT_EQ(
      service_
          .Post("/v1/printers/till1/reports/numbers", R"({"kind": "short", "from": 1, "to": 3})")
          .status,
      200);
}

TEST_F(ServiceHttpTest, MetricsCountOutcomesCodesAndQueues) {
  AwaitConnected();
  ASSERT_EQ(PostReceipt(ReceiptBody("m1")).status, 201);
  service_.Printer("till1").SetConditions(109);
  ASSERT_EQ(PostReceipt(ReceiptBody("m2")).status, 503);
  const Reply metrics = service_.Get("/metrics");
  EXPECT_EQ(metrics.status, 200);
  const std::string& text = metrics.text;
  EXPECT_NE(text.find("tauravatd_receipts_total{printer=\"till1\",outcome=\"printed\"} 1\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("tauravatd_receipts_total{printer=\"till1\",outcome=\"failed\"} 1\n"),
            std::string::npos);
  EXPECT_NE(
      text.find(
          "tauravatd_driver_codes_total{printer=\"till1\",code=\"109\",name=\"CODE_109\"} 1\n"),
      std::string::npos);
  EXPECT_NE(text.find("tauravatd_queue_length{printer=\"till2\"} 0\n"), std::string::npos);
  EXPECT_NE(text.find("tauravatd_receipt_seconds_count{printer=\"till1\"} 2\n"), std::string::npos);
}

TEST_F(ServiceHttpTest, TheOpenApiDocumentDescribesEveryRoute) {
  const Reply document = service_.Get("/v1/openapi.json");
  ASSERT_EQ(document.status, 200);
  EXPECT_EQ(document.body["openapi"], "3.0.3");
  const json& paths = document.body["paths"];
  std::set<std::string> described;
  for (const auto& [path, item] : paths.items()) {
    for (const auto& [method, operation] : item.items()) {
      if (method != "parameters") described.insert(method + " " + path);
    }
  }
  std::set<std::string> served;
  ReceiptDesk desk(service_.Running());
  for (const Route& route : MakeRoutes(service_.Running(), desk)) {
    std::string method = route.method;
    std::transform(method.begin(), method.end(), method.begin(), ::tolower);
    served.insert(method + " " + route.path);
  }
  EXPECT_EQ(described, served);
}

TEST(ServiceHttp, ATokenGuardsEveryRequest) {
  HttpFixture service;
  service.Config().token = "0123456789abcdef-secret";
  service.Start();
  const Reply without = service.Get("/v1/health");
  EXPECT_EQ(without.status, 401);
  EXPECT_EQ(without.body["error"]["kind"], "unauthorized");
  EXPECT_EQ(service.Get("/metrics", "0123456789abcdef-wrong!").status, 401);
  EXPECT_EQ(service.Post("/v1/printers/till1/receipts", ReceiptBody("t1"), "nope").status, 401);
  EXPECT_EQ(service.Printer("till1").Paper().size(), 0u);
  EXPECT_EQ(service.Get("/v1/health", "0123456789abcdef-secret").status, 200);
  EXPECT_EQ(
      service.Post("/v1/printers/till1/receipts", ReceiptBody("t1"), "0123456789abcdef-secret")
          .status,
      201);
}

TEST(ServiceHttp, APrinterNotYetOpenedIsConnectingNotOffline) {
  HttpFixture service;
  Gate gate;
  gate.Hold(service.Printer("till1"), "open");
  service.Start();
  gate.AwaitArrival();
  const Reply printer = service.Get("/v1/printers/till1");
  EXPECT_EQ(printer.body["connection"], "connecting");
  EXPECT_EQ(printer.body["last_error"], nullptr);
  const Reply health = service.Get("/v1/health");
  EXPECT_EQ(health.body["status"], "degraded");
  EXPECT_EQ(health.body["printers"]["till1"], "connecting");
  gate.Release();
  EXPECT_TRUE(Eventually(
      [&] { return service.Get("/v1/printers/till1").body["connection"] == "connected"; }));
}

TEST(ServiceHttp, AReceiptLeftPrintingByACrashIsSettledBeforeNewWork) {
  HttpFixture service;
  FakePrinter& printer = service.Printer("till1");
  // The last run wrote the receipt's end and died before hearing back; the printer did
  // complete it (its counter rose from 4 to 5).
  printer.SetCounter(5);
  {
    Journal journal(service.Config().journalPath);
    JournalEntry entry = journal.Admit("crash1", "till1", "{}", 250).first;
    entry.state = ReceiptState::kPrinting;
    entry.counterBefore = 4;
    entry.endSent = true;
    journal.Save(entry);
    journal.Admit("queued1", "till1", "{}", 250);  // never reached the printer
  }
  service.Start();
  ASSERT_TRUE(Eventually([&] {
    return service.Get("/v1/printers/till1/receipts/crash1").body["state"] == "printed";
  }));
  EXPECT_EQ(service.Get("/v1/printers/till1/receipts/crash1").body["receipt_number"], 5);
  EXPECT_EQ(service.Get("/v1/printers/till1/receipts/queued1").body["state"], "failed");
  EXPECT_TRUE(printer.Paper().empty());  // nothing printed again
}

TEST(ServiceHttp, AFullQueueIsRefused) {
  HttpFixture service;
  service.Config().worker.maxQueue = 1;
  service.Start();
  Gate gate;
  gate.Hold(service.Printer("till1"), "begin");
  std::thread first([&] { service.Post("/v1/printers/till1/receipts", ReceiptBody("q1")); });
  gate.AwaitArrival();
  std::thread second([&] { service.Post("/v1/printers/till1/receipts", ReceiptBody("q2")); });
  ASSERT_TRUE(
      Eventually([&] { return service.Get("/v1/printers/till1").body["queue_length"] == 1; }));
  const Reply full = service.Post("/v1/printers/till1/receipts", ReceiptBody("q3"));
  EXPECT_EQ(full.status, 503);
  EXPECT_EQ(full.body["error"]["kind"], "queue_full");
  gate.Release();
  first.join();
  second.join();
  EXPECT_EQ(service.Printer("till1").Paper().size(), 2u);
}

}  // namespace
}  // namespace tauravatd::testing
