#include "kestra/emu/control_commands.hpp"

#include <cmath>
#include <optional>

#include "json_reader.hpp"
#include "json_writer.hpp"

namespace kestra::emu {
namespace {

std::string Ok() {
  return R"({"ok":true})";
}

std::string Error(std::string_view why) {
  JsonWriter json;
  json.BeginObject().Bool("ok", false).String("error", why).EndObject();
  return json.Take();
}

// A whole number given as a JSON number or as text ("8", "0x08").
std::optional<long> Whole(const JsonValue* value) {
  if (value == nullptr) return std::nullopt;
  if (value->kind == JsonValue::Kind::kString) return ParseInteger(value->text);
  if (value->kind != JsonValue::Kind::kNumber) return std::nullopt;
  const double n = value->number;
  if (std::trunc(n) != n || std::abs(n) > 1e15) return std::nullopt;
  return static_cast<long>(n);
}

const std::string* Text(const JsonValue& request, std::string_view key) {
  const JsonValue* value = request.Find(key);
  return value != nullptr && value->kind == JsonValue::Kind::kString ? &value->text : nullptr;
}

std::string LoadPaper(Printer& printer, const JsonValue&) {
  printer.LoadPaper();
  return Ok();
}

std::string PaperOut(Printer& printer, const JsonValue& request) {
  const JsonValue* after = request.Find("after");
  if (after == nullptr) {
    printer.SetPaper(false);
    return Ok();
  }
  const auto lines = Whole(after);
  if (!lines || *lines < 0 || *lines > 100'000'000) {
    return Error("\"after\" expects a count of lines 0..100000000");
  }
  if (*lines == 0) {
    printer.SetPaper(false);
  } else {
    printer.PaperEndsAfter(static_cast<int>(*lines));
  }
  return Ok();
}

std::string Fault(Printer& printer, const JsonValue& request) {
  const std::string* text = Text(request, "rule");
  const auto rule = text != nullptr ? ParseFaultRule(*text) : std::nullopt;
  if (!rule) {
    return Error(
        "\"rule\" expects CMD:KIND[:SKIP[:TIMES]]; KIND is nak, silence, wrong-byte, garbage, "
        "drop-byte, delay or cancel-receipt");
  }
  printer.Faults().AddRule(*rule);
  return Ok();
}

std::string SetStatus(Printer& printer, const JsonValue& request) {
  const std::string* name = Text(request, "name");
  uint8_t* field = name != nullptr ? StatusByteNamed(printer.Status(), *name) : nullptr;
  if (field == nullptr) {
    std::string known;
    for (const auto n : StatusByteNames()) known += (known.empty() ? "" : ", ") + std::string(n);
    return Error("\"name\" expects one of " + known);
  }
  const auto value = Whole(request.Find("value"));
  if (!value || *value < 0 || *value > 255) return Error("\"value\" expects 0..255");
  *field = static_cast<uint8_t>(*value);
  return Ok();
}

std::string State(Printer& printer, const JsonValue&) {
  return R"({"ok":true,"state":)" + printer.SnapshotJson() + "}";
}

std::string Paper(Printer& printer, const JsonValue&) {
  JsonWriter json;
  json.BeginObject().Bool("ok", true).BeginArray("paper");
  for (const auto& line : printer.Paper().Lines()) json.String(line);
  json.EndArray()
      .Number("printedLines", static_cast<int64_t>(printer.Paper().PrintedLines()))
      .EndObject();
  return json.Take();
}

struct Command {
  std::string_view name;
  std::string (*run)(Printer&, const JsonValue&);
};

constexpr Command kCommands[] = {
    {"load-paper", LoadPaper}, {"paper-out", PaperOut}, {"fault", Fault},
    {"set-status", SetStatus}, {"state", State},        {"paper", Paper},
};

}  // namespace

std::string ControlReply(Printer& printer, std::string_view line) {
  std::string error;
  const auto request = ParseJson(line, error);
  if (!request) return Error("not JSON: " + error);
  const std::string* name =
      request->kind == JsonValue::Kind::kObject ? Text(*request, "command") : nullptr;
  if (name == nullptr) return Error("expects a JSON object with a \"command\"");
  for (const auto& command : kCommands) {
    if (command.name == *name) return command.run(printer, *request);
  }
  std::string known;
  for (const auto& command : kCommands)
    known += (known.empty() ? "" : ", ") + std::string(command.name);
  return Error("unknown command \"" + *name + "\"; known: " + known);
}

}  // namespace kestra::emu
