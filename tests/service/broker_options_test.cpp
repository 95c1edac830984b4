#include "broker_options.hpp"

#include <gtest/gtest.h>

#include <fstream>

#include "scratch_directory.hpp"
#include "options.hpp"

namespace tauravatd {
namespace {

class BrokerOptionsTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(directory_.Path(name)) << text;
    return directory_.Path(name);
  }
  std::optional<BrokerConfig> Parse(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {"--printer", "till1=/dev/ttyS0"});
    return ParseOptions(arguments, std::nullopt).config.broker;
  }
  std::string Refusal(std::vector<std::string> arguments) {
    try {
      Parse(std::move(arguments));
    } catch (const OptionsError& e) {
      return e.what();
    }
    return "accepted";
  }
  testing::ScratchDirectory directory_{"tauravatd-broker-options"};
};

TEST_F(BrokerOptionsTest, FlagsAndTheFileWithFlagsOverIt) {
  EXPECT_EQ(Parse({}), std::nullopt);
  const std::string password = Write("password", "pa55 word\n");
  const std::string ca = Write("ca.pem", "-----BEGIN CERTIFICATE-----\n");
  auto broker =
      Parse({"--broker", "mqtts://mq.example", "--site", "shop_17-b", "--broker-user", "shop17",
             "--broker-password-file", password, "--broker-ca", ca, "--broker-keepalive", "45"});
  ASSERT_TRUE(broker);
  EXPECT_EQ(std::tuple(broker->host, broker->port, broker->tls, broker->site),
            std::tuple("mq.example", 8883, true, "shop_17-b"));
  EXPECT_EQ(std::tuple(broker->user, broker->password, broker->caFile, broker->keepaliveSeconds),
            std::tuple("shop17", "pa55 word", ca, 45));
  broker = Parse({"--broker", "mqtt://[::1]:1884", "--site", "s"});
  EXPECT_EQ(std::tuple(broker->host, broker->port, broker->tls, broker->keepaliveSeconds),
            std::tuple("::1", 1884, false, 30));

  const std::string config = Write("config.json", R"({
    "printers": [{"name": "till1", "device": "/dev/ttyS0"}],
    "broker": {"url": "mqtt://10.0.0.5:1883", "site": "from-file", "user": "u",
               "password_file": ")" + password + R"(", "keepalive_s": 60}})");
  broker = ParseOptions({"--config", config, "--site", "from-flag"}, std::nullopt).config.broker;
  EXPECT_EQ(std::tuple(broker->host, broker->port, broker->site, broker->keepaliveSeconds),
            std::tuple("10.0.0.5", 1883, "from-flag", 60));
}

TEST_F(BrokerOptionsTest, WhatDoesNotFitIsRefusedAtStartWithoutThePassword) {
  const std::string password = Write("password", "hunter2-secret\n");
  EXPECT_EQ(Refusal({"--site", "s"}),
            "the broker's settings need the broker itself (--broker URL)");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h:1883"}), "a broker needs the site's name (--site NAME)");
  EXPECT_EQ(Refusal({"--broker", "http://h:1883", "--site", "s"}),
            "broker http://h:1883: expected mqtt://HOST:PORT or mqtts://HOST:PORT");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h:70000", "--site", "s"}),
            "broker mqtt://h:70000: the port must be a number from 1 to 65535");
  EXPECT_EQ(Refusal({"--broker", "mqtt://:1883", "--site", "s"}),
            "broker mqtt://:1883: expected a host name or address");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "a/b"}),
            "site name \"a/b\": use 1 to 64 letters, digits, \"_\" or \"-\"");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", std::string(65, 's')}).substr(0, 10),
            "site name ");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "s", "--broker-password-file", password}),
            "a broker password needs a user (--broker-user)");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "s", "--broker-ca", password}),
            "--broker-ca needs a broker on mqtts://");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "s", "--broker-keepalive", "2"}),
            "the broker keep-alive must be 5 to 65535 seconds");
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "s", "--broker-user", "u",
                     "--broker-password-file", Write("empty", "\n")}),
            "the broker password file " + directory_.Path("empty") + " is empty");
  const std::string config = Write("bad.json", R"({"broker": {"url": "mqtt://h", "pasword": 1}})");
  EXPECT_EQ(Refusal({"--config", config}), config + ": broker: unknown field \"pasword\"");
  const std::string keepalive =
      Write("keepalive.json", R"({"broker": {"url": "mqtt://h", "keepalive_s": "30"}})");
  EXPECT_EQ(Refusal({"--config", keepalive}),
            keepalive + ": broker: keepalive_s must be a whole number");
  // The password is read, never repeated in a message.
  EXPECT_EQ(Refusal({"--broker", "mqtt://h", "--site", "s", "--broker-user", "u",
                     "--broker-password-file", password, "--broker-keepalive", "x"})
                .find("hunter2"),
            std::string::npos);
}

}  // namespace
}  // namespace tauravatd
