#include "kestra/emu/faults.hpp"

#include <array>
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

}  // namespace

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
