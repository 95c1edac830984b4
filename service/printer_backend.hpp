// What the service needs of one printer: one handle of the driver's handle interface
// (tauravat.h), text in UTF-8, money in grosz, every operation answering a driver result
// code. Tests reach it on the emulated printer.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
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

// How to reach one configured printer.
struct PrinterSettings {
  std::string name;    // the printer's name in the interface, e.g. "till1"
  std::string device;  // a path (/dev/ttyUSB0, a pty) or a port name (COM3)
  uint32_t baud = 9600;
  uint32_t timeoutMs = 1000;  // of one byte on the line
  // The longest the driver follows one printout that does not end; 0: until it ends.
  uint32_t printLimitMs = 0;
};

class PrinterBackend {
 public:
  explicit PrinterBackend(PrinterSettings settings);
  ~PrinterBackend();
  PrinterBackend(const PrinterBackend&) = delete;
  PrinterBackend& operator=(const PrinterBackend&) = delete;

  // Opens the port, cancels any receipt the printer holds open and identifies it.
  int32_t Open();
  void Close();

  int32_t Identify(DeviceInfo& device);
  // 0 when a receipt may begin, otherwise the first reason it may not (109 paper out...).
  int32_t ReceiptConditions();

  int32_t ReadRates(RateTable& rates);
  // Writes the first `rates.count` rates from A, the others staying as the printer holds
  // them, only when that changes what it holds, or with `force`; `written` tells whether
  // they were written (tauravat_write_rates).
  int32_t WriteRates(const RateTable& rates, bool force, bool& written);

  // A whole sale, with the driver's recovery for every answer (tauravat_print_sale): `step`
  // is told of each step before it happens and may stop the sale.
  int32_t PrintSale(const tauravat_sale& sale, tauravat_sale_step_fn step, void* user,
                    tauravat_sale_outcome& outcome);

  // The receipt counter alone, never another count in its place: it rises by one with
  // every receipt the printer completes, where it is known.
  int32_t ReadReceiptCounter(ReceiptCounter& counter);
  int32_t DailyReportNumber(int32_t& number);
  // "yy.mm.dd;hh:mi" as the printer's clock reads.
  int32_t ReadClock(std::string& text);
  int32_t OpenDrawer(int32_t drawer);

  int32_t DailyReport(bool force);
  int32_t PeriodReport(ReportKind kind, Date from, Date to);
  int32_t MonthlyReport(ReportKind kind, int32_t year, int32_t month);
  int32_t NumberReport(ReportKind kind, int32_t from, int32_t to);

 private:
  int32_t Call(int32_t(TAURAVAT_CALL* operation)(tauravat_printer*));

  PrinterSettings settings_;
  tauravat_printer* printer_ = nullptr;
};

// What the driver says of a result code.
struct CodeDescription {
  std::string name;       // "TAURAVAT_E_PAPER_OUT"
  std::string messagePl;  // UTF-8
  std::string messageEn;
};

// The driver as a whole: makes a backend per printer and describes result codes.
class Driver {
 public:
  std::unique_ptr<PrinterBackend> MakeBackend(const PrinterSettings& settings);
  CodeDescription Describe(int32_t code) const;
};

}  // namespace tauravatd
