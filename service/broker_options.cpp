#include "broker_options.hpp"

#include <fstream>
#include <map>
#include <sstream>

#include <nlohmann/json.hpp>

#include "options.hpp"

namespace tauravatd {
namespace {

bool ValidSite(const std::string& site) {
  if (site.empty() || site.size() > 64) return false;
  for (const char c : site) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

// mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; [v6 address] in brackets.
void Url(const std::string& url, BrokerConfig& broker) {
  const auto fail = [&url](const std::string& why) {
    throw OptionsError("broker " + url + ": " + why);
  };
  std::string rest;
  if (url.starts_with("mqtt://")) {
    rest = url.substr(7);
  } else if (url.starts_with("mqtts://")) {
    rest = url.substr(8);
    broker.tls = true;
    broker.port = 8883;
  } else {
    fail("expected mqtt://HOST:PORT or mqtts://HOST:PORT");
  }
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  std::string port;
  if (rest.starts_with("[")) {
    const size_t close = rest.find(']');
    if (close == std::string::npos) fail("an address in [ ] is not closed");
    broker.host = rest.substr(1, close - 1);
    if (close + 1 < rest.size()) {
      if (rest[close + 1] != ':') fail("expected :PORT after the address");
      port = rest.substr(close + 2);
    }
  } else {
    const size_t colon = rest.rfind(':');
    broker.host = rest.substr(0, colon);
    if (colon != std::string::npos) port = rest.substr(colon + 1);
  }
  if (broker.host.empty() || broker.host.find_first_of("/@?") != std::string::npos) {
    fail("expected a host name or address");
  }
  if (!port.empty() || rest.ends_with(":")) {
    if (port.empty() || port.size() > 5 ||
        port.find_first_not_of("0123456789") != std::string::npos || std::stoi(port) < 1 ||
        std::stoi(port) > 65535) {
      fail("the port must be a number from 1 to 65535");
    }
    broker.port = std::stoi(port);
  }
}

std::string Password(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw OptionsError("cannot read the broker password file " + path);
  std::ostringstream text;
  text << file.rdbuf();
  std::string password = text.str();
  while (!password.empty() && (password.back() == '\n' || password.back() == '\r')) {
    password.pop_back();
  }
  if (password.empty()) throw OptionsError("the broker password file " + path + " is empty");
  return password;
}

}  // namespace

void BrokerFlags::Override(const BrokerFlags& other) {
  for (auto [mine, theirs] : {std::pair{&url, &other.url},
                              {&site, &other.site},
                              {&user, &other.user},
                              {&passwordFile, &other.passwordFile},
                              {&caFile, &other.caFile},
                              {&keepalive, &other.keepalive}}) {
    if (*theirs) *mine = *theirs;
  }
}

BrokerFlags BrokerFromJson(const nlohmann::json& value, const std::string& where) {
  if (!value.is_object()) throw OptionsError(where + ": broker: expected an object");
  BrokerFlags flags;
  const std::map<std::string, std::optional<std::string>*> keys = {
      {"url", &flags.url},        {"site", &flags.site},
      {"user", &flags.user},      {"password_file", &flags.passwordFile},
      {"ca_file", &flags.caFile}, {"keepalive_s", &flags.keepalive}};
  for (const auto& [key, setting] : value.items()) {
    const auto known = keys.find(key);
    if (known == keys.end()) throw OptionsError(where + ": broker: unknown field \"" + key + "\"");
    if (key == "keepalive_s") {
      if (!setting.is_number_integer()) {
        throw OptionsError(where + ": broker: keepalive_s must be a whole number");
      }
      flags.keepalive = std::to_string(setting.get<int64_t>());
    } else if (setting.is_string()) {
      *known->second = setting.get<std::string>();
    } else {
      throw OptionsError(where + ": broker: " + key + " must be a string");
    }
  }
  return flags;
}

std::optional<BrokerConfig> MakeBroker(const BrokerFlags& flags) {
  if (!flags.url) {
    if (flags.site || flags.user || flags.passwordFile || flags.caFile || flags.keepalive) {
      throw OptionsError("the broker's settings need the broker itself (--broker URL)");
    }
    return std::nullopt;
  }
  BrokerConfig broker;
  Url(*flags.url, broker);
  if (!flags.site) throw OptionsError("a broker needs the site's name (--site NAME)");
  if (!ValidSite(*flags.site)) {
    throw OptionsError("site name \"" + *flags.site +
                       "\": use 1 to 64 letters, digits, \"_\" or \"-\"");
  }
  broker.site = *flags.site;
  broker.user = flags.user;
  if (flags.passwordFile) {
    if (!flags.user) throw OptionsError("a broker password needs a user (--broker-user)");
    broker.password = Password(*flags.passwordFile);
  }
  if (flags.caFile) {
    if (!broker.tls) throw OptionsError("--broker-ca needs a broker on mqtts://");
    if (!std::ifstream(*flags.caFile)) {
      throw OptionsError("cannot read the broker's certificate authority " + *flags.caFile);
    }
    broker.caFile = flags.caFile;
  }
  if (flags.keepalive) {
    const std::string& text = *flags.keepalive;
    if (text.empty() || text.size() > 5 ||
        text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) < 5 ||
        std::stoi(text) > 65535) {
      throw OptionsError("the broker keep-alive must be 5 to 65535 seconds");
    }
    broker.keepaliveSeconds = std::stoi(text);
  }
  return broker;
}

}  // namespace tauravatd
