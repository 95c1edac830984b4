#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

namespace kestra::emu {

enum class FaultKind {
  kNak,             // refuse the command with NAK; it is not carried out
  kSilence,         // answer nothing and forget the command (the computer times out)
  kWrongFirstByte,  // a wrong byte where the ACK or status belongs; not carried out
  kGarbage,         // carry the command out, then send a few random bytes after the reply
  kDropByte,        // carry the command out but lose the last byte of its first reply
  kDelay,           // carry the command out and hold its reply back
  kCancelReceipt,   // the printer cancels the open receipt before handling the command
};

std::string_view FaultName(FaultKind kind);
std::optional<FaultKind> ParseFaultKind(std::string_view name);

// A fault aimed at a command: it fires on the matching commands after the first `skip`
// of them, `times` times (a negative count: every time).
struct FaultRule {
  std::optional<uint8_t> command;  // none: any command
  FaultKind kind = FaultKind::kNak;
  int skip = 0;
  int times = 1;
};

// "CMD:KIND[:SKIP[:TIMES]]": CMD a command code (decimal, or hex with 0x) or "any"; nothing
// when the text is not such a rule. The syntax of kestra-emu's --fault and control socket.
std::optional<FaultRule> ParseFaultRule(std::string_view text);

// A whole number in decimal, or in hex with "0x"; nothing for anything else.
std::optional<long> ParseInteger(std::string_view text);

// Faults at random: each command draws one with this probability, of one of `kinds`.
struct RandomFaults {
  double probability = 0.0;
  std::vector<FaultKind> kinds;  // empty: every kind
};

struct FaultPlan {
  std::vector<FaultRule> rules;
  RandomFaults random;
  uint32_t seed = 1;
  std::chrono::milliseconds delay{300};  // how long kDelay holds a reply back
  uint8_t wrongByte = 0x55;              // what kWrongFirstByte sends
};

// Decides, command by command, which fault (if any) strikes. Deterministic for a
// given plan and command sequence.
class FaultInjector {
 public:
  explicit FaultInjector(FaultPlan plan);

  std::optional<FaultKind> OnCommand(uint8_t command);
  // Random bytes for kGarbage.
  std::vector<uint8_t> Garbage();

  void AddRule(FaultRule rule);
  const FaultPlan& Plan() const { return plan_; }
  uint64_t Injected() const { return injected_; }
  // How often `kind` struck `command`, by a rule or at random.
  uint64_t Struck(uint8_t command, FaultKind kind) const;

 private:
  struct RuleState {
    FaultRule rule;
    int seen = 0;
    int fired = 0;
  };

  FaultKind Strike(uint8_t command, FaultKind kind);

  FaultPlan plan_;
  std::vector<RuleState> rules_;
  std::mt19937 rng_;
  uint64_t injected_ = 0;
  std::map<std::pair<uint8_t, FaultKind>, uint64_t> struck_;
};

}  // namespace kestra::emu
