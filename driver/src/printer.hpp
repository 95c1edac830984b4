// One connection to one printer: the port with its threads, the exchange buffers, the
// connection and receipt state, the call-backs. Every operation is a method here and
// calls the others directly. Operations take typed values with English names
// (printer_values.hpp) and money as 64-bit grosz; the legacy exports (over DefaultPrinter())
// and the handle exports each adapt their own arguments to them. Any number of Printers on
// different ports work at once from different threads.
//
// A Printer is not re-entrant: whoever shares one between threads holds CallLock()
// around each call (the exports do). Text in and out is code page 1250: the printer's own
// text rules (what prints, the article name's letters) are defined on it.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

#include "comm.hpp"
#include "commands.hpp"
#include "device_models.hpp"
#include "exchange.hpp"
#include "printer_values.hpp"
#include "receipt_state.hpp"
#include "tax_rates.hpp"

namespace kestradr {

// Device type codes as ReadDeviceType gives them (device_models.hpp names each one);
// 11 when none or unknown.
inline constexpr uint8_t kDeviceNone = kOtherDevice;

// Status bytes as ReadStatusBytes numbers them.
struct StatusBytes {
  int32_t count = 0;
  std::array<uint8_t, 9> s{};  // s[1]..s[8]
  bool eighthPresent = false;
};

class Printer {
 public:
  Printer();
  ~Printer();  // closes the port
  Printer(const Printer&) = delete;
  Printer& operator=(const Printer&) = delete;

  // Held by every interface around each call on this printer; recursive, so the
  // message pump may re-enter a read-only service of the same thread.
  std::recursive_mutex& CallLock() { return callLock_; }

  // ---- Call-backs ----------------------------------------------------------------
  // Progress texts (code page 1250, "" clears) and the message pump between status
  // polls of a printout. Empty functions do nothing.
  void SetProgressCallback(std::function<void(const std::string&)> callback);
  void SetMessagePumpCallback(std::function<void()> callback);
  void ShowCentreMessage(const std::string& text);
  void Processmessages();
  // The longest one call of print supervision follows a printout that does not end
  // (zero, the default: until it ends, as the legacy interface always has).
  void SetPrintLimit(std::chrono::milliseconds limit) { printLimit_ = limit; }
  // Each byte on the line as one trace line ("    1234 > 30 1B", as TAURAVAT_TRACE writes
  // it, without the line end), on the calling thread; an empty function: none.
  void SetTraceCallback(std::function<void(const std::string&)> callback);

  // ---- Port (OpenPort, ClosePort) --------------------------------------------------
  int32_t InitPort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSeconds,
                   uint16_t readTimeoutSeconds);
  int32_t DonePort();

  // ---- Connection and identification -----------------------------------------------
  // Opens `device` ("COM3" and the like map as for CommunicationInit, anything else is a
  // device path), cancels what the printer has pending, follows the printout and
  // identifies the printer. The time-out bounds each byte in both directions.
  int32_t Open(std::string_view device, uint32_t baud, uint32_t timeoutMs);
  // Opens `device` as Open does but sends nothing: the first command that talks to the
  // printer connects as after a lost connection. For raw sequences to a printer as it is.
  int32_t OpenSilently(std::string_view device, uint32_t baud, uint32_t timeoutMs);
  int32_t CommunicationInit(uint8_t port, uint32_t baud, uint32_t timeoutSeconds);
  int32_t CommunicationEnd();
  // Closes and reopens `port` (0: the device Open named) with the recorded speed and
  // time-out; with `identify` it also settles and identifies the printer. 114 with
  // nothing to open.
  int32_t ConnectPrinter(int32_t port, bool identify);
  // Drops the connection state: not connected, device unknown. A connection that sends
  // the cancel (`cancelsReceipt`: CommunicationInit, Open, ConnectPrinter with
  // identification) closes the receipt in the driver as the cancel closes it in the
  // printer. One that does not keeps an open receipt as the printer keeps it: its totals,
  // tables and the device type it was begun with.
  void ForgetConnection(bool cancelsReceipt);
  // After a failure recorded on the serial line (a framing error, a failed transfer),
  // which fails every exchange until the port is opened again: reopens the recorded port.
  // Nothing is sent, and the device type and an open receipt stay: the printer is the
  // same one and holds what it held. 0 when nothing needed reopening.
  int32_t ReopenFailedPort();
  int32_t SettlePrinterAndIdentify();
  // Reconnects when not connected; with `refuseInReceipt`, 200 while a receipt is open.
  int32_t Prologue(bool identify, bool refuseInReceipt);
  int32_t ReadDeviceType(uint8_t& type, uint32_t& version);
  int32_t DeviceName(std::string& name);       // the names DeviceName gives
  int32_t PlainDeviceName(std::string& name);  // the names pDeviceName gives

