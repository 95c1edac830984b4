// The service with the shipped driver against emulated printers on pseudo-terminals: the
// same receipt twice, four clients at once, two printers at once, and a printer that runs
// out of paper, falls silent, vanishes or loses the answer to a receipt's end.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <thread>

#include "handle_backend.hpp"
#include "http_fixture.hpp"
#include "kestra/emu/pty_server.hpp"

namespace tauravatd::testing {
namespace {

namespace emu = kestra::emu;
using namespace std::chrono_literals;

emu::PrinterConfig Luno() {
  emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, 500, 0, emu::kExemptRate, emu::kReservedRate, emu::kReservedRate};
  config.timing = {0, 0ms, 0, 0ms};
  return config;
}

template <class Condition>
bool Eventually(Condition&& condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(10ms);
  }
  return false;
}

// Emulated printers, each on a pseudo-terminal reached through a link of its own (so a
// printer can vanish and come back at the same path).
class Emulators {
 public:
  explicit Emulators(int count, int baud = 0) : baud_(baud) {
    directory_ = std::filesystem::temp_directory_path() /
                 ("tauravatd-emu-" + std::to_string(::getpid()) + "-" +
                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(directory_);
    std::filesystem::create_directories(directory_);
    for (int i = 0; i < count; ++i) {
      links_.push_back((directory_ / ("printer" + std::to_string(i + 1))).string());
      servers_.push_back(nullptr);
      Plug(i);
    }
  }
  ~Emulators() {
    servers_.clear();
    std::filesystem::remove_all(directory_);
  }

  std::vector<PrinterSettings> Settings() const {
    std::vector<PrinterSettings> settings;
    for (size_t i = 0; i < links_.size(); ++i) {
      settings.push_back({"till" + std::to_string(i + 1), links_[i], 9600, 500});
    }
    return settings;
  }

  emu::PtyServer& Server(int index) { return *servers_.at(static_cast<size_t>(index)); }
  void Unplug(int index) { servers_.at(static_cast<size_t>(index)).reset(); }
  // A fresh printer at the same path.
  void Plug(int index) {
    emu::PtyServerOptions options;
    options.linkPath = links_.at(static_cast<size_t>(index));
    options.baud = baud_;
    auto server = std::make_unique<emu::PtyServer>(Luno(), options);
    server->Start();
    servers_.at(static_cast<size_t>(index)) = std::move(server);
  }

  std::vector<std::string> Paper(int index) {
    return Server(index).WithPrinter([](emu::Printer& printer) { return printer.Paper().Lines(); });
  }

  // Completed receipts (with a receipt number in their footer) holding `item`.
  int CompletedWith(int index, const std::string& item) {
    static const std::regex footer("^#[0-9]{5} ");
    int completed = 0;
    bool holds = false;
    for (const std::string& line : Paper(index)) {
      if (line.find("KESTRA - STANOWISKO TESTOWE") != std::string::npos) holds = false;
      if (line.find(item) != std::string::npos) holds = true;
      if (holds && std::regex_search(line, footer)) {
        ++completed;
        holds = false;
      }
    }
    return completed;
  }

 private:
  int baud_;
  std::filesystem::path directory_;
  std::vector<std::string> links_;
  std::vector<std::unique_ptr<emu::PtyServer>> servers_;
};

class ServiceOnEmulator : public ::testing::Test {
 protected:
  explicit ServiceOnEmulator(int printers = 1, int baud = 0)
      : emulators_(printers, baud), service_(MakeHandleDriver(), emulators_.Settings()) {
    service_.Start();
    EXPECT_TRUE(Eventually([&] { return service_.Get("/v1/health").body["status"] == "ok"; }));
  }

  Reply Post(const std::string& body, const std::string& printer = "till1") {
    return service_.Post("/v1/printers/" + printer + "/receipts", body);
  }

