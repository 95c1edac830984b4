#include "handle_backend.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "result_codes.hpp"
#include "sale_check.hpp"
#include "tauravat.h"

namespace tauravatd {
namespace {

class HandleBackend : public PrinterBackend {
 public:
  explicit HandleBackend(PrinterSettings settings) : settings_(std::move(settings)) {}
  ~HandleBackend() override { Close(); }
  HandleBackend(const HandleBackend&) = delete;
  HandleBackend& operator=(const HandleBackend&) = delete;

  int32_t Open() override {
    Close();
    tauravat_options options{};
    options.size = sizeof options;
    options.baud = settings_.baud;
    options.timeout_ms = settings_.timeoutMs;
    options.print_limit_ms = settings_.printLimitMs;
    return tauravat_open(settings_.device.c_str(), &options, &printer_);
  }

  void Close() override {
    tauravat_close(printer_);
    printer_ = nullptr;
  }

  int32_t Identify(DeviceInfo& device) override {
    if (printer_ == nullptr) return kNotInitialised;
    if (const int32_t code = tauravat_device_type(printer_, &device.type, &device.version);
        code != kOk) {
      return code;
    }
    std::array<char, TAURAVAT_DEVICE_NAME_SIZE> name{};
    size_t needed = 0;
    const int32_t code = tauravat_device_name(printer_, name.data(), name.size(), &needed);
    if (code == kOk) device.name = name.data();
    return code;
  }

  int32_t ReceiptConditions() override { return Call(tauravat_receipt_conditions); }

  int32_t ReadRates(RateTable& rates) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_read_vat(printer_, &rates.count, rates.values.data());
  }

  int32_t WriteRates(const RateTable& rates, bool force, bool& written) override {
    written = false;
    if (printer_ == nullptr) return kNotInitialised;
    tauravat_rates table{};
    table.size = sizeof table;
    table.count = rates.count;
    std::copy(rates.values.begin(), rates.values.end(), table.values);
    int32_t wrote = 0;
    const int32_t code =
        tauravat_write_rates(printer_, &table, force ? TAURAVAT_FORCE : 0u, &wrote);
    written = wrote != 0;
    return code;
  }

  int32_t SetPayments(std::span<const PaymentLine> payments) override {
    if (const int32_t code = Call(tauravat_erase_payments); code != kOk) return code;
    for (size_t i = 0; i < payments.size(); ++i) {
      const int32_t code = tauravat_fill_payment(printer_, static_cast<int32_t>(i + 1),
                                                 payments[i].name.c_str(), payments[i].amount, 0);
      if (code != kOk) return code;
    }
    return kOk;
  }

  int32_t SetExtraLines(std::span<const ExtraLine> lines) override {
    if (const int32_t code = Call(tauravat_erase_lines); code != kOk) return code;
    for (const ExtraLine& line : lines) {
      const int32_t code = tauravat_fill_lines(printer_, line.code, line.text.c_str(), nullptr);
      if (code != kOk) return code;
    }
    return kOk;
  }

  int32_t ReceiptBegin() override { return Call(tauravat_receipt_begin); }

  int32_t ReceiptItem(const SaleLine& line, int64_t& value) override {
    if (printer_ == nullptr) return kNotInitialised;
    tauravat_item item = ItemOf(line);
    item.value = line.value;
    return tauravat_receipt_item(printer_, &item, &value);
  }

  int32_t ReceiptEnd(int32_t discountPercent) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_receipt_end(printer_, discountPercent);
  }

  int32_t ReceiptCancel() override { return Call(tauravat_receipt_cancel); }

  int32_t ReadReceiptCounter(ReceiptCounter& counter) override {
    if (printer_ == nullptr) return kNotInitialised;
    int32_t known = 0;
    const int32_t code = tauravat_receipt_counter(printer_, &counter.number, &known);
    counter.known = known != 0;
    return code;
  }

  int32_t DailyReportNumber(int32_t& number) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_daily_report_number(printer_, &number);
  }

  int32_t ReadClock(std::string& text) override {
    if (printer_ == nullptr) return kNotInitialised;
    std::array<char, TAURAVAT_CLOCK_SIZE> clock{};
    size_t needed = 0;
    const int32_t code = tauravat_read_clock(printer_, clock.data(), clock.size(), &needed);
    if (code == kOk) text = clock.data();
    return code;
  }

  int32_t OpenDrawer(int32_t drawer) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_open_drawer(printer_, drawer);
  }

  int32_t DailyReport(bool force) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_daily_report(printer_, force ? 1 : 0);
  }

  int32_t PeriodReport(ReportKind kind, Date from, Date to) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_period_report(printer_, static_cast<int32_t>(kind), from.year, from.month,
                                  from.day, to.year, to.month, to.day);
  }

  int32_t MonthlyReport(ReportKind kind, int32_t year, int32_t month) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_monthly_report(printer_, static_cast<int32_t>(kind), year, month);
  }

  int32_t NumberReport(ReportKind kind, int32_t from, int32_t to) override {
    if (printer_ == nullptr) return kNotInitialised;
    return tauravat_number_report(printer_, static_cast<int32_t>(kind), from, to);
  }

 private:
  int32_t Call(int32_t(TAURAVAT_CALL* operation)(tauravat_printer*)) {
    return printer_ == nullptr ? kNotInitialised : operation(printer_);
  }

  PrinterSettings settings_;
  tauravat_printer* printer_ = nullptr;
};

std::string Message(int32_t code, const char* language) {
  size_t needed = 0;
  std::vector<char> text(TAURAVAT_MESSAGE_SIZE);
  if (tauravat_message(code, language, text.data(), text.size(), &needed) ==
      TAURAVAT_E_BUFFER_TOO_SMALL) {
    text.resize(needed);
    tauravat_message(code, language, text.data(), text.size(), &needed);
  }
  return text.data();
}

class HandleDriver : public Driver {
 public:
  std::unique_ptr<PrinterBackend> MakeBackend(const PrinterSettings& settings) override {
    return std::make_unique<HandleBackend>(settings);
  }

  CodeDescription Describe(int32_t code) const override {
    return {CodeName(code), Message(code, "pl"), Message(code, "en")};
  }
};

}  // namespace

std::unique_ptr<Driver> MakeHandleDriver() {
  return std::make_unique<HandleDriver>();
}

}  // namespace tauravatd
