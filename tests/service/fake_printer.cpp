#include "fake_printer.hpp"

#include "receipt_total.hpp"
#include "result_codes.hpp"

namespace tauravatd::testing {

// The driver's side of one connection: whether it holds a receipt open, and that receipt's
// request (for its total).
class FakeBackend : public PrinterBackend {
 public:
  explicit FakeBackend(std::shared_ptr<FakePrinter> printer) : printer_(std::move(printer)) {}
  int32_t Open() override {
    return Call("open", [&] {
      if (s().silent) return kReceiveTimeout;    // opening identifies the printer
      s().receiptOpen = driverReceipt_ = false;  // and cancels a receipt the printer holds
      ++s().opens;
      open_ = true;
      return kOk;
    });
  }
  void Close() override { open_ = false; }
  int32_t Identify(DeviceInfo& d) override { return Read("identify", d, &FakeState::device); }
  int32_t ReceiptConditions() override {
    return Call("conditions", [&] { return s().conditions; });
  }
  int32_t ReadRates(RateTable& r) override { return Read("read_rates", r, &FakeState::rates); }
  int32_t WriteRates(const RateTable& rates, bool force, bool& written) override {
    written = false;
    return Call("write_rates", [&] {
      RateTable table = s().rates;
      std::copy_n(rates.values.begin(), rates.count, table.values.begin());
      if (table == s().rates && !force) return kOk;
      if (s().counter != 0) return kReceiptCounterNotZero;
      s().rates = table;
      written = true;
      return kOk;
    });
  }
  int32_t SetPayments(std::span<const PaymentLine>) override { return kOk; }
  int32_t SetExtraLines(std::span<const ExtraLine>) override { return kOk; }
  int32_t ReceiptBegin() override {
    if (driverReceipt_) return kReceiptOpen;
    return Call("begin", [&] {
      if (s().conditions != kOk) return s().conditions;
      s().receiptOpen = driverReceipt_ = true;
      s().current = {};
      request_ = {};
      return kOk;
    });
  }
  int32_t ReceiptItem(const SaleLine& item, int64_t& value) override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("item", [&] {
      if (!s().receiptOpen) return kReceiptCancelled;
      s().current.items.push_back(item.name);
      request_.items.push_back(item);
      value = item.value;
      return kOk;
    });
  }
  int32_t ReceiptEnd(int32_t discountPercent) override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("end", [&] {
      driverReceipt_ = false;
      if (!s().receiptOpen) return kNak;  // an end the printer already carried out
      request_.discountPercent = discountPercent;
      s().current.total = ReceiptTotal(request_);
      ++s().counter;
      s().paper.push_back(s().current);
      s().receiptOpen = false;
      return kOk;
    });
  }
  int32_t ReceiptCancel() override {
    if (!driverReceipt_) return kReceiptNotOpen;
    return Call("cancel", [&] {
      s().receiptOpen = driverReceipt_ = false;
      return kOk;
    });
  }
  int32_t ReadReceiptCounter(ReceiptCounter& counter) override {
    return driverReceipt_ ? kReceiptOpen : Read("counter", counter.number, &FakeState::counter);
  }
  int32_t DailyReportNumber(int32_t& number) override {
    number = 1;
    return Call("daily_report_number");
  }
  int32_t ReadClock(std::string& text) override {
    text = "24.05.01;12:30";
    return Call("clock");
  }
  int32_t OpenDrawer(int32_t) override { return Call("drawer"); }
  int32_t DailyReport(bool force) override {
    return Call("daily_report", [&] {
      if (s().counter == 0 && !force) return kNoReceiptsSinceReport;
      s().counter = 0;
      return kOk;
    });
  }
  int32_t PeriodReport(ReportKind, Date, Date) override { return Call("period_report"); }
  int32_t MonthlyReport(ReportKind, int32_t, int32_t) override { return Call("monthly_report"); }
  int32_t NumberReport(ReportKind, int32_t, int32_t) override { return Call("number_report"); }

 private:
  FakeState& s() { return printer_->state_; }
  template <class T>
  int32_t Read(const std::string& operation, T& value, T FakeState::*field) {
    return Call(operation, [&] {
      value = s().*field;
      return kOk;
    });
  }
  int32_t Call(
      const std::string& operation, const std::function<int32_t()>& action = [] { return kOk; }) {
    if (!printer_) return 2;  // no such device
    std::function<void(const std::string&)> hook;
    {
      std::lock_guard lock(printer_->mutex_);
      hook = printer_->hook_;
    }
    if (hook) hook(operation);
    std::lock_guard lock(printer_->mutex_);
    s().calls.push_back(operation);
    if (operation != "open" && !open_) return kNotInitialised;
    // A scripted fault comes first: the printer may have acted before the line failed.
    auto& faults = s().faults[operation];
    if (!faults.empty()) {
      const Fault fault = faults.front();
      faults.pop_front();
      if (fault.acted) action();
      return fault.code;
    }
    if (!s().reachable) return operation == "open" ? 2 : kReceiveTimeout;
    if (s().silent && operation != "open") return kReceiveTimeout;
    return action();
  }
  std::shared_ptr<FakePrinter> printer_;
  bool open_ = false, driverReceipt_ = false;
  ReceiptRequest request_;
};

std::unique_ptr<PrinterBackend> FakeDriver::MakeBackend(const PrinterSettings& settings) {
  const auto found = printers_.find(settings.device);
  return std::make_unique<FakeBackend>(found == printers_.end() ? nullptr : found->second);
}

}  // namespace tauravatd::testing
