// The handle interface: opening and closing, identification, receipt
// conditions, print supervision and raw sequences.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "commands.hpp"
#include "cp1250.hpp"
#include "exchange.hpp"
#include "handle.hpp"
#include "handle_marshal.hpp"
#include "progress_steps.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

constexpr uint32_t kDefaultBaud = 9600;
constexpr uint32_t kDefaultTimeoutMs = 5000;
// Ten minutes for one byte is already no time-out a caller means.
constexpr uint32_t kLongestTimeoutMs = 600'000;
constexpr size_t kLongestSequence = 255;  // the exchange counts in one byte

// How far a caller's options reach: the struct may come from an older, shorter
// header.
constexpr size_t kThroughTimeout = offsetof(tauravat_options, timeout_ms) + sizeof(uint32_t);
constexpr size_t kThroughProgress =
    offsetof(tauravat_options, progress) + sizeof(tauravat_progress_fn);
constexpr size_t kThroughUser = offsetof(tauravat_options, user) + sizeof(void*);
constexpr size_t kThroughPrintLimit = offsetof(tauravat_options, print_limit_ms) + sizeof(uint32_t);
constexpr size_t kThroughStep = offsetof(tauravat_options, step) + sizeof(tauravat_step_fn);
constexpr size_t kThroughTrace = offsetof(tauravat_options, trace) + sizeof(tauravat_trace_fn);

struct OpenSettings {
  uint32_t baud = kDefaultBaud;
  uint32_t timeoutMs = kDefaultTimeoutMs;
  tauravat_progress_fn progress = nullptr;
  void* user = nullptr;
  uint32_t printLimitMs = 0;  // none
  tauravat_step_fn step = nullptr;
  tauravat_trace_fn trace = nullptr;
};

// The settings of `options` (NULL: the defaults), or nothing when they are out
// of range.
std::optional<OpenSettings> ReadOptions(const tauravat_options* options) {
  OpenSettings settings;
  if (options == nullptr) return settings;
  if (options->size < kThroughTimeout) return std::nullopt;
  if (options->baud != 0) settings.baud = options->baud;
  if (options->timeout_ms != 0) settings.timeoutMs = options->timeout_ms;
  if (options->size >= kThroughProgress) settings.progress = options->progress;
  if (options->size >= kThroughUser) settings.user = options->user;
  if (options->size >= kThroughPrintLimit) settings.printLimitMs = options->print_limit_ms;
  if (options->size >= kThroughStep) settings.step = options->step;
  if (options->size >= kThroughTrace) settings.trace = options->trace;
  const bool knownSpeed = settings.baud == 9600 || settings.baud == 19200 || settings.baud == 28800;
  if (!knownSpeed || settings.timeoutMs > kLongestTimeoutMs) return std::nullopt;
  return settings;
}

