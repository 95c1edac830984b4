// The service over HTTP on the emulated printer: what the routes and the printer's worker add
// to the parts tested alone (idempotency, order, a printer that goes silent, settlement,
// metrics, the queue, the document).
#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <set>
#include <thread>

#include "api.hpp"
#include "emulated_service.hpp"

namespace tauravatd::testing {
namespace {

using kestra::emu::FaultKind;
using kestra::emu::FaultRule;
using kestra::emu::Printer;
using namespace std::chrono_literals;

void Strike(EmulatedService& service, FaultRule rule) {
  service.OnPrinter([&](Printer& p) { p.Faults().AddRule(rule); });
}

void Speak(EmulatedService& service) {
  service.OnPrinter([](Printer& p) { p.Faults() = kestra::emu::FaultInjector({}); });
}

bool Struck(EmulatedService& service, uint8_t command, FaultKind kind) {
  return service.OnPrinter([&](Printer& p) { return p.Faults().Struck(command, kind) > 0; });
}

TEST(ServiceHttp, AnIdPrintsOnceAndWithAnotherBodyOrPrinterIsAConflict) {
  EmulatedService service(Luno());
  service.Config().printers.push_back({"till2", "/dev/null/none", 9600, 300});
  service.Start();
  const Reply printed = service.Post(Sale("r1"));
  EXPECT_EQ(std::tuple(printed.status, printed.State(), printed.body["total"]),
            std::tuple(201, std::string("printed"), nlohmann::json("2.50")))
      << printed.text;
  EXPECT_EQ(service.Post(Sale("r1")).status, 200);
  EXPECT_EQ(service.Get("/receipts/r1").State(), "printed");
  const Reply other = service.Post(Sale("r1", R"("discount_percent": 5)"));
  EXPECT_EQ(std::tuple(other.status, other.ErrorKind()),
            std::tuple(409, std::string("id_conflict")));
  EXPECT_EQ(service.Send("POST", "/v1/printers/till2/receipts", Sale("r1")).status, 409);
  EXPECT_EQ(std::tuple(service.Sales("Towar r1"), service.ReceiptsCounted()), std::tuple(1, 1));
}

TEST(ServiceHttp, FourClientsEachInOrderEveryReceiptOnce) {
  constexpr int kClients = 4, kReceipts = 5;
  EmulatedService service(Luno(1ms));
  service.Start();
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < kReceipts; ++r) {
        const std::string id = "c" + std::to_string(c) + "-" + std::to_string(r);
        EXPECT_EQ(service.Post(Sale(id)).status, 201) << id;
      }
    });
  }
  for (std::thread& client : clients) client.join();
  EXPECT_EQ(service.ReceiptsCounted(), kClients * kReceipts);
  // Each client's receipts once, in the order it sent them.
  const std::string paper = service.OnPrinter([](Printer& p) { return p.Paper().Text(); });
  for (int c = 0; c < kClients; ++c) {
    size_t last = 0;
    for (int r = 0; r < kReceipts; ++r) {
      const std::string item = "Towar c" + std::to_string(c) + "-" + std::to_string(r);
      EXPECT_EQ(service.Sales(item), 1) << item;
      const size_t at = paper.find(item);
      EXPECT_TRUE(at != std::string::npos && at >= last) << item;
      last = at;
    }
  }
}

// A printer that answers nothing: 504 with 21, shown offline; once it answers, the same id
// prints once.
TEST(ServiceHttp, ASilentPrinterIsOfflineAndTheReceiptPrintsOnceItAnswers) {
  EmulatedService service(Luno());
  service.Start();
  Strike(service, {std::nullopt, FaultKind::kSilence, 0, -1});
  const Reply refused = service.Post(Sale("f1"));
  EXPECT_EQ(std::tuple(refused.status, refused.State(), refused.body["error"]["code"]),
            std::tuple(504, std::string("failed"), nlohmann::json(21)))
      << refused.text;
  EXPECT_TRUE(Eventually([&] { return service.Get("").body["connection"] == "offline"; }));
  Speak(service);
  EXPECT_TRUE(Eventually([&] { return service.Get("").body["connection"] == "connected"; }));
  EXPECT_EQ(service.Post(Sale("f1")).status, 201);
  EXPECT_EQ(std::tuple(service.Sales("Towar f1"), service.ReceiptsCounted()), std::tuple(1, 1));
}

// The printer falls silent as the end goes out: the receipt is unknown until the printer
// answers again, and is then settled before anything else, here by the counter that did not
// move (opening the printer cancelled the receipt), so the same id prints.
TEST(ServiceHttp, ALostOutcomeIsSettledWhenThePrinterAnswersAgain) {
  EmulatedService service(Luno());
  service.Start();
  ASSERT_EQ(service.Post(Sale("r0")).status, 201);  // the counter tells from here on
  Strike(service, {kestra::emu::cmd::kReceiptEnd, FaultKind::kSilence, 0, -1});
  auto post = std::async(std::launch::async, [&] { return service.Post(Sale("u1")); });
  ASSERT_TRUE(Eventually(
      [&] { return Struck(service, kestra::emu::cmd::kReceiptEnd, FaultKind::kSilence); }));
  Strike(service, {std::nullopt, FaultKind::kSilence, 0, -1});
  const Reply lost = post.get();
  EXPECT_EQ(std::tuple(lost.status, lost.State()), std::tuple(504, std::string("unknown")))
      << lost.text;
  EXPECT_EQ(service.Post(Sale("u1")).ErrorKind(), "still_settling");
  EXPECT_EQ(service.Get("").body["settlement_pending"], true);
  Speak(service);
  ASSERT_TRUE(Eventually([&] { return service.Get("").body["settlement_pending"] == false; }));
  EXPECT_EQ(service.Get("/receipts/u1").State(), "cancelled");
  EXPECT_EQ(service.Sales("Towar u1"), 0);
  EXPECT_EQ(service.Post(Sale("u1")).status, 201);
  EXPECT_EQ(std::tuple(service.Sales("Towar u1"), service.ReceiptsCounted()), std::tuple(1, 2));
}

