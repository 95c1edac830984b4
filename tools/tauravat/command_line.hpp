// Splits the command line into the global options, the subcommand, its options and its
// arguments. Options may stand before or after the subcommand's name.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "command.hpp"

namespace tauravat::cli {

struct GlobalOptions {
  std::string port;  // as given; TAURAVAT_PORT is consulted later, when a port is needed
  uint32_t speed = 9600;
  std::optional<uint16_t> timeout;  // seconds, for every byte; each command has its default
  bool json = false;
  bool help = false;
  bool version = false;
  bool progress = true;
  std::string language;  // "pl" or "en" from --lang; empty: the locale's
};

// The time-out of commands that do not choose their own.
inline constexpr uint16_t kDefaultTimeout = 5;

struct CommandLine {
  GlobalOptions global;
  const Command* command = nullptr;            // null: none given (only --help makes sense then)
  std::map<std::string, std::string> options;  // a flag maps to ""
  std::vector<std::string> args;
};

// On a mistake gives nothing and names it in `error`.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& argv,
                                            std::string& error);

// Whether the words ask for JSON output: known even when they cannot be parsed, so the
// mistake itself can be reported as JSON.
bool AsksForJson(const std::vector<std::string>& argv);

// Help texts: the overview and one subcommand's page.
std::string OverviewHelp();
std::string CommandHelp(const Command& command);

}  // namespace tauravat::cli
