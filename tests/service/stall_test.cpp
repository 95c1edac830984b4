// A printer whose printout never ends, against the whole service: two emulated LUNO
// printers on pseudo-terminals reached through the driver's handle interface. The stuck
// one keeps its print status at "printing" until a test lets it go.
#include <httplib.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "handle_backend.hpp"
#include "http_server.hpp"
#include "kestra/emu/pty_server.hpp"
#include "receipt_desk.hpp"
#include "result_codes.hpp"
#include "service.hpp"

namespace tauravatd {
namespace {

namespace emu = kestra::emu;
using nlohmann::json;
using namespace std::chrono_literals;

constexpr uint8_t kPrinting = 0x01;  // bit 0 of the print status (0x95)

struct Reply {
  int status = 0;  // 0: no answer within the client's time-out
  json body;
  std::string text;
  std::string retryAfter;
};

// The member at `pointer`, null when there is none.
json At(const json& body, const std::string& pointer) {
  return body.value(json::json_pointer(pointer), json());
}

std::string ReceiptBody(const std::string& id) {
  return R"({"id": ")" + id +
         R"(", "items": [{"name": "Kawa ziarnista", "quantity": "1", "price": "2.50",
                          "rate": "A"}]})";
}

template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 1000; ++i, std::this_thread::sleep_for(10ms))
    if (condition()) return true;
  return false;
}

// The service with printers "stuck" and "free" on a free local port. Each test chooses
// its limits, then calls Start().
class StuckPrinterTest : public ::testing::Test {
 protected:
  StuckPrinterTest() {
    std::string directory = (std::filesystem::temp_directory_path() / "tauravatd-stall-XXXXXX");
    if (::mkdtemp(directory.data()) == nullptr) throw std::runtime_error("no scratch directory");
    directory_ = directory;
    config_.journalPath = (directory_ / "journal.sqlite").string();
    config_.worker.pollInterval = 50ms;
    config_.worker.backoff = {20ms, 200ms};
    for (const std::string name : {"stuck", "free"}) {
      emu::PrinterConfig printer;
      printer.deviceType = 7;  // LUNO
      printer.rates = {
          2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED};
      printer.timing.pollsPerLine = 0;
      printer.timing.timePerLine = 1ms;
      auto& server = emulators_[name] = std::make_unique<emu::PtyServer>(printer);
      server->Start();
      config_.printers.push_back({name, server->SlavePath(), 9600, 1000});
    }
  }
  ~StuckPrinterTest() override {
    if (http_) {
      Release();  // the stuck worker finishes its step, so that it can stop
      service_->Stop();
      http_->Stop();
      serving_.join();
    }
    for (auto& [name, server] : emulators_) server->Stop();
    std::filesystem::remove_all(directory_);
  }

  void Start() {
    service_ = std::make_unique<Service>(config_, *driver_);
    desk_ = std::make_unique<ReceiptDesk>(*service_);
    service_->Start();
    HttpOptions options{config_.token, config_.bodyLimit, config_.HttpThreadsNeeded()};
    http_ =
        std::make_unique<HttpServer>(MakeRoutes(*service_, *desk_), service_->Answer(), options);
    port_ = http_->Bind("127.0.0.1", 0);
    serving_ = std::thread([this] { http_->Serve(); });
    ASSERT_TRUE(Eventually([&] {
      const json printers = Send("GET", "/v1/printers").body["printers"];
      return printers.size() == 2 && printers[0]["connection"] == "connected" &&
             printers[1]["connection"] == "connected";
    }));
  }

  // The stuck printer says it prints, for ever; Release() lets it finish.
  void Stick() {
    emulators_.at("stuck")->WithPrinter([](emu::Printer& p) { p.Status().print95 = kPrinting; });
  }
  void Release() {
    emulators_.at("stuck")->WithPrinter([](emu::Printer& p) { p.Status().print95 = 0; });
  }
  uint32_t ReceiptsPrinted(const std::string& printer) {
    return emulators_.at(printer)->WithPrinter(
        [](emu::Printer& p) { return p.Memory().ReceiptsToday(); });
  }

