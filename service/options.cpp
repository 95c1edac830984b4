#include "options.hpp"

#include <fstream>
#include <set>
#include <sstream>

#include <nlohmann/json.hpp>

#include "broker_options.hpp"
#include "http_server.hpp"

namespace tauravatd {
namespace {

using nlohmann::json;

constexpr const char* kDefaultJournal = "tauravatd-journal.sqlite";

std::string ReadFile(const std::string& path, const char* what) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw OptionsError(std::string("cannot read the ") + what + " " + path);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

std::string TokenFrom(const std::string& path) {
  std::string token = ReadFile(path, "token file");
  while (!token.empty() && (token.back() == '\n' || token.back() == '\r' || token.back() == ' ')) {
    token.pop_back();
  }
  if (token.size() < 16) {
    throw OptionsError("the token in " + path + " is shorter than 16 characters");
  }
  return token;
}

bool ValidName(const std::string& name) {
  if (name.empty() || name.size() > 32) return false;
  for (const char c : name) {
    const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
                    c == '_' || c == '-';
    if (!ok) return false;
  }
  return true;
}

bool AllDigits(const std::string& text) {
  return !text.empty() && text.size() < 9 &&
         text.find_first_not_of("0123456789") == std::string::npos;
}

// A setting in milliseconds or bytes: 0 or less would make the service spin or refuse
// everything, so it is refused at start.
int64_t Positive(const json& value, const std::string& key, const std::string& where) {
  const int64_t number = value.get<int64_t>();
  if (number < 1) throw OptionsError(where + ": " + key + " must be 1 or more");
  return number;
}

uint32_t Baud(int64_t baud, const std::string& where) {
  if (baud != 9600 && baud != 19200 && baud != 28800) {
    throw OptionsError(where + ": the speed must be 9600, 19200 or 28800");
  }
  return static_cast<uint32_t>(baud);
}

// Whether the colon at `colon` can start a speed: in a network name (rfc2217://HOST:PORT)
// the first colon after the host is its port's.
bool SpeedColon(const std::string& device, size_t colon) {
  const size_t scheme = device.find("://");
  if (scheme == std::string::npos) return true;
  const size_t bracket = device.find(']', scheme);  // [IPv6]
  return device.find(':', bracket == std::string::npos ? scheme + 3 : bracket) < colon;
}

// NAME=DEVICE[:BAUD]. A device path may hold colons itself (/dev/serial/by-path/...), so
// only digits after the last colon are a speed.
PrinterSettings PrinterFlag(const std::string& text) {
  const size_t equals = text.find('=');
  if (equals == std::string::npos) {
    throw OptionsError("--printer " + text + ": expected NAME=DEVICE[:BAUD]");
  }
  PrinterSettings printer;
  printer.name = text.substr(0, equals);
  printer.device = text.substr(equals + 1);
  const size_t colon = printer.device.rfind(':');
  if (colon != std::string::npos && AllDigits(printer.device.substr(colon + 1)) &&
      SpeedColon(printer.device, colon)) {
    printer.baud = Baud(std::stoll(printer.device.substr(colon + 1)), "--printer " + text);
    printer.device.erase(colon);
  }
  if (printer.device.empty()) throw OptionsError("--printer " + text + ": no device");
  return printer;
}

void Listen(const std::string& text, ServiceConfig& config) {
  std::string host;
  std::string port;
  if (!text.empty() && text.front() == '[') {
    const size_t close = text.find("]:");
    if (close == std::string::npos) throw OptionsError("listen " + text + ": expected [HOST]:PORT");
    host = text.substr(1, close - 1);
    port = text.substr(close + 2);
  } else {
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos) throw OptionsError("listen " + text + ": expected HOST:PORT");
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (host.empty() || !AllDigits(port) || std::stol(port) < 1 || std::stol(port) > 65535) {
    throw OptionsError("listen " + text + ": expected HOST:PORT with a port from 1 to 65535");
  }
  config.listenHost = host;
  config.listenPort = static_cast<int>(std::stol(port));
}

void ConfigFile(const std::string& path, Options& options) {
  json root;
  try {
    root = json::parse(ReadFile(path, "configuration file"));
  } catch (const json::exception& e) {
    throw OptionsError(path + ": " + e.what());
  }
  const auto fail = [&path](const std::string& what) { throw OptionsError(path + ": " + what); };
  if (!root.is_object()) fail("expected an object");
  try {
    for (const auto& [key, value] : root.items()) {
      if (key == "listen") {
        Listen(value.get<std::string>(), options.config);
      } else if (key == "token") {
        options.config.token = value.get<std::string>();
        if (options.config.token->size() < 16) fail("the token is shorter than 16 characters");
      } else if (key == "token_file") {
        options.config.token = TokenFrom(value.get<std::string>());
      } else if (key == "journal") {
        options.config.journalPath = value.get<std::string>();
        options.journalGiven = true;
      } else if (key == "body_limit") {
        options.config.bodyLimit = static_cast<size_t>(Positive(value, key, path));
      } else if (key == "receipt_wait_ms") {
        options.config.receiptWait = std::chrono::milliseconds(Positive(value, key, path));
      } else if (key == "poll_interval_ms") {
        options.config.worker.pollInterval = std::chrono::milliseconds(Positive(value, key, path));
      } else if (key == "stall_after_ms") {
        options.config.worker.stallAfter = std::chrono::milliseconds(Positive(value, key, path));
      } else if (key == "print_limit_ms") {
        options.config.printLimit = std::chrono::milliseconds(Positive(value, key, path));
        if (options.config.printLimit > std::chrono::hours(24)) {
          fail("print_limit_ms must be at most a day (86400000)");
        }
      } else if (key == "waiting_per_printer") {
        options.config.waitingPerPrinter = static_cast<size_t>(Positive(value, key, path));
      } else if (key == "broker") {
        options.brokerFlags = BrokerFromJson(value, path);
      } else if (key == "event_streams") {
        const int64_t streams = value.get<int64_t>();
        if (streams < 0 || streams > 1000) fail("event_streams must be from 0 to 1000");
        options.config.eventStreams = static_cast<size_t>(streams);
      } else if (key == "web_folder") {
        options.config.webFolder = value.get<std::string>();
        if (options.config.webFolder.empty()) fail("web_folder is empty");
      } else if (key == "printers") {
        for (const json& entry : value) {
          PrinterSettings printer;
          for (const auto& [field, setting] : entry.items()) {
            if (field == "name") {
              printer.name = setting.get<std::string>();
            } else if (field == "device") {
              printer.device = setting.get<std::string>();
            } else if (field == "baud") {
              printer.baud = Baud(setting.get<int64_t>(), path);
            } else if (field == "timeout_ms") {
              printer.timeoutMs = setting.get<uint32_t>();
            } else {
              fail("printers: unknown field \"" + field + "\"");
            }
          }
          if (printer.device.empty()) fail("printer " + printer.name + " has no device");
          options.config.printers.push_back(printer);
        }
      } else {
        fail("unknown field \"" + key + "\"");
      }
    }
  } catch (const json::exception& e) {
    fail(e.what());
  }
}

void Check(Options& options, const std::optional<std::string>& stateDirectory) {
  ServiceConfig& config = options.config;
  std::set<std::string> names;
  for (const PrinterSettings& printer : config.printers) {
    if (!ValidName(printer.name)) {
      throw OptionsError("printer name \"" + printer.name +
                         "\": use 1 to 32 letters, digits, \"_\" or \"-\"");
    }
    if (!names.insert(printer.name).second) {
      throw OptionsError("printer " + printer.name + " is given twice");
    }
  }
  if (config.printers.empty() && !options.emulator) {
    throw OptionsError(
        "no printer: give --printer NAME=DEVICE[:BAUD], --config FILE or --emulator");
  }
  if (!config.token && !IsLoopback(config.listenHost)) {
    throw OptionsError("listening on " + config.listenHost +
                       " needs an access token (--token-file): only the local machine may "
                       "call without one");
  }
  if (config.journalPath.empty()) {
    config.journalPath = stateDirectory ? *stateDirectory + "/journal.sqlite" : kDefaultJournal;
  }
}

}  // namespace

Options ParseOptions(const std::vector<std::string>& arguments,
                     const std::optional<std::string>& stateDirectory) {
  Options options;
  std::vector<PrinterSettings> flagPrinters;
  std::optional<std::string> listen;
  std::optional<std::string> journal;
  std::optional<std::string> tokenFile;
  BrokerFlags broker;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const auto value = [&]() -> const std::string& {
      if (i + 1 >= arguments.size()) throw OptionsError(argument + " needs a value");
      return arguments[++i];
    };
    if (argument == "--help" || argument == "-h") {
      options.help = true;
    } else if (argument == "--version") {
      options.version = true;
    } else if (argument == "--emulator") {
      options.emulator = true;
    } else if (argument == "--config") {
      ConfigFile(value(), options);
    } else if (argument == "--printer") {
      flagPrinters.push_back(PrinterFlag(value()));
    } else if (argument == "--listen") {
      listen = value();
    } else if (argument == "--journal") {
      journal = value();
    } else if (argument == "--token-file") {
      tokenFile = value();
    } else if (argument == "--broker") {
      broker.url = value();
    } else if (argument == "--site") {
      broker.site = value();
    } else if (argument == "--broker-user") {
      broker.user = value();
    } else if (argument == "--broker-password-file") {
      broker.passwordFile = value();
    } else if (argument == "--broker-ca") {
      broker.caFile = value();
    } else if (argument == "--broker-keepalive") {
      broker.keepalive = value();
    } else {
      throw OptionsError("unknown argument " + argument + " (see --help)");
    }
  }
  if (options.help || options.version) return options;
  if (listen) Listen(*listen, options.config);
  if (journal) {
    options.config.journalPath = *journal;
    options.journalGiven = true;
  }
  if (tokenFile) options.config.token = TokenFrom(*tokenFile);
  for (PrinterSettings& printer : flagPrinters) options.config.printers.push_back(printer);
  options.brokerFlags.Override(broker);
  options.config.broker = MakeBroker(options.brokerFlags);
  Check(options, stateDirectory);
  return options;
}