  // ---- Status, preconditions, print supervision -------------------------------------
  int32_t ReadStatusBytes(StatusBytes& status);
  int32_t ReadStatusByte(uint8_t command, uint8_t& status);
  int32_t ReadLastReceiptNumber(int32_t& number);
  // The printer's count of receipts since the last daily report (0x66) and nothing else:
  // no prologue, no identification, so it may be read around an open receipt.
  int32_t ReadReceiptCounter(int32_t& counter);
  // The receipt counter (0x66) with the prologue, and whether it tells the number on the
  // paper: `known` is false where the model may keep it at 0 (CounterTells).
  int32_t ReceiptCounter(int32_t& counter, bool& known);
  // False for a 0 on the models that may keep the short counter at 0 and count in the
  // long one: such a 0 says neither "no receipt yet" nor "none since".
  bool CounterTells(int32_t counter) const;
  int32_t CheckFiscalMode(bool& fiscal);
  int32_t CheckTaxRatesSet(bool& flag);
  int32_t CheckReceiptPreconditions();
  int32_t ReceiptConditions();
  int32_t PrintControl(PrintWait wait, uint8_t deviceType);
  int32_t PrintControlNoResume(PrintWait wait);
  int32_t PrintResume();

  // ---- The program's terms ----------------------------------------------------------
  // Closes what is open and opens the port the operator chose with the report
  // time-outs, recording it for reconnection (PortNumber, BaudRate).
  int32_t OpenChosenPort(uint8_t port, uint16_t speed);
  // The operator's choice, which long reports reopen.
  void SetSelection(uint8_t port, uint16_t speed);
  // ReadDeviceType, recorded as DeviceType on success.
  int32_t Identify(uint8_t& type);
  // The lock byte (0x60) into `second` and the byte of 0x5E into `first`; reconnects
  // first when needed.
  int32_t ReadStatus94And96(uint8_t& first, uint8_t& second);

  // ---- Raw sequences -----------------------------------------------------------------
  // `reply` and `parameters` are 256 bytes each; null is allowed where the length is 0
  // (a null elsewhere throws, which an export reports as 999).
  int32_t RSSequence(uint8_t command, int32_t replyLength, int32_t parameterLength, uint8_t* reply,
                     const uint8_t* parameters);
  void ExchangeSequence(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                        uint8_t parameterLength);
  uint8_t SendSequence(uint8_t command, uint8_t replyLength, uint8_t parameterLength, Block& reply,
                       const Block& parameters);
  uint8_t SendSequence(uint8_t command, uint8_t replyLength, Block& reply);
  // A command of the table with its own lengths. A second reply, where the command has
  // one, is the caller's to read.
  uint8_t SendSequence(const Command& command, Block& reply);
  uint8_t SendSequence(const Command& command, Block& reply, const Block& parameters);
  bool SendParameters(uint8_t count);
  // One byte with the trace hook.
  bool TracedWrite(uint8_t byte);
  bool TracedRead(uint8_t& byte);