  // No answer within `wait` is status 0.
  Reply Send(const std::string& method, const std::string& path, const std::string& body = "",
             std::chrono::milliseconds wait = 30s) {
    httplib::Client client("127.0.0.1", port_);
    client.set_connection_timeout(wait);
    client.set_read_timeout(wait);
    const httplib::Result result =
        method == "GET" ? client.Get(path) : client.Post(path, body, "application/json");
    if (!result) return {0, nullptr, httplib::to_string(result.error()), ""};
    return {result->status, json::parse(result->body, nullptr, false), result->body,
            result->get_header_value("Retry-After")};
  }
  Reply Post(const std::string& printer, const std::string& id) {
    return Send("POST", "/v1/printers/" + printer + "/receipts", ReceiptBody(id));
  }
  json Printer(const std::string& name) { return Send("GET", "/v1/printers/" + name).body; }
  // Health must answer within a second, whatever the printers do.
  Reply Health() { return Send("GET", "/v1/health", "", 1s); }

  ServiceConfig config_;
  std::filesystem::path directory_;
  std::map<std::string, std::unique_ptr<emu::PtyServer>> emulators_;
  std::unique_ptr<Driver> driver_ = MakeHandleDriver();
  std::unique_ptr<Service> service_;
  std::unique_ptr<ReceiptDesk> desk_;
  std::unique_ptr<HttpServer> http_;
  std::thread serving_;
  int port_ = 0;
};

// 32 tills post to the stuck printer at once. Those beyond its seats are answered at once
// and nothing of theirs is taken; the rest wait their time. Meanwhile the other printer
// prints and health answers, each within a second.
TEST_F(StuckPrinterTest, ThirtyTwoClientsOnAStuckPrinterStarveNeitherHealthNorAnotherPrinter) {
  config_.receiptWait = 3s;
  config_.waitingPerPrinter = 4;
  config_.httpThreads = 4;
  Start();
  Stick();
  constexpr int kClients = 32;
  std::vector<Reply> replies(kClients);
  std::atomic<int> answered{0};
  std::vector<std::jthread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      replies[i] = Post("stuck", "stuck-" + std::to_string(i));
      ++answered;
    });
  }
  std::this_thread::sleep_for(200ms);  // the clients have sent, the seated ones wait
  int healthChecks = 0;
  bool printedMeanwhile = false;
  while (answered < kClients) {
    const auto asked = std::chrono::steady_clock::now();
    ASSERT_EQ(Health().status, 200) << "no answer to health within 1 s, check " << healthChecks;
    ++healthChecks;
    if (!printedMeanwhile && answered < kClients) {
      const Reply sale = Post("free", "free-1");
      EXPECT_EQ(sale.status, 201) << sale.text;
      printedMeanwhile = sale.status == 201 && answered < kClients;
    }
    std::this_thread::sleep_until(asked + 100ms);
  }
  clients.clear();  // joined
  EXPECT_TRUE(printedMeanwhile) << "the free printer printed while the tills waited";
  EXPECT_GT(healthChecks, 5);
  EXPECT_EQ(ReceiptsPrinted("free"), 1u);

  // Every till has an answer: its receipt queued (202 after the wait), or busy at once.
  std::vector<std::string> queued;
  for (int i = 0; i < kClients; ++i) {
    const Reply& reply = replies[i];
    if (reply.status == 202) {
      queued.push_back("stuck-" + std::to_string(i));
      continue;
    }
    ASSERT_EQ(reply.status, 503) << i << " " << reply.text;
    EXPECT_EQ(At(reply.body, "/error/kind"), "printer_busy") << reply.text;
    EXPECT_EQ(reply.retryAfter, "5");
    EXPECT_EQ(Send("GET", "/v1/printers/stuck/receipts/stuck-" + std::to_string(i)).status, 404);
  }
  EXPECT_GE(queued.size(), 1u);
  EXPECT_LE(queued.size(), config_.waitingPerPrinter);
  // Once the printer moves again, what was queued prints; what was refused was never taken.
  Release();
  for (const std::string& id : queued) {
    EXPECT_TRUE(Eventually([&] {
      return Send("GET", "/v1/printers/stuck/receipts/" + id).body["state"] == "printed";
    })) << id;
  }
  EXPECT_EQ(ReceiptsPrinted("stuck"), queued.size());
}

