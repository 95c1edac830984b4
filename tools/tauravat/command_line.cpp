#include "command_line.hpp"

#include <charconv>
#include <sstream>

namespace tauravat::cli {
namespace {

const std::vector<OptionSpec>& GlobalSpecs() {
  static const std::vector<OptionSpec> specs = {
      {"--port", "PORT", "COM number (3, COM3) or device path; default $TAURAVAT_PORT"},
      {"--speed", "BAUD", "line speed: 9600 (default), 19200 or 28800"},
      {"--timeout", "SECONDS", "how long to wait for each byte (default 5, probe 1)"},
      {"--json", "", "print the result as one JSON object on standard output"},
      {"--no-progress", "", "no progress line on the terminal"},
      {"--lang", "LANG", "messages in pl or en (default: Polish in a Polish locale)"},
      {"--help", "", "this text, or the subcommand's with a subcommand"},
      {"--version", "", "the program's and the library's versions"},
  };
  return specs;
}

// The frequent options' short forms.
std::string ShortNameOf(const std::string& name) {
  if (name == "--port") return "-p";
  if (name == "--speed") return "-b";
  if (name == "--help") return "-h";
  return {};
}

std::optional<long> Number(const std::string& text) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

bool ApplyGlobal(const std::string& name, const std::string& value, GlobalOptions& global,
                 std::string& error) {
  if (name == "--port") {
    global.port = value;
  } else if (name == "--speed") {
    const auto speed = Number(value);
    if (!speed || (*speed != 9600 && *speed != 19200 && *speed != 28800)) {
      error = "--speed " + value + ": expected 9600, 19200 or 28800";
      return false;
    }
    global.speed = static_cast<uint32_t>(*speed);
  } else if (name == "--timeout") {
    const auto seconds = Number(value);
    // The driver waits at most ten minutes for one byte.
    if (!seconds || *seconds < 1 || *seconds > 600) {
      error = "--timeout " + value + ": expected 1..600 seconds";
      return false;
    }
    global.timeout = static_cast<uint16_t>(*seconds);
  } else if (name == "--json") {
    global.json = true;
  } else if (name == "--lang") {
    if (value != "pl" && value != "en") {
      error = "--lang " + value + ": expected pl or en";
      return false;
    }
    global.language = value;
  } else if (name == "--no-progress") {
    global.progress = false;
  } else if (name == "--help") {
    global.help = true;
  } else if (name == "--version") {
    global.version = true;
  }
  return true;
}

const OptionSpec* FindSpec(const std::vector<OptionSpec>& specs, const std::string& name) {
  for (const OptionSpec& spec : specs) {
    if (spec.name == name || (!name.starts_with("--") && ShortNameOf(spec.name) == name)) {
      return &spec;
    }
  }
  return nullptr;
}

// "--name=value" and "-xvalue" carry their value in the word itself.
void SplitInlineValue(const std::string& word, std::string& name,
                      std::optional<std::string>& value) {
  name = word;
  if (word.starts_with("--")) {
    if (const size_t eq = word.find('='); eq != std::string::npos) {
      name = word.substr(0, eq);
      value = word.substr(eq + 1);
    }
  } else if (word.size() > 2) {
    name = word.substr(0, 2);
    value = word.substr(2);
  }
}

void ListOptions(std::ostringstream& out, const std::vector<OptionSpec>& specs) {
  for (const OptionSpec& spec : specs) {
    const std::string shortName = ShortNameOf(spec.name);
    std::string left = "  " + (shortName.empty() ? "    " : shortName + ", ") + spec.name +
                       (spec.valueName.empty() ? "" : " " + spec.valueName);
    if (left.size() < 28)
      left.resize(28, ' ');
    else
      left += "  ";
    out << left << spec.help << '\n';
  }
}

}  // namespace

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& argv,
                                            std::string& error) {
  CommandLine line;
  bool optionsEnded = false;
  for (size_t i = 0; i < argv.size(); ++i) {
    std::string word = argv[i];
    // A negative number is an argument (message -1), not an option.
    const bool isOption = !optionsEnded && word.size() > 1 && word[0] == '-' && !Number(word);
    if (!isOption) {
      if (line.command != nullptr) {
        line.args.push_back(word);
        continue;
      }
      line.command = FindCommand(word);
      if (line.command == nullptr) {
        error = "unknown command \"" + word + "\" (tauravat --help lists them)";
        return std::nullopt;
      }
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
      continue;
    }
    std::string name;
    std::optional<std::string> inlineValue;
    SplitInlineValue(word, name, inlineValue);
    const OptionSpec* spec = FindSpec(GlobalSpecs(), name);
    const bool global = spec != nullptr;
    if (!global && line.command != nullptr) spec = FindSpec(line.command->options, name);
    if (spec == nullptr) {
      error = "unknown option " + name;
      if (line.command != nullptr) error += " for " + line.command->name;
      return std::nullopt;
    }
    std::string value;
    if (!spec->valueName.empty()) {
      if (inlineValue) {
        value = *inlineValue;
      } else if (i + 1 < argv.size()) {
        value = argv[++i];
      } else {
        error = name + " needs a value (" + spec->valueName + ")";
        return std::nullopt;
      }
    } else if (inlineValue) {
      error = word.starts_with("--") ? name + " takes no value" : "unknown option " + word;
      return std::nullopt;
    }
    // Options are known by their long names from here on.
    name = spec->name;
    if (global) {
      if (!ApplyGlobal(name, value, line.global, error)) return std::nullopt;
    } else {
      line.options[name] = value;
    }
  }
  if (line.command != nullptr && !line.global.help && !line.global.version) {
    const Command& command = *line.command;
    if (line.args.size() < command.minArgs || line.args.size() > command.maxArgs) {
      error = command.name + " expects " +
              (command.arguments.empty() ? std::string("no arguments")
                                         : "arguments: " + command.arguments) +
              " (tauravat " + command.name + " --help)";
      return std::nullopt;
    }
  }
  return line;
}

