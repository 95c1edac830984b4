// What the service needs of one printer, shaped after the driver's handle interface
// (tauravat_open, tauravat_receipt_begin, tauravat_receipt_item, ...): text in UTF-8,
// money in grosz, every operation answering a driver result code. The shipped program
// implements it over the driver (handle_backend.hpp); the tests over a deterministic
// double.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "receipt_request.hpp"
#include "tauravat.h"

namespace tauravatd {

struct DeviceInfo {
  int32_t type = 11;  // the driver's device type; 11 is an unknown device
  int32_t version = 0;
  std::string name;  // UTF-8
};

// Rates A..G in hundredths of a percent; only the first `count` are the printer's.
struct RateTable {
  int32_t count = 0;
  std::array<uint32_t, 7> values{TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED,
                                 TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED,
                                 TAURAVAT_RATE_RESERVED, TAURAVAT_RATE_RESERVED,
                                 TAURAVAT_RATE_RESERVED};

  friend bool operator==(const RateTable&, const RateTable&) = default;
};

// The printer's receipt counter: the receipts since the last daily report, which is the
// number at the foot of the last one.
struct ReceiptCounter {
  int32_t number = 0;
  // False where the model may keep the counter at 0 through a receipt (LUNO and LUNO F
  // reading 0): the number then tells nothing.
  bool known = true;
};

enum class ReportKind { kShort = 0, kDetailed = 1 };

struct Date {
  int32_t year = 2000;  // four digits
  int32_t month = 1;
  int32_t day = 1;
};

class PrinterBackend {
 public:
  virtual ~PrinterBackend() = default;

  // Opens the port, cancels any receipt the printer holds open and identifies it.
  virtual int32_t Open() = 0;
  virtual void Close() = 0;

  virtual int32_t Identify(DeviceInfo& device) = 0;
  // 0 when a receipt may begin, otherwise the first reason it may not (109 paper out...).
  virtual int32_t ReceiptConditions() = 0;

  virtual int32_t ReadRates(RateTable& rates) = 0;
  // Writes the first `rates.count` rates from A, the others staying as the printer holds
  // them, only when that changes what it holds, or with `force`; `written` tells whether
  // they were written (tauravat_write_rates).
  virtual int32_t WriteRates(const RateTable& rates, bool force, bool& written) = 0;

  // The payment forms and extra lines of the next receipt end; they stay with the driver
  // until that end has sent them, so a repeated end does not send them twice.
  virtual int32_t SetPayments(std::span<const PaymentLine> payments) = 0;
  virtual int32_t SetExtraLines(std::span<const ExtraLine> lines) = 0;
  virtual int32_t ReceiptBegin() = 0;
  // `value` receives the line's value in grosz as sent.
  virtual int32_t ReceiptItem(const SaleLine& item, int64_t& value) = 0;
  virtual int32_t ReceiptEnd(int32_t discountPercent) = 0;
  virtual int32_t ReceiptCancel() = 0;

  // The receipt counter alone, never another count in its place: it rises by one with
  // every receipt the printer completes, where it is known.
  virtual int32_t ReadReceiptCounter(ReceiptCounter& counter) = 0;
  virtual int32_t DailyReportNumber(int32_t& number) = 0;
  // "yy.mm.dd;hh:mi" as the printer's clock reads.
  virtual int32_t ReadClock(std::string& text) = 0;
  virtual int32_t OpenDrawer(int32_t drawer) = 0;

  virtual int32_t DailyReport(bool force) = 0;
  virtual int32_t PeriodReport(ReportKind kind, Date from, Date to) = 0;
  virtual int32_t MonthlyReport(ReportKind kind, int32_t year, int32_t month) = 0;
  virtual int32_t NumberReport(ReportKind kind, int32_t from, int32_t to) = 0;
};

// How to reach one configured printer.
struct PrinterSettings {
  std::string name;    // the printer's name in the interface, e.g. "till1"
  std::string device;  // a path (/dev/ttyUSB0, a pty) or a port name (COM3)
  uint32_t baud = 9600;
  uint32_t timeoutMs = 1000;  // of one byte on the line
  // The longest the driver follows one printout that does not end; 0: until it ends.
  uint32_t printLimitMs = 0;
};

// The driver as a whole: makes a backend per printer and describes result codes.
struct CodeDescription {
  std::string name;       // "TAURAVAT_E_PAPER_OUT"
  std::string messagePl;  // UTF-8
  std::string messageEn;
};

class Driver {
 public:
  virtual ~Driver() = default;
  virtual std::unique_ptr<PrinterBackend> MakeBackend(const PrinterSettings& settings) = 0;
  virtual CodeDescription Describe(int32_t code) const = 0;
};

}  // namespace tauravatd
