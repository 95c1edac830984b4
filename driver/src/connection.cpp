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
  if (cancel != kOk && cancel != kNak) return cancel;
  if (cancel == kOk) {
    if (const int32_t printed = PrintControl(0, DeviceType); printed != kOk) return printed;
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
  if (address.Empty()) return kNoPortNumber;
  ForgetConnection(identify);
  if (const int32_t closed = Link.DonePort(); closed != kOk) return closed;
  int32_t result = Link.InitPort(address, BaudRate, ReadTimeoutMs, ReadTimeoutMs);
  if (result == kOk) {
    if (identify) result = SettlePrinterAndIdentify();
    Connected = result == kOk;
  }
  return result;
}

int32_t Printer::ReopenFailedPort() {
  // A port the caller opened itself (OpenPort) was named to nobody and is left alone.
  const PortAddress address = AddressOf(PortNumber);
  if (address.Empty() || !Link.PortFailed()) return kOk;
  int32_t result = Link.DonePort();
  if (result == kOk) result = Link.InitPort(address, BaudRate, ReadTimeoutMs, ReadTimeoutMs);
  // Not reopened: the next operation connects afresh.
  if (result != kOk) Connected = false;
  return result;
}

int32_t Printer::Prologue(bool identify, bool refuseInReceipt) {
  if (!Connected) {
    if (const int32_t connected = ConnectPrinter(PortNumber, identify); connected != kOk)
      return connected;
  } else if (const int32_t reopened = ReopenFailedPort(); reopened != kOk) {
    return reopened;
  }
  if (refuseInReceipt && ReceiptOpen) return kReceiptOpen;
  return kOk;
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
  if (const int32_t closed = Link.DonePort(); closed != kOk) return closed;
  if (const int32_t opened = Link.InitPort(address, BaudRate, timeoutMs, timeoutMs); opened != kOk)
    return opened;
  // Left not connected, so the first command that talks to the printer connects.
  if (!identify) return kOk;
  const int32_t result = SettlePrinterAndIdentify();
  Connected = result == kOk;
  return result;
}

int32_t Printer::CommunicationEnd() {
  DeviceType = kDeviceNone;
  if (const int32_t closed = Link.DonePort(); closed != kOk) return closed;
  Connected = false;
  // Every later command answers 114 until the caller initialises again.
  PortNumber = 0;
  DevicePath.clear();
  return kOk;
}

int32_t Printer::DeviceName(std::string& name) {
  name.clear();
  if (const int32_t result = Prologue(true, false); result != kOk) return result;
  name = DeviceNameOf(DeviceType);
  return kOk;
}

int32_t Printer::PlainDeviceName(std::string& name) {
  if (const int32_t result = Prologue(true, false); result != kOk) return result;
  name = PlainDeviceNameOf(DeviceType);
  return kOk;
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
  if (result == kOk) {
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
  if (result == kOk) DeviceType = type;
  return result;
}

}  // namespace kestradr
