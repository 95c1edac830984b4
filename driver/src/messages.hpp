// Result codes and their Polish texts.
#pragma once

#include <cstdint>
#include <string>

namespace kestradr {

// Result codes raised by the driver itself (printer refusals come through the exchange).
enum ResultCode : int32_t {
  kOk = 0,
  kAccessDenied = 5,
  kSendTimeout = 20,
  kReceiveTimeout = 21,
  kBadReply = 23,
  kNak = 24,
  kRefused200 = 26,
  kNotInitialised = 99,
  kNoMakerData = 100,
  kServiceJumper = 101,
  kNoControllerLink = 102,
  kPrinterFailure = 103,
  kNoUserData = 104,
  kReadOnlyFiscalModule = 105,
  kNoCustomerDisplay = 106,
  kCmosErased = 107,
  kDailyReportDue = 108,
  kPaperOut = 109,
  kDocumentInMemory = 110,
  kCharsInPrintBuffer = 111,
  kStoppedForPaper = 112,
  kNoTaxRates = 113,
  kNoPortNumber = 114,
  kReceiptOpen = 200,
  kReceiptNotOpen = 201,
  kNameTooShort = 202,
  kRateOutOfRange = 203,
  kMessageOutOfRange = 204,
  kQuantityOutOfRange = 205,
  kDecimalsOutOfRange = 206,
  kUnitOutOfRange = 207,
  kPriceOutOfRange = 208,
  kValueMismatch = 209,
  kReceiptCancelled = 210,
  kNoReceiptsSinceReport = 211,
  kDrawerOutOfRange = 212,
  kCommandUnavailable = 213,
  kPackageParamOutOfRange = 214,
  kParameterOutOfRange = 215,
  kNoFreeLines = 216,
  kRatesNotWritten = 217,
  kReceiptCounterNotZero = 218,
  kBadReportDates = 219,
  kNoReportsInPeriod = 220,
  kBadReportNumbers = 221,
  kMonthNotFinished = 222,
  kParameterNOutOfRange = 223,
  kUnsupportedCommand = 224,
  kEmptyBuffer = 225,
  kRateUndefined = 226,
  kLineValueTooLarge = 227,
  kInternalError = 999,
};

// The text of a code in code page 1250: empty for 0, the catch-all text for codes
// without a text of their own (negative ones included).
const std::string& MessageText(int32_t code);

}  // namespace kestradr
