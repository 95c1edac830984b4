// The driver's connection state and the routines that establish it and learn what is
// connected: reconnection, identification, status bytes, receipt preconditions.
#pragma once

#include <array>
#include <cstdint>

namespace kestradr {

// Device type codes (the identification table), 11 when none or unknown.
inline constexpr uint8_t kDeviceNone = 11;

// Connection state, one instance per process.
extern bool Connected;  // false: every command reconnects first
extern uint8_t DeviceType;
extern int32_t PortNumber;  // 0: not set
extern uint32_t BaudRate;
extern int32_t ReadTimeout;  // seconds, for both directions of the port
extern bool ReceiptOpen;
extern uint16_t PortWriteTimeout;  // seconds, used when reports reopen the port
extern uint16_t PortReadTimeout;

// Closes and reopens `port` with the recorded speed and time-out; with `identify`
// it also cancels whatever the printer has pending and reads the device type.
int32_t ConnectPrinter(int32_t port, bool identify);

// Drops the connection state: not connected, device unknown. A connection that sends
// the cancel (`cancelsReceipt`: CommunicationInit, ConnectPrinter with identification)
// closes the receipt in the driver as the cancel closes it in the printer. One that does
// not keeps an open receipt as the printer keeps it: its totals, tables and the device
// type it was begun with.
void ForgetConnection(bool cancelsReceipt);

// On a freshly opened port: cancels whatever the printer has pending (0x23, refused by
// models without it), follows the resulting printout, then reads the device type into
// DeviceType.
int32_t SettlePrinterAndIdentify();

// After a failure recorded on the serial line (a framing error, a failed transfer), which
// fails every exchange until the port is opened again: reopens the recorded port. Nothing
// is sent, and the device type and an open receipt stay: the printer is the same one and
// holds what it held. 0 when nothing needed reopening.
int32_t ReopenFailedPort();

// The common prologue of the printer operations: reconnect when not connected (reopen a
// port with a recorded line failure), then, when `refuseInReceipt`, answer 200 while a
// receipt is open.
int32_t Prologue(bool identify, bool refuseInReceipt);

int32_t ReadDeviceType(uint8_t& type, uint32_t& version);

// Names of a device type as DeviceName and pDeviceName give them (code page 1250).
const char* DeviceNameText(uint8_t type);
const char* PlainDeviceNameText(uint8_t type);

struct StatusBytes {
  int32_t count = 0;
  std::array<uint8_t, 9> s{};  // s[1]..s[8]
  bool eighthPresent = false;
};
int32_t ReadStatusBytes(StatusBytes& status);

int32_t ReadLastReceiptNumber(int32_t& number);
// The printer's count of receipts since the last daily report (0x66) and nothing else:
// no prologue, no identification, so it may be read around an open receipt.
int32_t ReadReceiptCounter(int32_t& counter);
int32_t CheckFiscalMode(int32_t& flag);
int32_t CheckTaxRatesSet(bool& flag);
int32_t CheckReceiptPreconditions();
int32_t PrintControlNoResume(int32_t mode);

// Lock byte (command 0x60) into `second`, status of 0x5E into `first`.
int32_t ReadStatus94And96(uint8_t& first, uint8_t& second);

// One status byte of a bare-data status command (0x94, 0x95, 0x96, 0x9B ...).
int32_t ReadStatusByte(uint8_t command, uint8_t& status);

}  // namespace kestradr
