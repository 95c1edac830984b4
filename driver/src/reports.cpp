// Fiscal reports: the family started by one command, and the periodic reports that run
// with the long read time-out.
#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

constexpr uint16_t kReportReadTimeout = 90;  // seconds

// ReportMode bytes of command 0x31.
constexpr uint8_t kByNumbersDetailed = 1;
constexpr uint8_t kMonthlyDetailed = 2;
constexpr uint8_t kByNumbersShort = 4;
constexpr uint8_t kMonthlyShort = 5;

void PutDigits(Block& parameters, size_t at, int32_t value) {
  parameters[at] = static_cast<uint8_t>(value / 10);
  parameters[at + 1] = static_cast<uint8_t>(value % 10);
}

bool InRange(int32_t value, int32_t low, int32_t high) {
  return value >= low && value <= high;
}

bool ValidDate(const ReportDate& date) {
  return InRange(date.year, 0, 99) && InRange(date.month, 1, 12) && InRange(date.day, 1, 31);
}

}  // namespace

// `force` matters to the daily report only: whether a day without sales still gets one.
int32_t Printer::SingleCommandReport(const std::string& caption, const Command& command,
                                     bool force) {
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  if (const int32_t result = PrintControl(PrintWait::kBefore, DeviceType); result != TAURAVAT_OK)
    return result;
  Block reply{};
  const bool daily = command.code == cmd::kDailyReport.code;
  if (daily && !(force && ModelOf(DeviceType).emptyDailyReport)) {
    if (const uint8_t result = SendSequence(cmd::kReceiptCounter, reply); result != TAURAVAT_OK)
      return result;
    if (reply[0] == 0 && reply[1] == 0) return TAURAVAT_E_NO_SALES_SINCE_REPORT;
  }
  if (const uint8_t result = SendSequence(command, reply); result != TAURAVAT_OK) return result;
  return PrintControl(PrintWait::kFollow, DeviceType);
}

// The printer's verdict on a periodic report, read after its parameters.
int32_t Printer::TranslatePeriodicResult(uint8_t verdict) {
  switch (verdict) {
    case 0:
      return PrintControl(PrintWait::kFollow, DeviceType);
    case 1:
      return TAURAVAT_E_BAD_REPORT_DATES;
    case 2:
      return TAURAVAT_E_NO_REPORTS_IN_PERIOD;
    case 3:
      return TAURAVAT_E_BAD_REPORT_NUMBERS;
    case 4:
      return TAURAVAT_E_MONTH_NOT_FINISHED;
    case 5:
      return TAURAVAT_E_PARAMETER_N_RANGE;
    default:
      return TAURAVAT_OK;  // not a refusal the driver knows: nothing to follow
  }
}

// Monthly and by-number reports share command 0x31 with a mode byte and four data bytes.
int32_t Printer::PeriodicReport(const std::string& caption, ReportKind kind, uint8_t detailedMode,
                                uint8_t shortMode, const Block& data) {
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != TAURAVAT_OK) return result;
  if (!ModelOf(type).currentCommandSet) return TAURAVAT_E_UNSUPPORTED_COMMAND;

  const bool known = kind == ReportKind::kDetailed || kind == ReportKind::kShort;
  SendBuffer[0] = kind == ReportKind::kDetailed ? detailedMode : shortMode;
  for (size_t i = 0; i < 4; ++i) SendBuffer[1 + i] = data[i];

  const PortTimeouts before = ReopenForLongReport();
  // The verdict arrives as a second reply, after the parameters: ExchangeSequence, not
  // SendSequence.
  const Command& report = cmd::kPeriodicReport;
  if (known) ExchangeSequence(report.code, report.reply, report.secondReply, report.parameters);
  ReopenWithDefaultTimeouts(before);
  // Nothing was asked for an unknown kind; the reply buffer holds an older answer and is
  // no verdict.
  if (!known) return PrintControl(PrintWait::kFollow, DeviceType);
  if (LastSequenceResult != TAURAVAT_OK) return LastSequenceResult;
  return TranslatePeriodicResult(ReplyBuffer[0]);
}

int32_t Printer::DailyReport(bool force) {
  static const std::string caption = Cp1250("Raport dobowy...");
  return SingleCommandReport(caption, cmd::kDailyReport, force);
}