  // ---- Receipt -------------------------------------------------------------------------
  int32_t ReceiptBegin();
  // Sends one line. `value` gets the value sent (the line's own, or quantity x price) once
  // every check has passed, just before the line goes out; before that it is untouched.
  int32_t ReceiptItem(const ItemLine& line, int64_t& value);
  int32_t PackageItem(const PackageLine& line);
  int32_t PrintSubtotal();
  // `discountPercent` 1..99 is sent as the discount; any other value is none.
  int32_t ReceiptEnd(int32_t discountPercent);
  int32_t ReceiptCancel();
  // Fills a payment slot for the end; nothing is sent.
  int32_t FillPayment(const PaymentLine& payment);
  // Keeps an extra line for the end; `freeLines` gets the slots left free (on
  // TAURAVAT_E_NO_FREE_LINES, 0). Nothing is sent.
  int32_t FillLines(const TextLine& line, int32_t& freeLines);
  int32_t ErasePayments();
  int32_t EraseLines();
  // The printer's running totals, in grosz; `total` is untouched on failure.
  int32_t ReadTotal(int64_t& total);
  int32_t ReadSelTotal(const TotalSelector& selector, int64_t& total);
  // The sum command 0x07 carries: each rate total less the discount.
  int32_t DiscountedSum(int32_t discountPercent) const;
  void ClearPaymentTable();
  void ClearExtraLineTable();
  // What a connection that cancels the printer's receipt clears: the totals, the item
  // count, both tables and the progress of the end.
  void ClearReceiptState();
  // A fresh start for the end of the receipt being begun.
  void ResetEndProgress();
  // The printer's receipt is gone (its cancel was sent by a reconnection): the driver
  // drops its own. An end whose answer was lost is left to the receipt counter to tell.
  void DropOpenReceipt();

  // ---- Tax rates -------------------------------------------------------------------------
  // With the caption and the prologue. Entries the printer's format does not carry keep
  // what `rates.values` held; `rates.count` gets how many it carries.
  int32_t ReadVAT(TaxRates& rates);
  // Writes `rates.values`; `rates.count` gets how many of them the printer's format
  // carries once the write is about to go out (its input is not read).
  int32_t SetVAT(TaxRates& rates);
  // The table in the newest format the printer answers, without prologue or caption.
  int32_t ReadTaxRates(TaxRates& rates);

  // ---- Reports -----------------------------------------------------------------------------
  // `force`: a day without sales still gets its report, on the models that allow it.
  int32_t DailyReport(bool force);
  int32_t LockedArticlesReport();
  int32_t PrinterStatusReport();
  // Dates out of range are refused before anything is sent.
  int32_t PeriodReport(ReportKind kind, const DateRange& period);
  // No range check: the printer judges the month (year within the century) and answers.
  int32_t MonthlyReport(ReportKind kind, int32_t year, int32_t month);
  int32_t NumberReport(ReportKind kind, const NumberRange& numbers);

  // ---- Clock, counters, identification -------------------------------------------------
  // `date` "2005.12.31" and `time` in the time format of the formats in use (seconds on
  // the models that give them); both cleared first. Each digit is written as the printer
  // sent it.
  int32_t ReadClock(std::string& date, std::string& time);
  int32_t ReadShortClock(std::string& text);  // "yy.MM.dd;hh:mm", as pReadClock gives it
  int32_t DailyReportNumber(int32_t& number);
  // The printer's two-digit number and its two-character code.
  int32_t PrinterNumber(int32_t& number, std::string& code);
  int32_t ReadUniqueNumber(std::string& number);          // "ABC 12345678"
  int32_t ReadUniqueCharacters(std::string& characters);  // the 11 characters as sent
  int32_t OpenDrawer(int32_t drawer);                     // 1..3
  int32_t WriteLineFeed(uint8_t lines);

