// What a running subcommand works with: its parsed command line, the output (human text
// or one JSON object), the printer connection, and the mapping of result codes to
// messages and exit statuses.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "command_line.hpp"
#include "exit_status.hpp"
#include "port_option.hpp"
#include "tauravat.h"

namespace tauravat::cli {

class Context {
 public:
  Context(CommandLine line, std::string codeset, ResolvedPort port);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  const CommandLine& Line() const { return line_; }
  const std::string& Arg(size_t index) const { return line_.args.at(index); }
  bool Flag(const std::string& name) const { return line_.options.contains(name); }
  std::optional<std::string> Option(const std::string& name) const;

  // Whole numbers from the arguments and options; a bad one is reported (usage error)
  // and gives nothing.
  std::optional<long> ArgNumber(size_t index, long min, long max, const std::string& what);
  std::optional<long> OptionNumber(const std::string& name, long min, long max, long fallback);

  // Text from the command line (terminal encoding) as UTF-8; reports text the terminal's
  // character set does not hold.
  std::optional<std::string> ArgUtf8(size_t index, const std::string& what);

  // --- The printer.
  const ResolvedPort& Port() const { return port_; }
  // tauravat_open on the chosen port: opens, settles, identifies. The printer is then
  // Printer() until the command ends or connects again.
  int32_t Connect();
  int32_t ConnectAt(uint32_t speed, uint16_t timeout);
  // tauravat_open_port: nothing is sent.
  int32_t OpenRawPort();
  tauravat_printer* Printer() const { return printer_.get(); }
  // The model identified when the printer was connected.
  int32_t Model(tauravat_model_info& info) const;
  // The time-out of the command line, or the command's own default.
  uint16_t Timeout(uint16_t fallback = kDefaultTimeout) const {
    return line_.global.timeout.value_or(fallback);
  }

  // --- Output.
  nlohmann::json& Json() { return json_; }
  bool JsonMode() const { return line_.global.json; }
  const std::string& Codeset() const { return codeset_; }
  // The messages' language, "pl" or "en": --lang, else the locale's.
  const std::string& Language() const { return language_; }
  // A line of the human-readable output, in UTF-8 (converted for the terminal).
  void Print(const std::string& utf8);

  // Ends the command: prints what was gathered and gives the exit status.
  int Succeed();
  // The driver answered `code`; `step` names what was being done when it matters.
  int Fail(int32_t code, const std::string& step = {});
  // A failure of this program's own: `error` is "refused" or "communication" as the exit
  // status, and the message is the program's. `code`, when the driver's answers led to it,
  // goes into JSON with its name and texts, as Fail gives them.
  int FailWith(ExitStatus status, const std::string& message,
               std::optional<int32_t> code = std::nullopt);
  int UsageError(const std::string& what);

 private:
  std::string ForTerminal(const std::string& utf8) const;
  std::string FailureMessage(int32_t code, ExitStatus status, const std::string& osText) const;

  using Opener = int32_t(TAURAVAT_CALL*)(const char*, const tauravat_options*, tauravat_printer**);
  int32_t OpenWith(Opener open, uint32_t speed, uint16_t timeout);

  CommandLine line_;
  std::string codeset_;
  std::string language_;
  ResolvedPort port_;
  std::unique_ptr<tauravat_printer, int32_t(TAURAVAT_CALL*)(tauravat_printer*)> printer_{
      nullptr, &tauravat_close};
  nlohmann::json json_ = nlohmann::json::object();
};

// A mistake on the command line: "tauravat WHO: WHAT" on standard error and, when JSON
// was asked for, {"ok": false, "error": "usage", ...} on standard output. Gives exit 2.
int ReportUsageError(bool json, const std::string& codeset, const std::string& who,
                     const std::string& what);

}  // namespace tauravat::cli
