// The command line and the configuration file:
//
//   tauravatd --config FILE
//   tauravatd --printer NAME=DEVICE[:BAUD] [--printer ...] [--listen HOST:PORT]
//             [--journal FILE] [--token-file FILE]
//   tauravatd --emulator
//   ... [--broker URL --site NAME ...]   (broker_options.hpp)
//
// The file is JSON:
//
//   {"listen": "127.0.0.1:8787", "token_file": "/etc/tauravatd/token",
//    "journal": "/var/lib/tauravatd/journal.sqlite",
//    "printers": [{"name": "till1", "device": "/dev/ttyUSB0", "baud": 9600,
//                  "timeout_ms": 1000}]}
//
// and optionally "token" (instead of token_file), "body_limit" (bytes), "receipt_wait_ms"
// (how long a POST waits for its receipt before 202), "poll_interval_ms" (how often an
// idle printer is asked for its state), "stall_after_ms" (how long a printer may make no
// progress before it is shown stalled), "print_limit_ms" (the longest one printout is
// followed), "waiting_per_printer" (requests that may wait for one printer at once),
// "event_streams" (event streams open at once) and "web_folder" (where the shop's page is).
//
// Flags given with --config override the file's values; --printer adds printers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "broker_options.hpp"
#include "service_config.hpp"

namespace tauravatd {

struct Options {
  ServiceConfig config;
  bool emulator = false;  // serve the built-in emulated printer "demo"
  bool journalGiven = false;
  BrokerFlags brokerFlags;  // as given, before the check
  bool help = false;
  bool version = false;
};

struct OptionsError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Reads the arguments (without the program name) and the files they name; throws
// OptionsError with a message for the user. `stateDirectory` is where the journal goes
// when none is given (systemd's $STATE_DIRECTORY).
Options ParseOptions(const std::vector<std::string>& arguments,
                     const std::optional<std::string>& stateDirectory);

// The --help text.
std::string Usage();

}  // namespace tauravatd