  // ---- What the interfaces read of the state ----------------------------------------------
  // The device type of the identified printer (kDeviceNone when none).
  uint8_t IdentifiedType() const { return DeviceType; }
  bool InReceipt() const { return ReceiptOpen; }
  // Rate `rate` (1..7, A..G) reserved in the printer's answer to the rate read before the
  // receipt.
  bool RateReservedAt(size_t rate) const {
    return rate < RateReserved.size() && RateReserved[rate];
  }
  // The last PackageItem sent its whole line and lost the answer: it may be printed, and
  // the same line sent again could print twice.
  bool PackageMayHavePrinted() const { return PackageAnswerLost; }
  // The last receipt closed printed, as far as the driver knows.
  bool LastReceiptPrinted() const { return LastReceipt == ClosedReceipt::kPrinted; }
  // The port, its threads and its error record.
  SerialLink& Line() { return Link; }
  // A printer that answered an identification: commands no longer reconnect first.
  void MarkConnected() { Connected = true; }

 private:
  // Tests put the state where the line cannot easily take it (printer_internals.hpp).
  friend class PrinterInternals;

  // ---- State (the names of the driver's design) ------------------------------------------
  SerialLink Link;  // the port, its threads and its error record

  Block SendBuffer{};
  Block ReplyBuffer{};
  uint8_t LastSequenceResult = 0;

  // True before the first CommunicationInit so that commands do not try to reconnect to
  // a port nobody named; they fail at the first byte instead.
  bool Connected = true;
  uint8_t DeviceType = kDeviceNone;
  int32_t PortNumber = 0;  // 0: not set (or opened by path)
  std::string DevicePath;  // set by Open for a device not named COM<n>
  uint32_t BaudRate = 9600;
  uint32_t ReadTimeoutMs = 5000;  // each byte, both directions
  bool ReceiptOpen = false;
  uint16_t PortWriteTimeout = 3;  // seconds, when reports reopen the port
  uint16_t PortReadTimeout = 5;   // seconds, restored after a long report
  // The application's port choice (its dialog or command line); 0 for callers that
  // never choose: long reports then reopen what CommunicationInit recorded.
  uint8_t SelectedPort = 0;
  uint16_t SelectedSpeed = 0;

  std::array<int32_t, 8> RateTotals{};  // [1]..[7] for rates A..G, grosz
  uint8_t ItemCount = 0;
  int32_t LastItemValue = 0;
  bool PackageAnswerLost = false;             // see PackageMayHavePrinted
  std::array<PaymentSlot, 5> PaymentTable{};  // [1]..[4]
  std::array<ExtraLine, 7> ExtraLineTable{};  // [1]..[6], every slot starts free
  // [1]..[7] for rates A..G: reserved in the printer's answer to the rate read before the
  // receipt (CheckTaxRatesSet). A line on such a rate makes the printer cancel the whole
  // receipt. Rates the answer did not carry are not known to be reserved.
  std::array<bool, 8> RateReserved{};
  // The printer's receipt counter (0x66) read by ReceiptBegin, -1 when not known. It
  // moves when the printer prints a receipt, so it tells whether an end whose answer was
  // lost printed the receipt.
  int32_t ReceiptCounterAtBegin = -1;
  EndStep EndProgress = EndStep::kNothingSent;
  int32_t EndDiscount = 0;      // the discount the printer was sent, 0 for none
  uint8_t PaymentHalfSent = 0;  // the slot whose 0x81 went out without its 0x82, or 0
  ClosedReceipt LastReceipt = ClosedReceipt::kToldOrNone;

