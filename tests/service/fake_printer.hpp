// A deterministic stand-in for the driver and its printers: a receipt counter, a paper roll,
// faults scripted per operation, and a hook that can hold an operation while a test looks on.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "printer_backend.hpp"
#include "scratch_directory.hpp"

namespace tauravatd::testing {

struct PrintedReceipt {
  std::vector<std::string> items;  // item names in order
  int64_t total = 0;
};

// The next call of an operation answers `code`; with `acted` the printer carried the command
// out all the same (its answer was lost on the line).
struct Fault {
  int32_t code = 0;
  bool acted = false;
};

struct FakeState {
  bool reachable = true;  // false: opening the port answers 2, every exchange 21
  bool silent = false;    // the port opens, every exchange times out (21)
  int32_t conditions = 0;
  DeviceInfo device{7, 1, "LUNO"};
  RateTable rates{
      7, {2300, 800, 500, 0, TAURAVAT_RATE_EXEMPT, TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED}};
  int32_t counter = 0;
  std::vector<PrintedReceipt> paper;
  PrintedReceipt current;
  bool receiptOpen = false;
  int opens = 0;
  std::vector<std::string> calls;  // every operation called, in order
  std::map<std::string, std::deque<Fault>> faults;
};

class FakePrinter {
 public:
  FakeState State() const {
    std::lock_guard lock(mutex_);
    return state_;
  }
  template <class T, class V>
  void Set(T FakeState::*field, V value) {
    std::lock_guard lock(mutex_);
    state_.*field = value;
  }
  // Operations: "open", "identify", "conditions", "begin", "item", "end", "cancel", ...
  void Script(const std::string& operation, Fault fault) {
    std::lock_guard lock(mutex_);
    state_.faults[operation].push_back(fault);
  }
  // Called before every operation, outside the printer's lock (so it may hold one).
  void OnCall(std::function<void(const std::string&)> hook) {
    std::lock_guard lock(mutex_);
    hook_ = std::move(hook);
  }

 private:
  friend class FakeBackend;
  mutable std::mutex mutex_;
  std::function<void(const std::string&)> hook_;
  FakeState state_;
};

// Printers by device name; a device with no printer cannot be opened (code 2).
class FakeDriver : public Driver {
 public:
  std::shared_ptr<FakePrinter> Add(const std::string& device) {
    return printers_[device] = std::make_shared<FakePrinter>();
  }
  std::unique_ptr<PrinterBackend> MakeBackend(const PrinterSettings& settings) override;
  CodeDescription Describe(int32_t code) const override {
    const std::string n = std::to_string(code);
    return {"CODE_" + n, "kod " + n, "code " + n};
  }

 private:
  std::map<std::string, std::shared_ptr<FakePrinter>> printers_;
};

}  // namespace tauravatd::testing