// A printer without progress for longer than stall_after_ms is stalled in its state and
// in the list, health is degraded and the printer takes no new work, until it moves.
TEST_F(StuckPrinterTest, AStuckPrinterIsStalledHealthDegradedAndNewWorkRefusedUntilItMoves) {
  config_.worker.stallAfter = 300ms;
  Start();
  EXPECT_EQ(Printer("stuck")["stalled"], false);
  EXPECT_EQ(Health().body["status"], "ok");
  Stick();
  ASSERT_TRUE(Eventually([&] { return Printer("stuck")["stalled"] == true; }));
  json list = Send("GET", "/v1/printers").body["printers"];
  EXPECT_EQ(list[0]["stalled"], true);
  EXPECT_EQ(list[1]["stalled"], false);
  json health = Health().body;
  EXPECT_EQ(health["status"], "degraded");
  EXPECT_EQ(health["printers"]["stuck"], "connected");  // connected, and yet not well
  const std::string metrics = Send("GET", "/metrics").text;
  EXPECT_NE(metrics.find("tauravatd_printer_stalled{printer=\"stuck\"} 1"), std::string::npos);
  const Reply refused = Post("stuck", "while-stalled");
  EXPECT_EQ(refused.status, 503);
  EXPECT_EQ(At(refused.body, "/error/kind"), "printer_busy") << refused.text;
  EXPECT_FALSE(refused.retryAfter.empty());
  EXPECT_EQ(Send("GET", "/v1/printers/stuck/receipts/while-stalled").status, 404);
  EXPECT_EQ(Post("free", "free-while-stalled").status, 201);

  Release();
  ASSERT_TRUE(Eventually([&] { return Printer("stuck")["stalled"] == false; }));
  EXPECT_EQ(Health().body["status"], "ok");
  EXPECT_EQ(Post("stuck", "after-release").status, 201);
}

// The driver follows a printout only for the print limit: a receipt on the stuck printer
// is answered with the printer's state (503, 111) instead of waiting, nothing is printed,
// and a worker whose every poll meets the unended printout stays stalled between polls.
TEST_F(StuckPrinterTest, SupervisionEndsAtThePrintLimitAndAnUnendedPrintoutIsNoProgress) {
  config_.printLimit = 300ms;
  config_.worker.stallAfter = 1s;
  config_.receiptWait = 20s;
  Start();
  Stick();
  const auto posted = std::chrono::steady_clock::now();
  const Reply reply = Post("stuck", "unended");
  EXPECT_LT(std::chrono::steady_clock::now() - posted, config_.receiptWait);
  EXPECT_EQ(reply.status, 503) << reply.text;
  EXPECT_EQ(At(reply.body, "/state"), "failed");
  EXPECT_EQ(At(reply.body, "/error/code"), TAURAVAT_E_CHARS_IN_PRINT_BUFFER) << reply.text;
  EXPECT_EQ(ReceiptsPrinted("stuck"), 0u);
  ASSERT_TRUE(Eventually([&] { return Printer("stuck")["stalled"] == true; }));
  for (int i = 0; i < 10; ++i, std::this_thread::sleep_for(50ms))
    EXPECT_EQ(Printer("stuck")["stalled"], true) << i;
  Release();
  ASSERT_TRUE(Eventually([&] { return Printer("stuck")["stalled"] == false; }));
  EXPECT_EQ(Post("stuck", "unended").status, 201);  // no sale was made: printed now
}

}  // namespace
}  // namespace tauravatd
