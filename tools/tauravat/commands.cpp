#include "command.hpp"

namespace tauravat::cli {

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = [] {
    std::vector<Command> all;
    AddInfoCommands(all);
    AddPortCommands(all);
    AddRateCommands(all);
    AddReceiptCommands(all);
    AddReportCommands(all);
    AddCounterCommands(all);
    AddDeviceCommands(all);
    return all;
  }();
  return commands;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& command : Commands()) {
    if (command.name == name) return &command;
  }
  return nullptr;
}

}  // namespace tauravat::cli
