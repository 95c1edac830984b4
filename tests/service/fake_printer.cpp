#include "fake_printer.hpp"

#include "receipt_total.hpp"
#include "result_codes.hpp"

namespace tauravatd::testing {

void FakePrinter::Script(const std::string& operation, Fault fault) {
  std::lock_guard lock(mutex_);
  faults_[operation].push_back(fault);
}

void FakePrinter::OnCall(std::function<void(const std::string&)> hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void FakePrinter::SetReachable(bool reachable) {
  std::lock_guard lock(mutex_);
  reachable_ = reachable;
}

void FakePrinter::SetSilent(bool silent) {
  std::lock_guard lock(mutex_);
  silent_ = silent;
}

void FakePrinter::SetConditions(int32_t code) {
  std::lock_guard lock(mutex_);
  conditions_ = code;
}

void FakePrinter::SetDevice(DeviceInfo device) {
  std::lock_guard lock(mutex_);
  device_ = std::move(device);
}

void FakePrinter::SetRates(RateTable rates) {
  std::lock_guard lock(mutex_);
  rates_ = rates;
}

void FakePrinter::SetCounter(int32_t counter) {
  std::lock_guard lock(mutex_);
  counter_ = counter;
}

std::vector<PrintedReceipt> FakePrinter::Paper() const {
  std::lock_guard lock(mutex_);
  return paper_;
}

int32_t FakePrinter::Counter() const {
  std::lock_guard lock(mutex_);
  return counter_;
}

int FakePrinter::Cancelled() const {
  std::lock_guard lock(mutex_);
  return cancelled_;
}

bool FakePrinter::ReceiptOpen() const {
  std::lock_guard lock(mutex_);
  return receiptOpen_;
}

int FakePrinter::Opens() const {
  std::lock_guard lock(mutex_);
  return opens_;
}

std::vector<std::string> FakePrinter::Calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

// The driver's side of one connection: whether it holds a receipt open, and the tables
// and totals of that receipt.
class FakeBackend : public PrinterBackend {
 public:
  explicit FakeBackend(std::shared_ptr<FakePrinter> printer) : printer_(std::move(printer)) {}

  int32_t Open() override {
    return Call("open", [&] {
      // Opening identifies the printer: a silent one does not answer.
      if (p().silent_) return kReceiveTimeout;
      // Opening cancels any receipt the printer holds open.
      if (p().receiptOpen_) Cancel();
      ++p().opens_;
      open_ = true;
      driverReceipt_ = false;
      return kOk;
    });
  }
  void Close() override { open_ = false; }

  int32_t Identify(DeviceInfo& device) override {
    return Call("identify", [&] {
      device = p().device_;
      return kOk;
    });
  }
  int32_t ReceiptConditions() override {
    return Call("conditions", [&] { return p().conditions_; });
  }
  int32_t ReadRates(RateTable& rates) override {
    return Call("read_rates", [&] {
      rates = p().rates_;
      return kOk;
    });
  }
  int32_t WriteRates(RateTable& rates) override {
    return Call("write_rates", [&] {
      if (p().counter_ != 0) return kReceiptCounterNotZero;
      p().rates_ = rates;
      return kOk;
    });
  }
  int32_t SetPayments(std::span<const PaymentLine> payments) override {
    payments_.assign(payments.begin(), payments.end());
    return kOk;
  }
  int32_t SetExtraLines(std::span<const ExtraLine> lines) override {
    lines_.assign(lines.begin(), lines.end());
    return kOk;
  }
  int32_t ReceiptBegin() override {
    if (driverReceipt_) return kReceiptOpen;
    return Call("begin", [&] {
      if (p().conditions_ != kOk) return p().conditions_;
      p().receiptOpen_ = true;
      p().current_ = {};
      driverReceipt_ = true;
      request_ = {};
      return kOk;
    });
  }
  int32_t ReceiptItem(const SaleLine& item, int64_t& value) override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("item", [&] {
      if (!p().receiptOpen_) return kReceiptCancelled;
      p().current_.items.push_back(item.name);
      request_.items.push_back(item);
      value = item.value;
      return kOk;
    });
  }
  int32_t ReceiptEnd(int32_t discountPercent) override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("end", [&] {
      // The printer no longer holds the receipt (an end it already carried out).
      if (!p().receiptOpen_) {
        driverReceipt_ = false;
        return kNak;
      }
      request_.discountPercent = discountPercent;
      p().current_.total = ReceiptTotal(request_);
      p().current_.number = ++p().counter_;
      p().paper_.push_back(p().current_);
      p().receiptOpen_ = false;
      driverReceipt_ = false;
      return kOk;
    });
  }
  int32_t ReceiptCancel() override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("cancel", [&] {
      Cancel();
      driverReceipt_ = false;
      return kOk;
    });
  }
  int32_t ReceiptNumber(int32_t& number) override {
    if (driverReceipt_) return kReceiptOpen;
    return Call("counter", [&] {
      number = p().counter_;
      return kOk;
    });
  }
  int32_t DailyReportNumber(int32_t& number) override {
    return Call("daily_report_number", [&] {
      number = 1;
      return kOk;
    });
  }
  int32_t ReadClock(std::string& text) override {
    return Call("clock", [&] {
      text = "24.05.01;12:30";
      return kOk;
    });
  }
  int32_t OpenDrawer(int32_t) override {
    return Call("drawer", [] { return kOk; });
  }
  int32_t DailyReport(bool force) override {
    return Call("daily_report", [&] {
      if (p().counter_ == 0 && !force) return kNoReceiptsSinceReport;
      p().counter_ = 0;
      return kOk;
    });
  }
  int32_t PeriodReport(ReportKind, Date, Date) override {
    return Call("period_report", [] { return kOk; });
  }
  int32_t MonthlyReport(ReportKind, int32_t, int32_t) override {
    return Call("monthly_report", [] { return kOk; });
  }
  int32_t NumberReport(ReportKind, int32_t, int32_t) override {
    return Call("number_report", [] { return kOk; });
  }

 private:
  FakePrinter& p() { return *printer_; }

  void Cancel() {
    if (!p().receiptOpen_) return;
    p().receiptOpen_ = false;
    ++p().cancelled_;
  }

  template <class Action>
  int32_t Call(const std::string& operation, Action&& action) {
    if (!printer_) return 2;  // no such device
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard lock(p().mutex_);
      hook = p().hook_;
    }
    if (hook) hook(operation);
    std::lock_guard lock(p().mutex_);
    p().calls_.push_back(operation);
    if (operation != "open" && !open_) return kNotInitialised;
    // A scripted fault comes first: the printer may have acted before the line failed.
    auto& faults = p().faults_[operation];
    if (!faults.empty()) {
      const Fault fault = faults.front();
      faults.pop_front();
      if (fault.acted) action();
      return fault.code;
    }
    if (!p().reachable_) return operation == "open" ? 2 : kReceiveTimeout;
    if (p().silent_ && operation != "open") return kReceiveTimeout;
    return action();
  }

  std::shared_ptr<FakePrinter> printer_;
  bool open_ = false;
  bool driverReceipt_ = false;
  ReceiptRequest request_;
  std::vector<PaymentLine> payments_;
  std::vector<ExtraLine> lines_;
};

std::shared_ptr<FakePrinter> FakeDriver::Add(const std::string& device) {
  auto printer = std::make_shared<FakePrinter>();
  printers_[device] = printer;
  return printer;
}

std::unique_ptr<PrinterBackend> FakeDriver::MakeBackend(const PrinterSettings& settings) {
  const auto found = printers_.find(settings.device);
  return std::make_unique<FakeBackend>(found == printers_.end() ? nullptr : found->second);
}

CodeDescription FakeDriver::Describe(int32_t code) const {
  return {"CODE_" + std::to_string(code), "kod " + std::to_string(code),
          "code " + std::to_string(code)};
}

}  // namespace tauravatd::testing
