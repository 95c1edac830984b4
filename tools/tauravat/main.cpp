// tauravat: every operation of the KESTRA fiscal printer driver from a shell.
#include <clocale>
#include <iostream>
#include <memory>

#include "command_line.hpp"
#include "context.hpp"
#include "encoding.hpp"
#include "port_option.hpp"
#include "progress.hpp"

using namespace tauravat::cli;

int main(int argc, char** argv) {
  // Only the character set: numbers keep their C form in the output.
  std::setlocale(LC_CTYPE, "");
  const std::string codeset = TerminalCodeset();
  const auto terminal = [&](const std::string& utf8) {
    return Convert(utf8, "UTF-8", codeset, true).value_or(utf8);
  };

  std::string error;
  auto line = ParseCommandLine({argv + 1, argv + argc}, error);
  if (!line) {
    std::cerr << "tauravat: " << terminal(error) << '\n';
    return kExitUsage;
  }
  if (line->global.help) {
    std::cout << terminal(line->command ? CommandHelp(*line->command) : OverviewHelp());
    return kExitOk;
  }
  if (line->command == nullptr) {
    std::cerr << terminal(OverviewHelp());
    return kExitUsage;
  }

  uint8_t port = 0;
  const bool checkOnly = line->options.contains("--dry-run");
  if (line->command->usesPrinter && !checkOnly) {
    const auto resolved = ResolvePort(line->global.port, error);
    if (!resolved) {
      std::cerr << "tauravat " << line->command->name << ": " << terminal(error) << '\n';
      return kExitUsage;
    }
    port = *resolved;
  }

  std::unique_ptr<Progress> progress;
  if (line->global.progress) progress = std::make_unique<Progress>(codeset);
  const Command& command = *line->command;
  Context context(std::move(*line), codeset, port);
  return command.run(context);
}
