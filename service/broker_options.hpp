// The broker's settings as given: flags and the configuration file's "broker" object,
// merged (flags win) and checked into a BrokerConfig.
//
//   --broker mqtt://HOST:PORT | mqtts://HOST:PORT   --site NAME
//   --broker-user USER   --broker-password-file FILE   --broker-ca FILE
//   --broker-keepalive SECONDS
//
//   "broker": {"url": "mqtts://mq.example:8883", "site": "shop-17", "user": "shop-17",
//              "password_file": "/etc/tauravatd/broker-password",
//              "ca_file": "/etc/tauravatd/broker-ca.pem", "keepalive_s": 30}
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json_fwd.hpp>

#include "service_config.hpp"

namespace tauravatd {

struct BrokerFlags {
  std::optional<std::string> url;
  std::optional<std::string> site;
  std::optional<std::string> user;
  std::optional<std::string> passwordFile;
  std::optional<std::string> caFile;
  std::optional<std::string> keepalive;  // seconds, as written

  // Takes the settings `other` gives, over these.
  void Override(const BrokerFlags& other);
};

// The file's "broker" object; throws OptionsError naming `where`.
BrokerFlags BrokerFromJson(const nlohmann::json& value, const std::string& where);

// Nothing when no broker is given; throws OptionsError for a setting that does not fit.
// Reads the password file.
std::optional<BrokerConfig> MakeBroker(const BrokerFlags& flags);

}  // namespace tauravatd
