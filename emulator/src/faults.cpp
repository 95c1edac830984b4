#include "kestra/emu/faults.hpp"

#include <array>
#include <charconv>
#include <utility>

namespace kestra::emu {
namespace {

constexpr std::array<std::pair<FaultKind, std::string_view>, 7> kNames = {{
    {FaultKind::kNak, "nak"},
    {FaultKind::kSilence, "silence"},
    {FaultKind::kWrongFirstByte, "wrong-byte"},
    {FaultKind::kGarbage, "garbage"},
    {FaultKind::kDropByte, "drop-byte"},
    {FaultKind::kDelay, "delay"},
    {FaultKind::kCancelReceipt, "cancel-receipt"},
}};

std::vector<std::string_view> Split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const auto at = text.find(separator);
    parts.push_back(text.substr(0, at));
    if (at == std::string_view::npos) return parts;
    text.remove_prefix(at + 1);
  }
}

}  // namespace

std::optional<long> ParseInteger(std::string_view text) {
  int base = 10;
  if (text.starts_with("0x") || text.starts_with("0X")) {
    base = 16;
    text.remove_prefix(2);
  }
  long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<FaultRule> ParseFaultRule(std::string_view text) {
  const auto parts = Split(text, ':');
  if (parts.size() < 2 || parts.size() > 4) return std::nullopt;
  FaultRule rule;
  if (parts[0] != "any") {
    const auto command = ParseInteger(parts[0]);
    if (!command || *command < 0 || *command > 255) return std::nullopt;
    rule.command = static_cast<uint8_t>(*command);
  }
  const auto kind = ParseFaultKind(parts[1]);
  if (!kind) return std::nullopt;
  rule.kind = *kind;
  if (parts.size() > 2) {
    const auto skip = ParseInteger(parts[2]);
    if (!skip || *skip < 0 || *skip > INT32_MAX) return std::nullopt;
    rule.skip = static_cast<int>(*skip);
  }
  if (parts.size() > 3) {
    const auto times = ParseInteger(parts[3]);
    if (!times || *times < INT32_MIN || *times > INT32_MAX) return std::nullopt;
    rule.times = static_cast<int>(*times);
  }
  return rule;
}

std::string_view FaultName(FaultKind kind) {
  for (const auto& [k, name] : kNames) {
    if (k == kind) return name;
  }
  return "?";
}

std::optional<FaultKind> ParseFaultKind(std::string_view name) {
  for (const auto& [k, n] : kNames) {
    if (n == name) return k;
  }
  return std::nullopt;
}

FaultInjector::FaultInjector(FaultPlan plan) : plan_(std::move(plan)), rng_(plan_.seed) {
  for (const auto& rule : plan_.rules) rules_.push_back({rule});
  if (plan_.random.kinds.empty()) {
    for (const auto& [k, name] : kNames) plan_.random.kinds.push_back(k);
  }
}

void FaultInjector::AddRule(FaultRule rule) {
  plan_.rules.push_back(rule);
  rules_.push_back({rule});
}

std::optional<FaultKind> FaultInjector::OnCommand(uint8_t command) {
  for (auto& state : rules_) {
    if (state.rule.command && *state.rule.command != command) continue;
    const int seen = state.seen++;
    if (seen < state.rule.skip) continue;
    if (state.rule.times >= 0 && state.fired >= state.rule.times) continue;
    ++state.fired;
    return Strike(command, state.rule.kind);
  }
  if (plan_.random.probability > 0.0) {
    std::uniform_real_distribution<double> chance(0.0, 1.0);
    if (chance(rng_) < plan_.random.probability) {
      std::uniform_int_distribution<std::size_t> pick(0, plan_.random.kinds.size() - 1);
      return Strike(command, plan_.random.kinds[pick(rng_)]);
    }
  }
  return std::nullopt;
}

FaultKind FaultInjector::Strike(uint8_t command, FaultKind kind) {
  ++injected_;
  ++struck_[{command, kind}];
  return kind;
}

uint64_t FaultInjector::Struck(uint8_t command, FaultKind kind) const {
  const auto found = struck_.find({command, kind});
  return found == struck_.end() ? 0 : found->second;
}

std::vector<uint8_t> FaultInjector::Garbage() {
  std::uniform_int_distribution<int> count(1, 4);
  std::uniform_int_distribution<int> byte(0, 255);
  std::vector<uint8_t> out(static_cast<std::size_t>(count(rng_)));
  for (auto& b : out) b = static_cast<uint8_t>(byte(rng_));
  return out;
}

}  // namespace kestra::emu
