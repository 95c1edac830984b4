#include "options.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "scratch_directory.hpp"

namespace tauravatd {
namespace {

using namespace std::chrono_literals;

class OptionsTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(directory_.Path(name)) << text;
    return directory_.Path(name);
  }
  testing::ScratchDirectory directory_{"tauravatd-options"};
};

TEST_F(OptionsTest, FlagsForTheCommonCaseAndTheJournalInTheStateDirectory) {
  const std::string byPath = "/dev/serial/by-path/pci-0000:00:14.0-usb-0:1:1.0-port0";
  const ServiceConfig c = ParseOptions({"--printer", "till1=/dev/ttyUSB0:19200", "--printer",
                                        "till2=" + byPath, "--journal", "/tmp/j.sqlite"},
                                       std::nullopt)
                              .config;
  const auto& p = c.printers;
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(std::tuple(p[0].name, p[0].device, p[0].baud),
            std::tuple("till1", "/dev/ttyUSB0", 19200u));
  EXPECT_EQ(std::tuple(p[1].device, p[1].baud), std::tuple(byPath, 9600u));  // colons: not a speed
  // A network name's port is not a speed either; a speed follows it.
  for (const auto& [flag, device, baud] :
       {std::tuple("n=rfc2217://10.0.0.5:4001", "rfc2217://10.0.0.5:4001", 9600u),
        std::tuple("n=socket://[fe80::1]:4001:19200", "socket://[fe80::1]:4001", 19200u),
        std::tuple("n=rfc2217://till-2:4001:28800", "rfc2217://till-2:4001", 28800u)}) {
    const auto named = ParseOptions({"--printer", flag}, std::nullopt).config.printers.at(0);
    EXPECT_EQ(std::tuple(named.device, named.baud), std::tuple(device, baud)) << flag;
  }
  EXPECT_EQ(c.listenHost + ":" + std::to_string(c.listenPort), "127.0.0.1:8787");
  EXPECT_EQ(std::tuple(c.journalPath, c.token), std::tuple("/tmp/j.sqlite", std::nullopt));
  // With no journal given, the state directory holds it.
  EXPECT_EQ(ParseOptions({"--emulator"}, "/var/lib/tauravatd").config.journalPath,
            "/var/lib/tauravatd/journal.sqlite");
  EXPECT_EQ(ParseOptions({"--emulator"}, std::nullopt).config.journalPath,
            "tauravatd-journal.sqlite");
}

TEST_F(OptionsTest, AConfigurationFileWithFlagsOverIt) {
  const std::string token = Write("token", "s3cret-token-of-the-shop\n");
  const std::string config = Write("config.json", R"({
    "listen": "0.0.0.0:9000", "token_file": ")" + token +
                                                      R"(", "journal": "/srv/j.sqlite",
    "body_limit": 1000, "receipt_wait_ms": 5000, "poll_interval_ms": 2000,
    "stall_after_ms": 3000, "print_limit_ms": 120000, "waiting_per_printer": 3,
    "event_streams": 2, "web_folder": "/srv/page",
    "printers": [{"name": "till1", "device": "/dev/ttyS0", "baud": 28800, "timeout_ms": 500}]})");
  const Options options = ParseOptions({"--config", config, "--listen", "[::]:9001"}, std::nullopt);
  const ServiceConfig& c = options.config;
  EXPECT_EQ(c.listenHost + " " + std::to_string(c.listenPort), ":: 9001");
  EXPECT_EQ(c.token, "s3cret-token-of-the-shop");
  ASSERT_EQ(c.printers.size(), 1u);
  EXPECT_EQ(std::tuple(c.printers[0].baud, c.printers[0].timeoutMs, c.bodyLimit),
            std::tuple(28800u, 500u, 1000u));
  EXPECT_EQ(std::tuple(c.receiptWait, c.worker.pollInterval), std::tuple(5000ms, 2000ms));
  EXPECT_EQ(std::tuple(c.worker.stallAfter, c.printLimit, c.waitingPerPrinter),
            std::tuple(3000ms, 120000ms, 3u));
  EXPECT_EQ(std::tuple(c.eventStreams, c.webFolder), std::tuple(2u, "/srv/page"));
  // A thread for every seat and every event stream, and more.
  EXPECT_EQ(c.HttpThreadsNeeded(), c.httpThreads + 3 + 2);
}

TEST_F(OptionsTest, RefusesWhatWouldRunUnsafelyOrNotAtAll) {
  const auto refused = [](std::vector<std::string> arguments) {
    try {
      ParseOptions(arguments, std::nullopt);
    } catch (const OptionsError& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  EXPECT_NE(refused({"--printer", "a=/dev/ttyS0", "--listen", "0.0.0.0:8787"}).find("token"),
            std::string::npos);
  const std::vector<std::string> cases[] = {
      {},
      {"--printer", "a=/dev/ttyS0:4800"},
      {"--printer", "a b=/dev/ttyS0"},
      {"--printer", "a=/dev/ttyS0", "--printer", "a=/dev/ttyS1"},
      {"--printer", "/dev/ttyS0"},
      {"--listen", "127.0.0.1", "--emulator"},
      {"--token-file", Write("short", "abc"), "--emulator"},
      {"--config", Write("bad.json", R"({"printers": [{"nmae": "a"}]})")},
      {"--emulator", "--config", Write("spin.json", R"({"poll_interval_ms": 0})")},
      {"--emulator", "--config", Write("wait.json", R"({"receipt_wait_ms": -5})")},
      {"--emulator", "--config", Write("seats.json", R"({"waiting_per_printer": 0})")},
      {"--emulator", "--config", Write("limit.json", R"({"print_limit_ms": 86400001})")},
      {"--bogus"},
  };
  for (const auto& arguments : cases) EXPECT_NE(refused(arguments), "") << arguments.size();
  EXPECT_EQ(refused({"--emulator", "--listen", "127.0.0.1:8000"}), "");  // loopback: no token
}

}  // namespace
}  // namespace tauravatd