  Emulators emulators_;
  HttpFixture service_;
};

TEST_F(ServiceOnEmulator, TheSameReceiptTwicePrintsOnce) {
  const Reply first = Post(ReceiptBody("twice", 2));
  EXPECT_EQ(first.status, 201) << first.text;
  EXPECT_EQ(first.body["total"], "5.00");
  EXPECT_EQ(Post(ReceiptBody("twice", 2)).status, 200);
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar twice 0"), 1);
  EXPECT_EQ(service_.Get("/v1/printers/till1/counters").body["receipt_number"],
            first.body["receipt_number"]);
}

TEST_F(ServiceOnEmulator, FourClientsAtOncePrintEachReceiptOnceInTheirOrder) {
  constexpr int kClients = 4;
  constexpr int kReceipts = 25;
  std::vector<std::thread> clients;
  for (int c = 0; c < kClients; ++c) {
    clients.emplace_back([&, c] {
      for (int r = 0; r < kReceipts; ++r) {
        const Reply reply = Post(ReceiptBody("c" + std::to_string(c) + "-" + std::to_string(r)));
        EXPECT_EQ(reply.status, 201) << reply.text;
      }
    });
  }
  for (std::thread& client : clients) client.join();

  std::vector<int> next(kClients, 0);
  int completed = 0;
  static const std::regex item("Towar c([0-9])-([0-9]+) 0");
  for (const std::string& line : emulators_.Paper(0)) {
    std::smatch match;
    if (!std::regex_search(line, match, item)) continue;
    const int client = std::stoi(match[1]);
    EXPECT_EQ(std::stoi(match[2]), next[static_cast<size_t>(client)]++) << line;
    ++completed;
  }
  EXPECT_EQ(completed, kClients * kReceipts);
  EXPECT_EQ(service_.Get("/v1/printers/till1/counters").body["receipt_number"],
            kClients * kReceipts);
}

TEST_F(ServiceOnEmulator, PaperOutIs503AndTheSameReceiptPrintsOnceThePaperIsBack) {
  emulators_.Server(0).WithPrinter([](emu::Printer& printer) {
    printer.SetPaper(false);
    return 0;
  });
  const Reply refused = Post(ReceiptBody("paper"));
  EXPECT_EQ(refused.status, 503) << refused.text;
  EXPECT_EQ(refused.body["error"]["code"], 109);
  EXPECT_EQ(refused.body["error"]["name"], "TAURAVAT_E_PAPER_OUT");
  EXPECT_EQ(service_.Get("/v1/printers/till1").body["paper"], "out");
  emulators_.Server(0).WithPrinter([](emu::Printer& printer) {
    printer.SetPaper(true);
    return 0;
  });
  EXPECT_EQ(Post(ReceiptBody("paper")).status, 201);
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar paper 0"), 1);
}

TEST_F(ServiceOnEmulator, ASilentPrinterIs504AndOffline) {
  emulators_.Server(0).WithPrinter([](emu::Printer& printer) {
    printer.Faults().AddRule({std::nullopt, emu::FaultKind::kSilence, 0, -1});
    return 0;
  });
  const Reply refused = Post(ReceiptBody("silent"));
  EXPECT_EQ(refused.status, 504) << refused.text;
  EXPECT_EQ(refused.body["error"]["code"], 21);
  EXPECT_NE(refused.body["state"], "printed");
  const Reply printer = service_.Get("/v1/printers/till1");
  EXPECT_EQ(printer.body["connection"], "offline");
  EXPECT_EQ(printer.body["last_error"]["name"], "TAURAVAT_E_RECEIVE_TIMEOUT");
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar silent 0"), 0);
}

TEST_F(ServiceOnEmulator, AVanishingPortIsReopenedWhenItComesBack) {
  emulators_.Unplug(0);
  const Reply refused = Post(ReceiptBody("vanish"));
  EXPECT_TRUE(refused.status == 503 || refused.status == 504) << refused.text;
  EXPECT_EQ(service_.Get("/v1/printers/till1").body["connection"], "offline");
  emulators_.Plug(0);
  EXPECT_TRUE(Eventually(
      [&] { return service_.Get("/v1/printers/till1").body["connection"] == "connected"; }));
  EXPECT_EQ(Post(ReceiptBody("vanish")).status, 201);
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar vanish 0"), 1);
}

// The end of a receipt whose answer is lost, or which the printer never heard: the
// outcome the service gives is what the paper shows, and the same id sent again leaves
// the receipt on paper exactly once.
class LostEnd : public ServiceOnEmulator, public ::testing::WithParamInterface<emu::FaultKind> {};

TEST_P(LostEnd, IsOnPaperExactlyOnceAfterARetry) {
  const emu::FaultKind fault = GetParam();
  emulators_.Server(0).WithPrinter([fault](emu::Printer& printer) {
    printer.Faults().AddRule({uint8_t{0x24}, fault, 0, 1});
    return 0;
  });
  const Reply first = Post(ReceiptBody("end"));
  const std::string state = first.body["state"];
  ASSERT_TRUE(state == "printed" || state == "cancelled") << first.text;
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar end 0"), state == "printed" ? 1 : 0);
  const Reply again = Post(ReceiptBody("end"));
  EXPECT_EQ(again.body["state"], "printed") << again.text;
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar end 0"), 1);
}

INSTANTIATE_TEST_SUITE_P(Faults, LostEnd,
                         ::testing::Values(emu::FaultKind::kSilence, emu::FaultKind::kDropByte));

class TwoPacedPrinters : public ServiceOnEmulator {
 protected:
  TwoPacedPrinters() : ServiceOnEmulator(2, 9600) {}
};

TEST_F(TwoPacedPrinters, WorkInParallel) {
  // About two seconds of line time on till1.
  std::thread longReceipt([&] { EXPECT_EQ(Post(ReceiptBody("long", 40)).status, 201); });
  ASSERT_TRUE(Eventually([&] {
    return service_.Get("/v1/printers/till1/receipts/long").body["state"] == "printing";
  }));
  EXPECT_EQ(Post(ReceiptBody("short", 1), "till2").status, 201);
  // till2 finished while till1 is still at its receipt.
  EXPECT_EQ(service_.Get("/v1/printers/till1/receipts/long").body["state"], "printing");
  longReceipt.join();
  EXPECT_EQ(emulators_.CompletedWith(0, "Towar long 0"), 1);
  EXPECT_EQ(emulators_.CompletedWith(1, "Towar short 0"), 1);
}

TEST(HandleDriver, NamesEachCodeAsTheHeaderDoesWithBothMessages) {
  const auto driver = MakeHandleDriver();
  const CodeDescription paper = driver->Describe(109);
  EXPECT_EQ(paper.name, "TAURAVAT_E_PAPER_OUT");
  EXPECT_EQ(paper.messagePl, "Brak papieru lub podniesiona głowica mechanizmu drukującego.");
  EXPECT_FALSE(paper.messageEn.empty());
  EXPECT_NE(paper.messageEn, paper.messagePl);
  EXPECT_EQ(driver->Describe(0).name, "TAURAVAT_OK");
  EXPECT_EQ(driver->Describe(999).name, "TAURAVAT_E_INTERNAL");
  // The operating system's errors from opening a port have no name of their own.
  EXPECT_EQ(driver->Describe(2).name, "OS_ERROR");
}

}  // namespace
}  // namespace tauravatd::testing
