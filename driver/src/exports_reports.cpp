// Exported fiscal reports: the family started by one command, and the periodic reports
// that run with the long read time-out.
#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "exchange.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "report_port.hpp"
#include "tauravat.h"
#include "device_groups.hpp"

using namespace kestradr;

namespace {

constexpr uint8_t kDailyReport = 0x25;
constexpr uint8_t kLockedArticlesReport = 0x22;
constexpr uint8_t kPrinterStatusReport = 0x26;
constexpr uint8_t kReceiptCounter = 0x66;
constexpr uint8_t kPeriodReportDetailed = 0x28;
constexpr uint8_t kPeriodReportShort = 0x29;
constexpr uint8_t kPeriodicReport = 0x31;

// ReportMode bytes of command 0x31.
constexpr uint8_t kByNumbersDetailed = 1;
constexpr uint8_t kMonthlyDetailed = 2;
constexpr uint8_t kByNumbersShort = 4;
constexpr uint8_t kMonthlyShort = 5;

// Models that print a daily report on request even after a day without sales.
bool PrintsEmptyDailyReport(uint8_t type) {
  switch (type) {
    case 2:
    case 3:
    case 6:
    case 7:
    case 8:
    case kDeviceNone:
      return true;
    default:
      return false;
  }
}

// `force` matters to the daily report only: whether a day without sales still gets one.
int32_t SingleCommandReport(const std::string& caption, uint8_t command, int32_t force = 0) {
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != kOk) return result;
  if (const int32_t result = PrintControl(1, DeviceType); result != kOk) return result;
  Block reply{};
  const bool daily = command == kDailyReport;
  if (daily && !(force != 0 && PrintsEmptyDailyReport(DeviceType))) {
    if (const uint8_t result = SendSequence(kReceiptCounter, 3, reply); result != kOk)
      return result;
    if (reply[0] == 0 && reply[1] == 0) return kNoReceiptsSinceReport;
  }
  if (const uint8_t result = SendSequence(command, 1, reply); result != kOk) return result;
  return PrintControl(0, DeviceType);
}

void PutDigits(Block& parameters, size_t at, int32_t value) {
  parameters[at] = static_cast<uint8_t>(value / 10);
  parameters[at + 1] = static_cast<uint8_t>(value % 10);
}

bool InRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

// The printer's verdict on a periodic report, read after its parameters.
int32_t TranslatePeriodicResult(uint8_t verdict) {
  switch (verdict) {
    case 0:
      return PrintControl(0, DeviceType);
    case 1:
      return kBadReportDates;
    case 2:
      return kNoReportsInPeriod;
    case 3:
      return kBadReportNumbers;
    case 4:
      return kMonthNotFinished;
    case 5:
      return kParameterNOutOfRange;
    default:
      return kOk;  // not a refusal the driver knows: nothing to follow
  }
}

// Monthly and by-number reports share command 0x31 with a mode byte and four data bytes.
int32_t PeriodicReport(const std::string& caption, int32_t kind, uint8_t detailedMode,
                       uint8_t shortMode, const Block& data) {
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != kOk) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != kOk) return result;
  if (!HasCurrentCommandSet(type)) return kUnsupportedCommand;

  const bool known = kind == 1 || kind == 0;
  SendBuffer[0] = kind == 1 ? detailedMode : shortMode;
  for (size_t i = 0; i < 4; ++i) SendBuffer[1 + i] = data[i];

  const PortTimeouts before = ReopenForLongReport();
  // The verdict arrives as a second reply, after the parameters: ExchangeSequence, not
  // SendSequence.
  if (known) ExchangeSequence(kPeriodicReport, 1, 1, 5);
  ReopenWithDefaultTimeouts(before);
  // Nothing was asked for an unknown kind; the reply buffer holds an older answer and is
  // no verdict.
  if (!known) return PrintControl(0, DeviceType);
  if (LastSequenceResult != kOk) return LastSequenceResult;
  return TranslatePeriodicResult(ReplyBuffer[0]);
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL DailyReport(int32_t Force) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport dobowy...");
    return SingleCommandReport(caption, kDailyReport, Force);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL LockedArticlesReport(void) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport nazw towarów zablokowanych...");
    return SingleCommandReport(caption, kLockedArticlesReport);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PrinterStatusReport(void) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport stanu drukarki...");
    return SingleCommandReport(caption, kPrinterStatusReport);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL PeriodReport(int32_t Kind, int32_t FromYear,
                                                           int32_t FromMonth, int32_t FromDay,
                                                           int32_t ToYear, int32_t ToMonth,
                                                           int32_t ToDay) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport okresowy...");
    ShowCentreMessage(caption);
    // Dates are judged before anything reaches the printer.
    if (!InRange(FromYear, 0, 99) || !InRange(ToYear, 0, 99) || !InRange(FromMonth, 1, 12) ||
        !InRange(ToMonth, 1, 12) || !InRange(FromDay, 1, 31) || !InRange(ToDay, 1, 31))
      return kParameterOutOfRange;
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    if (const int32_t result = PrintControl(1, DeviceType); result != kOk) return result;

    Block parameters{};
    const int32_t fields[] = {FromYear, FromMonth, FromDay, ToYear, ToMonth, ToDay};
    for (size_t i = 0; i < 6; ++i) PutDigits(parameters, 2 * i, fields[i]);

    const PortTimeouts before = ReopenForLongReport();
    uint8_t result = kOk;
    Block reply{};
    if (Kind == 1 || Kind == 0) {
      const uint8_t command = Kind == 1 ? kPeriodReportDetailed : kPeriodReportShort;
      result = SendSequence(command, 1, 12, reply, parameters);
    }
    ReopenWithDefaultTimeouts(before);
    if (result != kOk) return result;
    return PrintControl(0, DeviceType);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL MonthlyReport(int32_t Kind, int32_t Year,
                                                            int32_t Month) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport miesięczny...");
    // No range check: the printer judges the month and answers with its verdict.
    Block data{};
    PutDigits(data, 0, Year);
    PutDigits(data, 2, Month);
    return PeriodicReport(caption, Kind, kMonthlyDetailed, kMonthlyShort, data);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL NumberReport(int32_t Kind, int32_t From, int32_t To) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Raport okresowy...");
    Block data{};
    data[0] = static_cast<uint8_t>(From);
    data[1] = static_cast<uint8_t>(From >> 8);
    data[2] = static_cast<uint8_t>(To);
    data[3] = static_cast<uint8_t>(To >> 8);
    return PeriodicReport(caption, Kind, kByNumbersDetailed, kByNumbersShort, data);
  });
}
