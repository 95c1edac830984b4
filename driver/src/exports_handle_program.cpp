// The handle interface for a program that leads the conversation itself: its own
// identification instead of the settling of tauravat_open, the status bytes it judges the
// printer by, and its message pump while a printout is followed.
#include "handle.hpp"
#include "tauravat.h"

using namespace kestradr;

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_identify(tauravat_printer* printer,
                                                                int32_t* type) {
  if (type == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (connection.InReceipt()) return TAURAVAT_E_RECEIPT_OPEN;
    // A line failure is mended by reopening, which sends nothing; no reconnection follows.
    if (const int32_t result = connection.ReopenFailedPort(); result != TAURAVAT_OK) return result;
    uint8_t code = kDeviceNone;
    if (const int32_t result = connection.Identify(code); result != TAURAVAT_OK) return result;
    connection.MarkConnected();
    *type = code;
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_read_status_bytes(tauravat_printer* printer,
                                                                         uint8_t status[8],
                                                                         uint32_t* present) {
  if (status == nullptr || present == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    StatusBytes bytes;
    if (const int32_t result = connection.ReadStatusBytes(bytes); result != TAURAVAT_OK)
      return result;
    uint32_t read = 0;
    for (int k = 1; k <= 8; ++k) {
      const bool there = k <= bytes.count || (k == 8 && bytes.eighthPresent);
      status[k - 1] = there ? bytes.s[static_cast<size_t>(k)] : 0;
      if (there) read |= 1u << (k - 1);
    }
    *present = read;
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_set_message_pump(tauravat_printer* printer,
                                                                        tauravat_pump_fn pump,
                                                                        void* user) {
  return WithPrinter(printer, [&](Printer& connection) -> int32_t {
    if (pump == nullptr)
      connection.SetMessagePumpCallback({});
    else
      connection.SetMessagePumpCallback([pump, user] { pump(user); });
    return TAURAVAT_OK;
  });
}
