// The connection of a printer: opening it, the automatic reconnection every command
// begins with, and what the program and the exports learn about the connected device.
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

PortAddress Printer::AddressOf(int32_t port) const {
  if (port != 0) return {port, {}};
  return {0, DevicePath};
}

int32_t Printer::SettlePrinterAndIdentify() {
  Block reply{};
  // Whatever the printer still has pending (a receipt left open by a crashed caller) is
  // cancelled and printed out before we ask who it is. Models without the command NAK it.
  const int32_t cancel = SendSequence(cmd::kCancel, reply);
  if (cancel != TAURAVAT_OK && cancel != TAURAVAT_E_NAK) return cancel;
  if (cancel == TAURAVAT_OK) {
    if (const int32_t printed = PrintControl(PrintWait::kFollow, DeviceType);
        printed != TAURAVAT_OK)
      return printed;
  }
  uint32_t version = 0;
  return ReadDeviceType(DeviceType, version);
}

void Printer::ForgetConnection(bool cancelsReceipt) {
  Connected = false;
  if (ReceiptOpen && !cancelsReceipt) return;
  DropOpenReceipt();
  DeviceType = kDeviceNone;
}

int32_t Printer::ConnectPrinter(int32_t port, bool identify) {
  const PortAddress address = AddressOf(port);
  if (address.Empty()) return TAURAVAT_E_NO_PORT;
  ForgetConnection(identify);
  if (const int32_t closed = Link.DonePort(); closed != TAURAVAT_OK) return closed;
  int32_t result = Link.InitPort(address, BaudRate, ReadTimeoutMs, ReadTimeoutMs);
  if (result == TAURAVAT_OK) {
    if (identify) result = SettlePrinterAndIdentify();
    Connected = result == TAURAVAT_OK;
  }
  return result;
}

int32_t Printer::ReopenFailedPort() {
  // A port the caller opened itself (OpenPort) was named to nobody and is left alone.
  const PortAddress address = AddressOf(PortNumber);
  if (address.Empty() || !Link.PortFailed()) return TAURAVAT_OK;
  int32_t result = Link.DonePort();
  if (result == TAURAVAT_OK)
    result = Link.InitPort(address, BaudRate, ReadTimeoutMs, ReadTimeoutMs);
  // Not reopened: the next operation connects afresh.
  if (result != TAURAVAT_OK) Connected = false;
  return result;
}

int32_t Printer::Prologue(bool identify, bool refuseInReceipt) {
  if (!Connected) {
    if (const int32_t connected = ConnectPrinter(PortNumber, identify); connected != TAURAVAT_OK)
      return connected;
  } else if (const int32_t reopened = ReopenFailedPort(); reopened != TAURAVAT_OK) {
    return reopened;
  }
  if (refuseInReceipt && ReceiptOpen) return TAURAVAT_E_RECEIPT_OPEN;
  return TAURAVAT_OK;
}

int32_t Printer::Open(std::string_view device, uint32_t baud, uint32_t timeoutMs) {
  return OpenAddress(ParsePortAddress(device), baud, timeoutMs);
}

int32_t Printer::OpenSilently(std::string_view device, uint32_t baud, uint32_t timeoutMs) {
  return OpenAddress(ParsePortAddress(device), baud, timeoutMs, false);
}

int32_t Printer::CommunicationInit(uint8_t port, uint32_t baud, uint32_t timeoutSeconds) {
  // The port takes 16-bit seconds, as it always has.
  const uint32_t timeoutMs = static_cast<uint16_t>(timeoutSeconds) * 1000u;
  return OpenAddress({port, {}}, baud, timeoutMs);
}

int32_t Printer::OpenAddress(const PortAddress& address, uint32_t baud, uint32_t timeoutMs,
                             bool identify) {
  // Recorded first: a failure below leaves the printer to reconnect with them later.
  ReadTimeoutMs = timeoutMs;
  BaudRate = baud;
  PortNumber = address.number;
  DevicePath = address.path;
  ForgetConnection(true);
  if (const int32_t closed = Link.DonePort(); closed != TAURAVAT_OK) return closed;
  if (const int32_t opened = Link.InitPort(address, BaudRate, timeoutMs, timeoutMs);
      opened != TAURAVAT_OK)
    return opened;
  // Left not connected, so the first command that talks to the printer connects.
  if (!identify) return TAURAVAT_OK;
  const int32_t result = SettlePrinterAndIdentify();
  Connected = result == TAURAVAT_OK;
  return result;
}

int32_t Printer::CommunicationEnd() {
  DeviceType = kDeviceNone;
  if (const int32_t closed = Link.DonePort(); closed != TAURAVAT_OK) return closed;
  Connected = false;
  // Every later command answers 114 until the caller initialises again.
  PortNumber = 0;
  DevicePath.clear();
  return TAURAVAT_OK;
}

int32_t Printer::DeviceName(std::string& name) {
  name.clear();
  if (const int32_t result = Prologue(true, false); result != TAURAVAT_OK) return result;
  name = DeviceNameOf(DeviceType);
  return TAURAVAT_OK;
}

int32_t Printer::PlainDeviceName(std::string& name) {
  if (const int32_t result = Prologue(true, false); result != TAURAVAT_OK) return result;
  name = PlainDeviceNameOf(DeviceType);
  return TAURAVAT_OK;
}

int32_t Printer::InitPort(uint8_t port, uint32_t baud, uint16_t writeTimeoutSeconds,
                          uint16_t readTimeoutSeconds) {
  return Link.InitPort({port, {}}, baud, writeTimeoutSeconds * 1000u, readTimeoutSeconds * 1000u);
}

int32_t Printer::DonePort() {
  return Link.DonePort();
}

int32_t Printer::OpenChosenPort(uint8_t port, uint16_t speed) {
  Link.DonePort();
  const int32_t result = InitPort(port, speed, PortWriteTimeout, PortReadTimeout);
  if (result == TAURAVAT_OK) {
    // Recorded so that a command that finds the connection lost reconnects to the
    // port the program chose rather than refusing for want of a port number.
    PortNumber = port;
    DevicePath.clear();
    BaudRate = speed;
  }
  return result;
}

void Printer::SetSelection(uint8_t port, uint16_t speed) {
  SelectedPort = port;
  SelectedSpeed = speed;
}

int32_t Printer::Identify(uint8_t& type) {
  uint32_t version = 0;
  const int32_t result = ReadDeviceType(type, version);
  if (result == TAURAVAT_OK) DeviceType = type;
  return result;
}

}  // namespace kestradr
