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
  std::string port;
  uint32_t speed = 9600;
  uint16_t timeout = 5;  // seconds, for every byte
  bool json = false;
  bool help = false;
  bool progress = true;
};

struct CommandLine {
  GlobalOptions global;
  const Command* command = nullptr;            // null: none given (only --help makes sense then)
  std::map<std::string, std::string> options;  // a flag maps to ""
  std::vector<std::string> args;
};

// On a mistake gives nothing and names it in `error`.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& argv,
                                            std::string& error);

// Help texts: the overview and one subcommand's page.
std::string OverviewHelp();
std::string CommandHelp(const Command& command);

}  // namespace tauravat::cli
