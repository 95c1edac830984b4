// The program's view of the driver: the few driver calls the dialog, the editor and
// the main window's services make. The real one speaks the driver's handle interface;
// tests put the real one in front of emulated printers.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "tauravat.h"

namespace taurasw {

// Rate values in hundredths of a percent; two values are markers, not rates.
inline constexpr uint32_t kReservedRateValue = TAURAVAT_RATE_RESERVED;
inline constexpr uint32_t kExemptRateValue = TAURAVAT_RATE_EXEMPT;
inline constexpr uint8_t kDeviceUnknown = 11;  // none or an unknown device
using RateValues = std::array<uint32_t, 7>;    // A..G

// Status bytes as ReadStatusBytes numbers them: s[1]..s[8].
struct StatusRead {
  int32_t count = 0;
  std::array<uint8_t, 9> s{};
  bool eighthPresent = false;
};

struct AvailablePort {
  uint8_t number = 0;  // COM1..COM255
  QString device;      // "/dev/serial/by-id/usb-FTDI_...", else "/dev/ttyUSB0"; may be empty
};

class PrinterGateway {
 public:
  virtual ~PrinterGateway() = default;

  // The COM ports that open now (one held by another program does not), ascending, each
  // with the device it opens: two adapters are both "COMn" to the operator.
  virtual std::vector<AvailablePort> AvailablePorts() = 0;
  virtual void PurgePort() = 0;
  // Closes whatever port is open and opens `port` with the driver's time-outs; long
  // reports reopen this port. Nothing is sent. 0, or the OS error (2 no such port, 5 in
  // use).
  virtual int32_t OpenPort(uint8_t port, uint16_t speed) = 0;

  // Identifies the printer; the driver's decisions follow that type from then on.
  virtual int32_t ReadDeviceType(uint8_t& type) = 0;
  virtual uint8_t DeviceType() const = 0;
  virtual int32_t DeviceName(QString& name) = 0;
  virtual int32_t ReadStatus94And96(uint8_t& first, uint8_t& second) = 0;
  virtual int32_t ReadStatusBytes(StatusRead& status) = 0;

  // Rates the model does not keep come back reserved; on a failure `rates` is untouched.
  virtual int32_t ReadVAT(int32_t& count, RateValues& rates) = 0;
  virtual int32_t SetVAT(int32_t& count, const RateValues& rates) = 0;
  virtual int32_t DailyReport(int32_t force) = 0;
  // Print supervision for the identified model: 1 before a printout, 0 to follow one.
  virtual int32_t PrintControl(int32_t mode) = 0;
  // `reply` receives the data bytes (at least replyLength - 1 of them).
  virtual int32_t RSSequence(uint8_t command, int32_t replyLength, std::vector<uint8_t>& reply) = 0;

  virtual QString ErrMessage(int32_t code) = 0;

  // The driver announces its operations and pumps the window messages through these
  // while it polls a printout; empty functions take them away again.
  virtual void InstallCallbacks(std::function<void(const QString&)> progress,
                                std::function<void()> messagePump) {
    (void)progress;
    (void)messagePump;
  }
};

}  // namespace taurasw
