#include "connection.hpp"

#include "callbacks.hpp"
#include "comm.hpp"
#include "exchange.hpp"
#include "messages.hpp"
#include "receipt_state.hpp"
#include "tauravat.h"

namespace kestradr {

// True before the first CommunicationInit so that commands do not try to reconnect to a
// port nobody named; they fail at the first byte instead.
bool Connected = true;
uint8_t DeviceType = kDeviceNone;
int32_t PortNumber = 0;
uint32_t BaudRate = 9600;
int32_t ReadTimeout = 5;
bool ReceiptOpen = false;
uint16_t PortWriteTimeout = 3;
uint16_t PortReadTimeout = 5;

namespace {
constexpr uint8_t kCancelPending = 0x23;
}

int32_t SettlePrinterAndIdentify() {
  Block reply{};
  // Whatever the printer still has pending (a receipt left open by a crashed caller) is
  // cancelled and printed out before we ask who it is. Models without the command NAK it.
  const int32_t cancel = SendSequence(kCancelPending, 1, reply);
  if (cancel != kOk && cancel != kNak) return cancel;
  if (cancel == kOk) {
    if (const int32_t printed = PrintControl(0, DeviceType); printed != kOk) return printed;
  }
  uint32_t version = 0;
  return ReadDeviceType(DeviceType, version);
}

void ForgetConnection(bool cancelsReceipt) {
  Connected = false;
  if (ReceiptOpen && !cancelsReceipt) return;
  DropOpenReceipt();
  DeviceType = kDeviceNone;
}

int32_t ConnectPrinter(int32_t port, bool identify) {
  if (port == 0) return kNoPortNumber;
  ForgetConnection(identify);
  if (const int32_t closed = DonePort(); closed != kOk) return closed;
  const auto seconds = static_cast<uint16_t>(ReadTimeout);
  int32_t result = InitPort(static_cast<uint8_t>(port), BaudRate, seconds, seconds);
  if (result == kOk) {
    if (identify) result = SettlePrinterAndIdentify();
    Connected = result == kOk;
  }
  return result;
}

int32_t ReopenFailedPort() {
  // A port the caller opened itself (OpenPort) was named to nobody and is left alone.
  if (PortNumber == 0 || !PortFailed()) return kOk;
  int32_t result = DonePort();
  if (result == kOk) {
    const auto seconds = static_cast<uint16_t>(ReadTimeout);
    result = InitPort(static_cast<uint8_t>(PortNumber), BaudRate, seconds, seconds);
  }
  // Not reopened: the next operation connects afresh.
  if (result != kOk) Connected = false;
  return result;
}

int32_t Prologue(bool identify, bool refuseInReceipt) {
  if (!Connected) {
    if (const int32_t connected = ConnectPrinter(PortNumber, identify); connected != kOk)
      return connected;
  } else if (const int32_t reopened = ReopenFailedPort(); reopened != kOk) {
    return reopened;
  }
  if (refuseInReceipt && ReceiptOpen) return kReceiptOpen;
  return kOk;
}

}  // namespace kestradr
