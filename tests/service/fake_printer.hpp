// A deterministic stand-in for the driver and its printers, for the service's tests: a
// printer with a receipt counter and a paper roll of completed receipts, faults scripted
// per operation (an answer lost with or without the printer having acted), and a hook
// that lets a test hold an operation while it looks at the service.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "printer_backend.hpp"

namespace tauravatd::testing {

struct PrintedReceipt {
  std::vector<std::string> items;  // item names in order
  int64_t total = 0;
  int32_t number = 0;  // the counter after it
};

// One scripted fault: the next call of the operation answers `code`; with `acted` the
// printer carried the command out all the same (its answer was lost on the line).
struct Fault {
  int32_t code = 0;
  bool acted = false;
};

class FakePrinter {
 public:
  // Operations as the fake names them: "open", "identify", "conditions", "read_rates",
  // "write_rates", "begin", "item", "end", "cancel", "counter", "daily_report", ...
  void Script(const std::string& operation, Fault fault);
  // Called before every operation, outside the printer's lock (to hold one).
  void OnCall(std::function<void(const std::string& operation)> hook);

  // The port vanishes (opening it answers 2, every exchange 21) or comes back.
  void SetReachable(bool reachable);
  // The printer is silent: the port opens, every exchange times out (21).
  void SetSilent(bool silent);
  void SetConditions(int32_t code);
  void SetDevice(DeviceInfo device);
  void SetRates(RateTable rates);
  void SetCounter(int32_t counter);

  std::vector<PrintedReceipt> Paper() const;
  int32_t Counter() const;
  int Cancelled() const;
  bool ReceiptOpen() const;
  int Opens() const;
  // Every operation called, in order.
  std::vector<std::string> Calls() const;

 private:
  friend class FakeBackend;

  mutable std::mutex mutex_;
  std::function<void(const std::string&)> hook_;
  std::map<std::string, std::deque<Fault>> faults_;
  bool reachable_ = true;
  bool silent_ = false;
  int32_t conditions_ = 0;
  DeviceInfo device_{7, 1, "LUNO"};
  RateTable rates_{7, {2300, 800, 500, 0, 10000, 25500, 25500}};
  int32_t counter_ = 0;
  std::vector<PrintedReceipt> paper_;
  int cancelled_ = 0;
  bool receiptOpen_ = false;
  PrintedReceipt current_;
  int opens_ = 0;
  std::vector<std::string> calls_;
};

class FakeDriver : public Driver {
 public:
  // Printers by device name; a device with no printer cannot be opened (code 2).
  std::shared_ptr<FakePrinter> Add(const std::string& device);

  std::unique_ptr<PrinterBackend> MakeBackend(const PrinterSettings& settings) override;
  CodeDescription Describe(int32_t code) const override;

 private:
  std::map<std::string, std::shared_ptr<FakePrinter>> printers_;
};

}  // namespace tauravatd::testing
