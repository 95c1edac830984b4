// Result codes and their Polish texts.
#pragma once

#include <cstdint>
#include <string>

#include "tauravat.h"

namespace kestradr {

// Result codes raised by the driver itself (printer refusals come through the exchange),
// under the numbers the public header gives them.
enum ResultCode : int32_t {
  kOk = TAURAVAT_OK,
  kAccessDenied = TAURAVAT_E_PORT_IN_USE,
  kSendTimeout = TAURAVAT_E_SEND_TIMEOUT,
  kReceiveTimeout = TAURAVAT_E_RECEIVE_TIMEOUT,
  kBadReply = TAURAVAT_E_BAD_REPLY,
  kNak = TAURAVAT_E_NAK,
  kRefused200 = TAURAVAT_E_REFUSED,
  kNotInitialised = TAURAVAT_E_NOT_INITIALISED,
  kNoMakerData = TAURAVAT_E_NO_MAKER_DATA,
  kServiceJumper = TAURAVAT_E_SERVICE_JUMPER,
  kNoControllerLink = TAURAVAT_E_NO_CONTROLLER_LINK,
  kPrinterFailure = TAURAVAT_E_PRINTER_FAILURE,
  kNoUserData = TAURAVAT_E_NO_USER_DATA,
  kReadOnlyFiscalModule = TAURAVAT_E_FISCAL_READ_ONLY,
  kNoCustomerDisplay = TAURAVAT_E_NO_CUSTOMER_DISPLAY,
  kCmosErased = TAURAVAT_E_CMOS_ERASED,
  kDailyReportDue = TAURAVAT_E_DAILY_REPORT_DUE,
  kPaperOut = TAURAVAT_E_PAPER_OUT,
  kDocumentInMemory = TAURAVAT_E_DOCUMENT_IN_MEMORY,
  kCharsInPrintBuffer = TAURAVAT_E_CHARS_IN_PRINT_BUFFER,
  kStoppedForPaper = TAURAVAT_E_STOPPED_FOR_PAPER,
  kNoTaxRates = TAURAVAT_E_NO_TAX_RATES,
  kNoPortNumber = TAURAVAT_E_NO_PORT,
  kReceiptOpen = TAURAVAT_E_RECEIPT_OPEN,
  kReceiptNotOpen = TAURAVAT_E_RECEIPT_NOT_OPEN,
  kNameTooShort = TAURAVAT_E_NAME_TOO_SHORT,
  kRateOutOfRange = TAURAVAT_E_RATE_RANGE,
  kMessageOutOfRange = TAURAVAT_E_MESSAGE_RANGE,
  kQuantityOutOfRange = TAURAVAT_E_QUANTITY_RANGE,
  kDecimalsOutOfRange = TAURAVAT_E_DECIMALS_RANGE,
  kUnitOutOfRange = TAURAVAT_E_UNIT_RANGE,
  kPriceOutOfRange = TAURAVAT_E_PRICE_RANGE,
  kValueMismatch = TAURAVAT_E_VALUE_MISMATCH,
  kReceiptCancelled = TAURAVAT_E_RECEIPT_CANCELLED,
  kNoReceiptsSinceReport = TAURAVAT_E_NO_SALES_SINCE_REPORT,
  kDrawerOutOfRange = TAURAVAT_E_DRAWER_RANGE,
  kCommandUnavailable = TAURAVAT_E_COMMAND_UNAVAILABLE,
  kPackageParamOutOfRange = TAURAVAT_E_PACKAGE_KIND_RANGE,
  kParameterOutOfRange = TAURAVAT_E_PARAMETER_RANGE,
  kNoFreeLines = TAURAVAT_E_NO_FREE_LINES,
  kRatesNotWritten = TAURAVAT_E_RATES_NOT_WRITTEN,
  kReceiptCounterNotZero = TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO,
  kBadReportDates = TAURAVAT_E_BAD_REPORT_DATES,
  kNoReportsInPeriod = TAURAVAT_E_NO_REPORTS_IN_PERIOD,
  kBadReportNumbers = TAURAVAT_E_BAD_REPORT_NUMBERS,
  kMonthNotFinished = TAURAVAT_E_MONTH_NOT_FINISHED,
  kParameterNOutOfRange = TAURAVAT_E_PARAMETER_N_RANGE,
  kUnsupportedCommand = TAURAVAT_E_UNSUPPORTED_COMMAND,
  kEmptyBuffer = TAURAVAT_E_EMPTY_BUFFER,
  kRateUndefined = TAURAVAT_E_RATE_UNDEFINED,
  kLineValueTooLarge = TAURAVAT_E_LINE_VALUE_TOO_LARGE,
  // Returned by the handle interface only.
  kBufferTooSmall = TAURAVAT_E_BUFFER_TOO_SMALL,
  kNullArgument = TAURAVAT_E_NULL_ARGUMENT,
  kReentered = TAURAVAT_E_REENTERED,
  kInternalError = TAURAVAT_E_INTERNAL,
};

// The text of a code in code page 1250: empty for 0, the catch-all text for codes
// without a text of their own (negative ones included).
const std::string& MessageText(int32_t code);

// The texts of the handle interface: UTF-8, lines joined by "\n", in Polish (the texts
// above, and those of the codes only the handle interface returns) or English.
enum class Language { Polish, English };
std::string MessageTextUtf8(int32_t code, Language language);

}  // namespace kestradr