TEST(ServiceHttp, MetricsCountOutcomesCodesAndQueues) {
  EmulatedService service(Luno());
  service.Start();
  ASSERT_EQ(service.Post(Sale("m1")).status, 201);
  service.OnPrinter([](Printer& p) { p.SetPaper(false); });
  ASSERT_EQ(service.Post(Sale("m2")).status, 503);
  EXPECT_EQ(service.Get("/receipts/m2").body["codes"].size(), 1u)
      << service.Get("/receipts/m2").text;
  const std::string text = service.Send("GET", "/metrics", "").text;
  // Paper out is counted for the receipt and for the printer's state as it is watched.
  const char* lines[] = {
      "tauravatd_receipts_total{printer=\"till1\",outcome=\"printed\"} 1\n",
      "tauravatd_receipts_total{printer=\"till1\",outcome=\"failed\"} 1\n",
      "tauravatd_driver_codes_total{printer=\"till1\",code=\"109\",name=\"TAURAVAT_E_PAPER_OUT\"} ",
      "tauravatd_queue_length{printer=\"till1\"} 0\n",
      "tauravatd_receipt_seconds_count{printer=\"till1\"} 2\n",
  };
  for (const char* line : lines)
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
}

TEST(ServiceHttp, TheOpenApiDocumentDescribesEveryRoute) {
  EmulatedService service(Luno());
  service.Start();
  const Reply document = service.Send("GET", "/v1/openapi.json", "");
  ASSERT_EQ(document.status, 200);
  EXPECT_EQ(document.body["openapi"], "3.0.3");
  std::set<std::string> described, served;
  for (const auto& [path, item] : document.body["paths"].items())
    for (const auto& [method, operation] : item.items())
      if (method != "parameters") described.insert(method + " " + path);
  ReceiptDesk desk(service.Running());
  for (const Route& route : MakeRoutes(service.Running(), desk)) {
    std::string method = route.method;
    std::transform(method.begin(), method.end(), method.begin(), ::tolower);
    served.insert(method + " " + route.path);
  }
  EXPECT_EQ(described, served);
}

// Until the first attempt to open the printer has ended, it is connecting, not offline.
TEST(ServiceHttp, APrinterNotYetOpenedIsConnectingNotOffline) {
  kestra::emu::PrinterConfig printer = Luno();
  printer.faults.delay = 600ms;
  printer.faults.rules.push_back({std::nullopt, FaultKind::kDelay, 0, 1});
  EmulatedService service(printer);
  service.Config().printers[0].timeoutMs = 2000;
  service.Start(false);
  const Reply status = service.Get("");
  EXPECT_EQ(std::tuple(status.body["connection"], status.body["last_error"]),
            std::tuple(nlohmann::json("connecting"), nlohmann::json(nullptr)))
      << status.text;
  const Reply health = service.Send("GET", "/v1/health", "");
  EXPECT_EQ(std::tuple(health.body["status"], health.body["printers"]["till1"]),
            std::tuple(nlohmann::json("degraded"), nlohmann::json("connecting")))
      << health.text;
  EXPECT_TRUE(
      Eventually([&] { return service.Send("GET", "/v1/health", "").body["status"] == "ok"; }));
}

// Not printed within the wait: accepted (202), answered later; beyond the queue: refused.
TEST(ServiceHttp, AReceiptStillWaitingIsAcceptedUntilTheQueueIsFull) {
  kestra::emu::PrinterConfig printer = Luno();
  printer.faults.delay = 1500ms;
  EmulatedService service(printer);
  service.Config().printers[0].timeoutMs = 3000;
  service.Config().receiptWait = 50ms;
  service.Config().worker.maxQueue = 1;
  service.Start();
  Strike(service, {kestra::emu::cmd::kReceiptBegin, FaultKind::kDelay, 0, 1});
  const Reply accepted = service.Post(Sale("q1"));
  EXPECT_EQ(accepted.status, 202) << accepted.text;
  ASSERT_TRUE(Eventually(
      [&] { return Struck(service, kestra::emu::cmd::kReceiptBegin, FaultKind::kDelay); }));
  EXPECT_EQ(service.Post(Sale("q2")).State(), "queued");
  EXPECT_EQ(service.Post(Sale("q3")).ErrorKind(), "queue_full");
  EXPECT_TRUE(Eventually([&] { return service.Get("/receipts/q2").State() == "printed"; }));
  EXPECT_EQ(service.Post(Sale("q1")).status, 200);
  EXPECT_EQ(
      std::tuple(service.Sales("Towar q1"), service.Sales("Towar q2"), service.ReceiptsCounted()),
      std::tuple(1, 1, 2));
}

}  // namespace
}  // namespace tauravatd::testing
