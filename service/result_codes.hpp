// The driver's result codes the service decides on. The texts and names of every code
// come from the driver itself (driver_messages.hpp).
#pragma once

#include <cstdint>

namespace tauravatd {

inline constexpr int32_t kOk = 0;
inline constexpr int32_t kSendTimeout = 20;
inline constexpr int32_t kReceiveTimeout = 21;
inline constexpr int32_t kBadReply = 23;
inline constexpr int32_t kNak = 24;
inline constexpr int32_t kRefused = 26;  // the printer answered 200 instead of ACK
inline constexpr int32_t kNotInitialised = 99;
inline constexpr int32_t kPaperOut = 109;
inline constexpr int32_t kStoppedForPaper = 112;
inline constexpr int32_t kReceiptOpen = 200;
inline constexpr int32_t kReceiptNotOpen = 201;
inline constexpr int32_t kNameTooShort = 202;
inline constexpr int32_t kRateOutOfRange = 203;
inline constexpr int32_t kQuantityOutOfRange = 205;
inline constexpr int32_t kDecimalsOutOfRange = 206;
inline constexpr int32_t kUnitOutOfRange = 207;
inline constexpr int32_t kPriceOutOfRange = 208;
inline constexpr int32_t kReceiptCancelled = 210;
inline constexpr int32_t kNoReceiptsSinceReport = 211;
inline constexpr int32_t kDrawerOutOfRange = 212;
inline constexpr int32_t kCommandUnavailable = 213;
inline constexpr int32_t kParameterOutOfRange = 215;
inline constexpr int32_t kRatesNotWritten = 217;
inline constexpr int32_t kReceiptCounterNotZero = 218;
inline constexpr int32_t kUnsupportedCommand = 224;
inline constexpr int32_t kRateUndefined = 226;
inline constexpr int32_t kLineValueTooLarge = 227;
inline constexpr int32_t kInternalError = 999;

// The line or the port failed: the printer may not have seen or answered the last
// command. Operating-system errors from opening the port (below 100) count here too.
inline bool IsConnectionFault(int32_t code) {
  return code == kSendTimeout || code == kReceiveTimeout || code == kNotInitialised ||
         (code > 0 && code < 100 && code != kBadReply && code != kNak && code != kRefused);
}

}  // namespace tauravatd
