// What only a test needs of a Printer: its private state, to look at what the driver keeps
// or to put it where the line cannot easily take it (a receipt left open, a device type
// never identified). Nothing outside tests and fuzz targets includes this.
#pragma once

#include "printer.hpp"

namespace kestradr {

class PrinterInternals {
 public:
  explicit PrinterInternals(Printer& printer) : p_(printer) {}

  SerialLink& Link() { return p_.Link; }
  Block& SendBuffer() { return p_.SendBuffer; }
  Block& ReplyBuffer() { return p_.ReplyBuffer; }
  uint8_t& LastSequenceResult() { return p_.LastSequenceResult; }
  bool& Connected() { return p_.Connected; }
  uint8_t& DeviceType() { return p_.DeviceType; }
  int32_t& PortNumber() { return p_.PortNumber; }
  std::string& DevicePath() { return p_.DevicePath; }
  uint32_t& BaudRate() { return p_.BaudRate; }
  uint32_t& ReadTimeoutMs() { return p_.ReadTimeoutMs; }
  bool& ReceiptOpen() { return p_.ReceiptOpen; }
  uint8_t& SelectedPort() { return p_.SelectedPort; }
  uint16_t& SelectedSpeed() { return p_.SelectedSpeed; }
  std::array<int32_t, 8>& RateTotals() { return p_.RateTotals; }
  uint8_t& ItemCount() { return p_.ItemCount; }
  int32_t& LastItemValue() { return p_.LastItemValue; }
  std::array<PaymentSlot, 5>& PaymentTable() { return p_.PaymentTable; }
  std::array<ExtraLine, 7>& ExtraLineTable() { return p_.ExtraLineTable; }

 private:
  Printer& p_;
};

}  // namespace kestradr
