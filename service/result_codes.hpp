// The driver's result codes the service decides on, by their names in tauravat.h.
#pragma once

#include <cstdint>

#include "tauravat.h"

namespace tauravatd {

inline constexpr int32_t kOk = TAURAVAT_OK;
inline constexpr int32_t kSendTimeout = TAURAVAT_E_SEND_TIMEOUT;
inline constexpr int32_t kReceiveTimeout = TAURAVAT_E_RECEIVE_TIMEOUT;
inline constexpr int32_t kBadReply = TAURAVAT_E_BAD_REPLY;
inline constexpr int32_t kNak = TAURAVAT_E_NAK;
inline constexpr int32_t kRefused = TAURAVAT_E_REFUSED;
inline constexpr int32_t kNotInitialised = TAURAVAT_E_NOT_INITIALISED;
inline constexpr int32_t kPaperOut = TAURAVAT_E_PAPER_OUT;
inline constexpr int32_t kDocumentInMemory = TAURAVAT_E_DOCUMENT_IN_MEMORY;
inline constexpr int32_t kCharsInPrintBuffer = TAURAVAT_E_CHARS_IN_PRINT_BUFFER;
inline constexpr int32_t kStoppedForPaper = TAURAVAT_E_STOPPED_FOR_PAPER;
inline constexpr int32_t kReceiptOpen = TAURAVAT_E_RECEIPT_OPEN;
inline constexpr int32_t kReceiptNotOpen = TAURAVAT_E_RECEIPT_NOT_OPEN;
inline constexpr int32_t kNameTooShort = TAURAVAT_E_NAME_TOO_SHORT;
inline constexpr int32_t kRateOutOfRange = TAURAVAT_E_RATE_RANGE;
inline constexpr int32_t kQuantityOutOfRange = TAURAVAT_E_QUANTITY_RANGE;
inline constexpr int32_t kDecimalsOutOfRange = TAURAVAT_E_DECIMALS_RANGE;
inline constexpr int32_t kUnitOutOfRange = TAURAVAT_E_UNIT_RANGE;
inline constexpr int32_t kPriceOutOfRange = TAURAVAT_E_PRICE_RANGE;
inline constexpr int32_t kReceiptCancelled = TAURAVAT_E_RECEIPT_CANCELLED;
inline constexpr int32_t kNoReceiptsSinceReport = TAURAVAT_E_NO_SALES_SINCE_REPORT;
inline constexpr int32_t kDrawerOutOfRange = TAURAVAT_E_DRAWER_RANGE;
inline constexpr int32_t kCommandUnavailable = TAURAVAT_E_COMMAND_UNAVAILABLE;
inline constexpr int32_t kParameterOutOfRange = TAURAVAT_E_PARAMETER_RANGE;
inline constexpr int32_t kRatesNotWritten = TAURAVAT_E_RATES_NOT_WRITTEN;
inline constexpr int32_t kReceiptCounterNotZero = TAURAVAT_E_RECEIPT_COUNTER_NOT_ZERO;
inline constexpr int32_t kBadReportDates = TAURAVAT_E_BAD_REPORT_DATES;
inline constexpr int32_t kMonthNotFinished = TAURAVAT_E_MONTH_NOT_FINISHED;
inline constexpr int32_t kRateUndefined = TAURAVAT_E_RATE_UNDEFINED;
inline constexpr int32_t kLineValueTooLarge = TAURAVAT_E_LINE_VALUE_TOO_LARGE;
inline constexpr int32_t kInternalError = TAURAVAT_E_INTERNAL;

// The line or the port failed: the printer may not have seen or answered the last
// command. Operating-system errors from opening the port (below 100) count here too.
inline bool IsConnectionFault(int32_t code) {
  return code == kSendTimeout || code == kReceiveTimeout || code == kNotInitialised ||
         (code > 0 && code < 100 && code != kBadReply && code != kNak && code != kRefused);
}

// The printer still printed, or still held a document to print, when the print limit ran
// out: it has not finished what it was given.
inline bool IsUnendedPrintout(int32_t code) {
  return code == kCharsInPrintBuffer || code == kDocumentInMemory;
}

}  // namespace tauravatd
