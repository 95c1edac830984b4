// A subcommand of the program: its name, arguments, options, help and what it runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tauravat::cli {

class Context;

struct OptionSpec {
  std::string name;       // "--force"
  std::string valueName;  // empty for a flag
  std::string help;
};

struct Command {
  std::string name;
  std::string arguments;  // synopsis of the positional arguments, e.g. "FROM TO"
  std::string summary;    // one line for the overview
  std::string description;
  std::vector<OptionSpec> options;
  std::size_t minArgs = 0;
  std::size_t maxArgs = 0;
  bool usesPrinter = true;
  int (*run)(Context&) = nullptr;  // returns the exit status
};

// Every subcommand, in the order the overview lists them.
const std::vector<Command>& Commands();
const Command* FindCommand(const std::string& name);

// The groups, each defined next to its implementation.
void AddInfoCommands(std::vector<Command>& commands);
void AddRateCommands(std::vector<Command>& commands);
void AddReportCommands(std::vector<Command>& commands);
void AddCounterCommands(std::vector<Command>& commands);
void AddDeviceCommands(std::vector<Command>& commands);
void AddReceiptCommands(std::vector<Command>& commands);
void AddPortCommands(std::vector<Command>& commands);

}  // namespace tauravat::cli
