// tauravat: every operation of the KESTRA fiscal printer driver from a shell.
#include <clocale>
#include <iostream>
#include <memory>

#include "command_line.hpp"
#include "context.hpp"
#include "encoding.hpp"
#include "port_option.hpp"
#include "progress.hpp"
#include "version.hpp"

using namespace tauravat::cli;

int main(int argc, char** argv) {
  // Only the character set: numbers keep their C form in the output.
  std::setlocale(LC_CTYPE, "");
  const std::string codeset = TerminalCodeset();
  const std::vector<std::string> words(argv + 1, argv + argc);

  std::string error;
  auto line = ParseCommandLine(words, error);
  if (!line) return ReportUsageError(AsksForJson(words), codeset, "", error);
  if (line->global.help) {
    std::cout << ForTerminal(line->command ? CommandHelp(*line->command) : OverviewHelp(), codeset);
    return kExitOk;
  }
  if (line->global.version) {
    std::cout << VersionText(line->global.json);
    return kExitOk;
  }
  if (line->command == nullptr) {
    if (line->global.json) {
      return ReportUsageError(true, codeset, "", "no command given (tauravat --help lists them)");
    }
    std::cerr << ForTerminal(OverviewHelp(), codeset);
    return kExitUsage;
  }

  ResolvedPort port;
  // A dry run reaches a printer only when given one with -p (not from TAURAVAT_PORT).
  const bool checkOnly = line->options.contains("--dry-run") && line->global.port.empty();
  if (line->command->usesPrinter && !checkOnly) {
    const auto resolved = ResolvePort(ChoosePort(line->global.port), error);
    if (!resolved) return ReportUsageError(line->global.json, codeset, line->command->name, error);
    port = *resolved;
  }

  std::unique_ptr<Progress> progress;
  if (line->global.progress) progress = std::make_unique<Progress>(codeset);
  const Command& command = *line->command;
  Context context(std::move(*line), codeset, std::move(port));
  return command.run(context);
}
