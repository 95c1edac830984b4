#pragma once

#include <optional>
#include <string>
#include <vector>

#include "kestra/emu/printer_config.hpp"
#include "kestra/emu/pty_server.hpp"

namespace kestra::emu {

struct EmuOptions {
  PrinterConfig printer;
  PtyServerOptions server;
  std::string paperPath;  // "-" for standard output
  std::string snapshotPath;
  std::string controlPath;  // the control socket; none when empty
  bool help = false;
  bool version = false;  // print the program's version and end
};

// Parses the command line; on a mistake returns nothing and puts the reason in `error`.
std::optional<EmuOptions> ParseEmuOptions(const std::vector<std::string>& args, std::string& error);

std::string EmuUsage();

}  // namespace kestra::emu