std::string Usage() {
  return "Usage: tauravatd --config FILE\n"
         "       tauravatd --printer NAME=DEVICE[:BAUD] [--printer ...] [--listen HOST:PORT]\n"
         "                 [--journal FILE] [--token-file FILE]\n"
         "       tauravatd --emulator\n"
         "\n"
         "A print service for KESTRA fiscal printers: HTTP/JSON on HOST:PORT (default\n"
         "127.0.0.1:8787), one queue per printer, every receipt printed at most once.\n"
         "\n"
         "  --config FILE       JSON: listen, token or token_file, journal, printers\n"
         "                      [{name, device, baud, timeout_ms}]\n"
         "  --printer N=DEV:B   a printer named N on device DEV at B b/s (9600, 19200,\n"
         "                      28800; default 9600)\n"
         "  --listen HOST:PORT  any address but the local machine's needs --token-file\n"
         "  --journal FILE      the receipt journal (default $STATE_DIRECTORY/journal.sqlite\n"
         "                      or ./tauravatd-journal.sqlite)\n"
         "  --token-file FILE   callers must send \"Authorization: Bearer <token>\"\n"
         "  --emulator          also serve a built-in emulated printer named \"demo\"\n"
         "  --broker URL        also take receipts and commands from an MQTT broker\n"
         "                      (mqtt://HOST:PORT or mqtts://HOST:PORT), with --site NAME,\n"
         "                      --broker-user USER, --broker-password-file FILE,\n"
         "                      --broker-ca FILE, --broker-keepalive SECONDS (30)\n"
         "  --version, --help\n"
         "\n"
         "The interface is described at /v1/openapi.json.\n";
}

}  // namespace tauravatd