int32_t Printer::LockedArticlesReport() {
  static const std::string caption = Cp1250("Raport nazw towarów zablokowanych...");
  return SingleCommandReport(caption, cmd::kLockedArticlesReport);
}

int32_t Printer::PrinterStatusReport() {
  static const std::string caption = Cp1250("Raport stanu drukarki...");
  return SingleCommandReport(caption, cmd::kPrinterStatusReport);
}

int32_t Printer::PeriodReport(ReportKind kind, const DateRange& period) {
  static const std::string caption = Cp1250("Raport okresowy...");
  ShowCentreMessage(caption);
  // Dates are judged before anything reaches the printer.
  if (!ValidDate(period.from) || !ValidDate(period.to)) return TAURAVAT_E_PARAMETER_RANGE;
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  if (const int32_t result = PrintControl(PrintWait::kBefore, DeviceType); result != TAURAVAT_OK)
    return result;

  Block parameters{};
  const int32_t fields[] = {period.from.year, period.from.month, period.from.day,
                            period.to.year,   period.to.month,   period.to.day};
  for (size_t i = 0; i < 6; ++i) PutDigits(parameters, 2 * i, fields[i]);

  const PortTimeouts before = ReopenForLongReport();
  uint8_t result = TAURAVAT_OK;
  Block reply{};
  if (kind == ReportKind::kDetailed || kind == ReportKind::kShort) {
    const Command& command =
        kind == ReportKind::kDetailed ? cmd::kPeriodReportDetailed : cmd::kPeriodReportShort;
    result = SendSequence(command, reply, parameters);
  }
  ReopenWithDefaultTimeouts(before);
  if (result != TAURAVAT_OK) return result;
  return PrintControl(PrintWait::kFollow, DeviceType);
}

int32_t Printer::MonthlyReport(ReportKind kind, int32_t year, int32_t month) {
  static const std::string caption = Cp1250("Raport miesięczny...");
  // No range check: the printer judges the month and answers with its verdict.
  Block data{};
  PutDigits(data, 0, year);
  PutDigits(data, 2, month);
  return PeriodicReport(caption, kind, kMonthlyDetailed, kMonthlyShort, data);
}

int32_t Printer::NumberReport(ReportKind kind, const NumberRange& numbers) {
  static const std::string caption = Cp1250("Raport okresowy...");
  Block data{};
  data[0] = static_cast<uint8_t>(numbers.first);
  data[1] = static_cast<uint8_t>(numbers.first >> 8);
  data[2] = static_cast<uint8_t>(numbers.last);
  data[3] = static_cast<uint8_t>(numbers.last >> 8);
  return PeriodicReport(caption, kind, kByNumbersDetailed, kByNumbersShort, data);
}

// ---- The port around a long report ---------------------------------------------------

// The application's choice, or, for a caller that never chose one, what CommunicationInit
// or Open recorded; empty when neither is known, and then the open port only gets the
// new time-outs.
PortAddress Printer::PortForReports(uint32_t& speed) const {
  if (SelectedPort != 0) {
    speed = SelectedSpeed;
    return {SelectedPort, {}};
  }
  speed = BaudRate;
  return AddressOf(PortNumber);
}

void Printer::Reopen(const PortTimeouts& timeouts) {
  uint32_t speed = 0;
  const PortAddress chosen = PortForReports(speed);
  // A caller that opened the port itself (OpenPort) named it to nobody: closing it would
  // lose it, so only its time-outs change.
  if (chosen.Empty()) {
    Link.SetPortTimeouts(timeouts.writeMs, timeouts.readMs);
    return;
  }
  Link.DonePort();
  Link.InitPort(chosen, speed, timeouts.writeMs, timeouts.readMs);
}

Printer::PortTimeouts Printer::ReopenForLongReport() {
  // No port open: the driver opens its ports with the application's time-out both ways.
  PortTimeouts before{ReadTimeoutMs, ReadTimeoutMs};
  Link.CurrentPortTimeouts(before.writeMs, before.readMs);
  Reopen({PortWriteTimeout * 1000u, kReportReadTimeout * 1000u});
  return before;
}

void Printer::ReopenWithDefaultTimeouts(const PortTimeouts& before) {
  Reopen(before);
}

}  // namespace kestradr