bool AsksForJson(const std::vector<std::string>& argv) {
  for (const std::string& word : argv) {
    if (word == "--") return false;
    if (word == "--json") return true;
  }
  return false;
}

std::string OverviewHelp() {
  std::ostringstream out;
  out << "Usage: tauravat [OPTIONS] COMMAND [ARGUMENTS]\n"
         "Drives a KESTRA fiscal printer (TAURA, LUNO, RX820) through libtauravat.\n\n"
         "Commands:\n";
  for (const Command& command : Commands()) {
    std::string left = "  " + command.name;
    if (left.size() < 24)
      left.resize(24, ' ');
    else
      left += "  ";
    out << left << command.summary << '\n';
  }
  out << "\nOptions:\n";
  ListOptions(out, GlobalSpecs());
  out << "\nMessages from the printer are shown in Polish. Exit status: 0 success, 1 the\n"
         "printer refused (or you declined), 2 wrong command line or input (nothing was\n"
         "sent), 3 the printer could not be reached, 4 internal failure of the driver.\n"
         "In JSON money is a decimal string (\"12.34\") and a tax rate a percent string\n"
         "(\"23\", \"7.5\") or \"reserved\" or \"exempt\".\n"
         "\nEnvironment:\n"
         "  TAURAVAT_PORT=PORT      the port when --port is not given\n"
         "  TAURAVAT_COM<n>=PATH    the device COM<n> opens (tauravat ports lists the mapping)\n"
         "  TAURAVAT_TRACE=FILE     record every byte on the line in FILE\n"
         "\n\"tauravat COMMAND --help\" describes one command.\n";
  return out.str();
}

std::string CommandHelp(const Command& command) {
  std::ostringstream out;
  out << "Usage: tauravat " << command.name;
  if (command.usesPrinter) out << " [-p PORT]";
  if (!command.options.empty()) out << " [OPTIONS]";
  if (!command.arguments.empty()) out << ' ' << command.arguments;
  out << "\n" << command.summary << "\n\n" << command.description;
  if (!command.description.empty() && command.description.back() != '\n') out << '\n';
  if (!command.options.empty()) {
    out << "\nOptions:\n";
    ListOptions(out, command.options);
  }
  out << "\nCommon options:\n";
  ListOptions(out, GlobalSpecs());
  return out.str();
}

}  // namespace tauravat::cli