// tauravat_open and tauravat_open_port: a new handle on `device`, the printer settled and
// identified or left untouched.
int32_t OpenHandle(const char* device, const tauravat_options* options, tauravat_printer** out,
                   bool identify) {
  if (out != nullptr) *out = nullptr;
  if (device == nullptr || out == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    const auto settings = ReadOptions(options);
    LastOsErrorRecord() = {};
    if (!settings || *device == '\0') return TAURAVAT_E_PARAMETER_RANGE;
    auto handle = std::make_unique<tauravat_printer>();
    handle->printer.SetPrintLimit(std::chrono::milliseconds(settings->printLimitMs));
    if (settings->progress != nullptr || settings->step != nullptr) {
      handle->printer.SetProgressCallback([progress = settings->progress, step = settings->step,
                                           user = settings->user](const std::string& text) {
        const std::string utf8 = Cp1250ToUtf8(text);
        if (progress != nullptr) progress(user, utf8.c_str());
        if (step != nullptr) step(user, std::string(StepOfCaption(utf8)).c_str(), utf8.c_str());
      });
    }
    if (settings->trace != nullptr) {
      handle->printer.SetTraceCallback([trace = settings->trace, user = settings->user](
                                           const std::string& line) { trace(user, line.c_str()); });
    }
    // Nobody else knows the handle yet; the frame still marks the call so that
    // the progress call-back cannot use it before it exists for the caller.
    const int32_t result = WithPrinter(handle.get(), [&](Printer& printer) {
      return identify ? printer.Open(device, settings->baud, settings->timeoutMs)
                      : printer.OpenSilently(device, settings->baud, settings->timeoutMs);
    });
    // A failed open leaves nothing open: the handle and its port go here.
    if (result != TAURAVAT_OK) return result;
    handle->opened = true;
    *out = handle.release();
    return TAURAVAT_OK;
  });
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open(const char* device,
                                                            const tauravat_options* options,
                                                            tauravat_printer** out) {
  return OpenHandle(device, options, out, true);
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_open_port(const char* device,
                                                                 const tauravat_options* options,
                                                                 tauravat_printer** out) {
  return OpenHandle(device, options, out, false);
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_close(tauravat_printer* printer) {
  if (printer == nullptr) return TAURAVAT_OK;
  const int32_t result =
      WithPrinter(printer, [](Printer& connection) { return connection.CommunicationEnd(); });
  // From its own call-back the handle is still in use: freeing it would pull it
  // from under the call that is running.
  if (result == TAURAVAT_E_REENTERED) return result;
  delete printer;
  return result;
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_device_type(tauravat_printer* printer,
                                                                   int32_t* type,
                                                                   int32_t* version) {
  if (type == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (const int32_t result = connection.Prologue(true, false); result != TAURAVAT_OK)
      return result;
    uint8_t code = kDeviceNone;
    uint32_t programVersion = 0;
    if (const int32_t result = connection.ReadDeviceType(code, programVersion);
        result != TAURAVAT_OK)
      return result;
    *type = code;
    if (version != nullptr) *version = static_cast<int32_t>(programVersion);
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_device_name(tauravat_printer* printer,
                                                                   char* text, size_t size,
                                                                   size_t* needed) {
  if (MissingBuffer(text, size)) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    std::string name;
    if (const int32_t result = connection.DeviceName(name); result != TAURAVAT_OK) return result;
    return Cp1250TextOut(name, text, size, needed);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
tauravat_receipt_conditions(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.ReceiptConditions(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_control(tauravat_printer* printer,
                                                                     int32_t mode) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (mode != TAURAVAT_PRINT_FOLLOW && mode != TAURAVAT_PRINT_BEFORE)
      return TAURAVAT_E_PARAMETER_RANGE;
    return connection.PrintControl(static_cast<PrintWait>(mode), connection.IdentifiedType());
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_print_resume(tauravat_printer* printer) {
  return WithPrinter(printer, [](Printer& connection) { return connection.PrintResume(); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_rs_sequence(
    tauravat_printer* printer, uint8_t command, const uint8_t* parameters, size_t parameter_count,
    size_t reply_length, uint8_t* reply, size_t size, size_t* needed) {
  if ((parameters == nullptr && parameter_count > 0) || MissingBuffer(reply, size))
    return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (parameter_count > kLongestSequence || reply_length > kLongestSequence)
      return TAURAVAT_E_PARAMETER_RANGE;
    if (needed != nullptr) *needed = reply_length;
    if (size < reply_length) return TAURAVAT_E_BUFFER_TOO_SMALL;
    Block sent{};
    if (parameter_count > 0) std::copy_n(parameters, parameter_count, sent.begin());
    Block received{};
    const int32_t result =
        connection.RSSequence(command, static_cast<int32_t>(reply_length),
                              static_cast<int32_t>(parameter_count), received.data(), sent.data());
    if (result == TAURAVAT_OK && reply_length > 0)
      std::copy_n(received.begin(), reply_length, reply);
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_rs_answer_length(uint8_t command,
                                                                        const uint8_t* reply,
                                                                        size_t reply_length,
                                                                        size_t* length) {
  if (length == nullptr || (reply == nullptr && reply_length > 0)) return TAURAVAT_E_NULL_ARGUMENT;
  if (reply_length > kLongestSequence) return TAURAVAT_E_PARAMETER_RANGE;
  // As the exchange reads them (exchange.cpp): the ACK or a bare status byte alone, else
  // the data bytes up to the end of a list.
  if (reply_length <= 1 || (IsBareDataCommand(command) && reply[0] != kAck)) {
    *length = std::min<size_t>(reply_length, 1);
    return TAURAVAT_OK;
  }
  const unsigned record = RecordLength(command);
  size_t count = 0;
  for (size_t k = 1; k < reply_length; ++k) {
    ++count;
    if (record != 0 && reply[k - 1] == 0xFF && k % record == 1) break;
  }
  *length = count;
  return TAURAVAT_OK;
}