  uint8_t Exchange(uint8_t command, uint8_t replyLength, uint8_t secondReplyLength,
                   uint8_t parameterLength);
  bool ReadDataBytes(uint8_t length, uint8_t recordLength);
  int32_t ReadDataByte(const Command& command, uint8_t& value);
  // Receipt steps.
  void CloseReceipt();  // the receipt is over in the printer: the driver forgets it
  int32_t StatusGuard();
  int32_t SendEnd();
  int32_t FinishEnd(EndOutcome outcome);
  int32_t EndOfClosedReceipt();
  // What became of the open receipt when the answer to its end was lost or garbled (see
  // receipt_outcome.cpp). Whether the printer has cancelled it: a set bit 4 of the print
  // status is believed only when a second read shows it too (a garbled byte shows it).
  int32_t ReadCancelledFlag(bool& cancelled);
  // For an end that went out (EndProgress kEndSent or kEndAcknowledged). A port with a
  // recorded line failure is reopened first, without the cancel. The code of the failed
  // exchange comes back when it cannot be told.
  int32_t LearnEndOutcome(EndOutcome& outcome);
  // For a receipt the driver closed without knowing whether it printed: its end was
  // acknowledged (`acknowledged`), or a reconnection's cancel dropped it while its end was
  // unanswered. kPrinted or kCancelled, or kNotKnown when nothing tells.
  int32_t LearnWhetherPrinted(bool acknowledged, EndOutcome& outcome);
  int32_t LearnAcknowledgedEnd(EndOutcome& outcome);
  int32_t LearnUnansweredEnd(EndOutcome& outcome);
  int32_t CompareReceiptCounter(EndOutcome& says);
  int32_t SendReceiptSum(int32_t sum);
  int32_t CheckItemBounds(const ItemLine& line) const;
  int32_t SendPayments();
  int32_t SendExtraLines();
  int32_t ReadRateTotals(std::array<int64_t, 8>& totals, int64_t& sum);
  int32_t PrepareTotalsRead();
  // Print supervision, resuming a printout stopped for paper or only waiting for it.
  enum class OnStopped { Resume, KeepWaiting };
  int32_t Supervise(PrintWait wait, uint8_t deviceType, OnStopped onStopped);
  int32_t Poll(const Command& command, uint8_t& status);
  // A pause between rounds of status polls, with the message pump served throughout.
  void RestBetweenPolls(std::chrono::milliseconds pause);
  // Reports.
  int32_t SingleCommandReport(const std::string& caption, const Command& command,
                              bool force = false);
  int32_t PeriodicReport(const std::string& caption, ReportKind kind, uint8_t detailedMode,
                         uint8_t shortMode, const Block& data);
  int32_t TranslatePeriodicResult(uint8_t verdict);
  // The port around a long report: reopened with a read time-out long enough for the
  // printer to finish before it answers, then with the time-outs it had before (the
  // application's, from CommunicationInit, Open or OpenPort). Outcomes are not checked: a
  // port that failed to open fails the next exchange.
  struct PortTimeouts {
    uint32_t writeMs = 0;
    uint32_t readMs = 0;
  };
  PortAddress PortForReports(uint32_t& speed) const;
  PortTimeouts ReopenForLongReport();
  void ReopenWithDefaultTimeouts(const PortTimeouts& before);
  void Reopen(const PortTimeouts& timeouts);
  // Where CommunicationInit or Open pointed: COM `port`, or the device path when 0.
  PortAddress AddressOf(int32_t port) const;
  // CommunicationInit and Open: record, close, open, settle and identify (OpenSilently:
  // only record, close and open).
  int32_t OpenAddress(const PortAddress& address, uint32_t baud, uint32_t timeoutMs,
                      bool identify = true);

  std::recursive_mutex callLock_;
  std::function<void(const std::string&)> progress_;
  std::function<void()> messagePump_;
  std::chrono::milliseconds printLimit_{0};
  std::function<void(const std::string&)> traceSink_;
  std::chrono::steady_clock::time_point traceStart_{};
  uint8_t traceCommand_ = 0;
  void TraceLine(char direction, uint8_t byte, bool ok);
};

// The process's printer, behind the legacy exports.
Printer& DefaultPrinter();

}  // namespace kestradr
