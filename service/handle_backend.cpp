#include "handle_backend.hpp"

#include <algorithm>
#include <array>
#include <vector>

#include "result_codes.hpp"
#include "tauravat.h"

namespace tauravatd {

PrinterBackend::PrinterBackend(PrinterSettings settings) : settings_(std::move(settings)) {}

PrinterBackend::~PrinterBackend() {
  Close();
}

int32_t PrinterBackend::Open() {
  Close();
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = settings_.baud;
  options.timeout_ms = settings_.timeoutMs;
  options.print_limit_ms = settings_.printLimitMs;
  return tauravat_open(settings_.device.c_str(), &options, &printer_);
}

void PrinterBackend::Close() {
  tauravat_close(printer_);
  printer_ = nullptr;
}

int32_t PrinterBackend::Identify(DeviceInfo& device) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  if (const int32_t code = tauravat_device_type(printer_, &device.type, &device.version);
      code != TAURAVAT_OK) {
    return code;
  }
  std::array<char, TAURAVAT_DEVICE_NAME_SIZE> name{};
  size_t needed = 0;
  const int32_t code = tauravat_device_name(printer_, name.data(), name.size(), &needed);
  if (code == TAURAVAT_OK) device.name = name.data();
  return code;
}

int32_t PrinterBackend::ReceiptConditions() {
  return Call(tauravat_receipt_conditions);
}

int32_t PrinterBackend::ReadRates(RateTable& rates) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_read_vat(printer_, &rates.count, rates.values.data());
}

int32_t PrinterBackend::WriteRates(const RateTable& rates, bool force, bool& written) {
  written = false;
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  tauravat_rates table{};
  table.size = sizeof table;
  table.count = rates.count;
  std::copy(rates.values.begin(), rates.values.end(), table.values);
  int32_t wrote = 0;
  const int32_t code = tauravat_write_rates(printer_, &table, force ? TAURAVAT_FORCE : 0u, &wrote);
  written = wrote != 0;
  return code;
}

int32_t PrinterBackend::PrintSale(const tauravat_sale& sale, tauravat_sale_step_fn step, void* user,
                                  tauravat_sale_outcome& outcome) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_print_sale(printer_, &sale, step, user, &outcome);
}

int32_t PrinterBackend::ReadReceiptCounter(ReceiptCounter& counter) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  int32_t known = 0;
  const int32_t code = tauravat_receipt_counter(printer_, &counter.number, &known);
  counter.known = known != 0;
  return code;
}

int32_t PrinterBackend::DailyReportNumber(int32_t& number) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_daily_report_number(printer_, &number);
}

int32_t PrinterBackend::ReadClock(std::string& text) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  std::array<char, TAURAVAT_CLOCK_SIZE> clock{};
  size_t needed = 0;
  const int32_t code = tauravat_read_clock(printer_, clock.data(), clock.size(), &needed);
  if (code == TAURAVAT_OK) text = clock.data();
  return code;
}

int32_t PrinterBackend::OpenDrawer(int32_t drawer) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_open_drawer(printer_, drawer);
}

int32_t PrinterBackend::DailyReport(bool force) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_daily_report(printer_, force ? 1 : 0);
}

int32_t PrinterBackend::PeriodReport(ReportKind kind, Date from, Date to) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_period_report(printer_, static_cast<int32_t>(kind), from.year, from.month,
                                from.day, to.year, to.month, to.day);
}

int32_t PrinterBackend::MonthlyReport(ReportKind kind, int32_t year, int32_t month) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_monthly_report(printer_, static_cast<int32_t>(kind), year, month);
}

int32_t PrinterBackend::NumberReport(ReportKind kind, int32_t from, int32_t to) {
  if (printer_ == nullptr) return TAURAVAT_E_NOT_INITIALISED;
  return tauravat_number_report(printer_, static_cast<int32_t>(kind), from, to);
}

int32_t PrinterBackend::Call(int32_t(TAURAVAT_CALL* operation)(tauravat_printer*)) {
  return printer_ == nullptr ? TAURAVAT_E_NOT_INITIALISED : operation(printer_);
}

namespace {

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

}  // namespace

std::unique_ptr<PrinterBackend> Driver::MakeBackend(const PrinterSettings& settings) {
  return std::make_unique<PrinterBackend>(settings);
}

CodeDescription Driver::Describe(int32_t code) const {
  return {CodeName(code), Message(code, "pl"), Message(code, "en")};
}

std::unique_ptr<Driver> MakeHandleDriver() {
  return std::make_unique<Driver>();
}

}  // namespace tauravatd
