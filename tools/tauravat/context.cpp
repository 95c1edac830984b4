#include "context.hpp"

#include <charconv>
#include <cstring>
#include <iostream>

#include "encoding.hpp"
#include "handle_text.hpp"
#include "language.hpp"
#include "progress.hpp"

namespace tauravat::cli {

int ReportUsageError(bool json, const std::string& codeset, const std::string& who,
                     const std::string& what) {
  ClearProgressLine();
  if (json) {
    const nlohmann::json out = {
        {"ok", false}, {"error", ExitStatusName(kExitUsage)}, {"message", what}};
    std::cout << out.dump(2) << '\n';
    std::cout.flush();
  }
  std::cerr << (who.empty() ? std::string("tauravat: ") : "tauravat " + who + ": ")
            << ForTerminal(what, codeset) << '\n';
  return kExitUsage;
}

Context::Context(CommandLine line, std::string codeset, ResolvedPort port)
    : line_(std::move(line)),
      codeset_(std::move(codeset)),
      language_(line_.global.language.empty() ? EnvironmentLanguage() : line_.global.language),
      port_(std::move(port)) {}

Context::~Context() = default;

std::optional<std::string> Context::Option(const std::string& name) const {
  const auto found = line_.options.find(name);
  if (found == line_.options.end()) return std::nullopt;
  return found->second;
}

namespace {
std::optional<long> ParseLong(const std::string& text) {
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}
}  // namespace

std::optional<long> Context::ArgNumber(size_t index, long min, long max, const std::string& what) {
  const auto value = ParseLong(Arg(index));
  if (!value || *value < min || *value > max) {
    UsageError(what + " \"" + Arg(index) + "\": expected " + std::to_string(min) + ".." +
               std::to_string(max));
    return std::nullopt;
  }
  return value;
}

std::optional<long> Context::OptionNumber(const std::string& name, long min, long max,
                                          long fallback) {
  const auto text = Option(name);
  if (!text) return fallback;
  const auto value = ParseLong(*text);
  if (!value || *value < min || *value > max) {
    UsageError(name + " \"" + *text + "\": expected " + std::to_string(min) + ".." +
               std::to_string(max));
    return std::nullopt;
  }
  return value;
}

std::optional<std::string> Context::ArgUtf8(size_t index, const std::string& what) {
  const auto text = Convert(Arg(index), codeset_, "UTF-8");
  if (!text) UsageError(what + " is not valid " + codeset_);
  return text;
}

int32_t Context::Connect() {
  return ConnectAt(line_.global.speed, Timeout());
}

int32_t Context::ConnectAt(uint32_t speed, uint16_t timeout) {
  return OpenWith(&tauravat_open, speed, timeout);
}

int32_t Context::OpenRawPort() {
  return OpenWith(&tauravat_open_port, line_.global.speed, Timeout());
}

int32_t Context::Model(tauravat_model_info& info) const {
  info.size = sizeof(tauravat_model_info);
  return tauravat_printer_model(printer_.get(), &info);
}

int32_t Context::OpenWith(Opener open, uint32_t speed, uint16_t timeout) {
  // One port, one handle: a second connection (probe's next speed) closes the first.
  printer_.reset();
  // No print limit: a command follows a printout as long as the printer says it prints.
  const tauravat_options options{
      sizeof(tauravat_options), speed, timeout * 1000u, &ShowCaption, nullptr, 0, nullptr, nullptr};
  tauravat_printer* opened = nullptr;
  const int32_t code = open(port_.device.c_str(), &options, &opened);
  printer_.reset(opened);
  return code;
}

std::string Context::ForTerminal(const std::string& utf8) const {
  return cli::ForTerminal(utf8, codeset_);
}

void Context::Print(const std::string& utf8) {
  ClearProgressLine();
  if (!JsonMode()) std::cout << ForTerminal(utf8) << '\n';
}

int Context::Succeed() {
  ClearProgressLine();
  if (JsonMode()) {
    json_["ok"] = true;
    json_["code"] = 0;
    std::cout << json_.dump(2) << '\n';
  }
  std::cout.flush();
  return kExitOk;
}

std::string Context::FailureMessage(int32_t code, ExitStatus status,
                                    const std::string& osText) const {
  std::string message = MessageIn(code, language_);
  if (status != kExitCommunication || port_.device.empty()) return message;
  if (const auto text = OpenFailureText(code, port_, language_)) message = *text;
  // The system's own words say what the driver's code sums up.
  if (!osText.empty()) message += " [" + osText + "]";
  // Which device was tried: the COM number alone does not say.
  return port_.label + ": " + message;
}

int Context::Fail(int32_t code, const std::string& step) {
  ClearProgressLine();
  const ExitStatus status = ExitStatusFor(code);
  // Read first: the record is the driver's answer to the call that just failed.
  int32_t osErrno = 0;
  const std::string osText = IsPortCode(code) ? LastOsErrorText(&osErrno) : std::string();
  const std::string message = FailureMessage(code, status, osText);
  if (JsonMode()) {
    json_["ok"] = false;
    json_["code"] = code;
    const char* name = tauravat_code_name(code);
    json_["name"] = name != nullptr ? nlohmann::json(name) : nlohmann::json(nullptr);
    json_["error"] = ExitStatusName(status);
    json_["message"] = message;
    json_["message_pl"] = MessageIn(code, "pl");
    json_["message_en"] = MessageIn(code, "en");
    if (!osText.empty()) {
      json_["os_errno"] = osErrno;
      json_["os_error"] = osText;
    }
    if (!step.empty()) json_["step"] = step;
    if (status == kExitCommunication && port_.path) json_["port_path"] = *port_.path;
    std::cout << json_.dump(2) << '\n';
  } else {
    std::cout.flush();
  }
  std::cerr << "tauravat " << line_.command->name << ": "
            << (step.empty() ? "" : ForTerminal(step) + ": ") << ForTerminal(message) << " ["
            << code << "]\n";
  return status;
}

int Context::FailWith(ExitStatus status, const std::string& message, std::optional<int32_t> code) {
  ClearProgressLine();
  if (JsonMode()) {
    json_["ok"] = false;
    json_["error"] = ExitStatusName(status);
    json_["message"] = message;
    if (code) {
      json_["code"] = *code;
      const char* name = tauravat_code_name(*code);
      json_["name"] = name != nullptr ? nlohmann::json(name) : nlohmann::json(nullptr);
      json_["message_pl"] = MessageIn(*code, "pl");
      json_["message_en"] = MessageIn(*code, "en");
    }
    std::cout << json_.dump(2) << '\n';
  } else {
    std::cout.flush();
  }
  std::cerr << "tauravat " << line_.command->name << ": " << ForTerminal(message) << '\n';
  return status;
}

int Context::UsageError(const std::string& what) {
  return ReportUsageError(JsonMode(), codeset_, line_.command ? line_.command->name : "", what);
}

}  // namespace tauravat::cli
