// The program's gateway over the real driver: the process's default Printer, called
// through its methods under its lock. Driver texts come in code page 1250 and leave here
// as QString.
#pragma once

#include <string>

#include "flow/printer_gateway.hpp"

namespace taurasw {

class DriverGateway : public PrinterGateway {
 public:
  bool PortAvailable(uint8_t port) override;
  QString PortDevicePath(uint8_t port) override;
  void PurgePort() override;
  int32_t OpenPort(uint8_t port, uint16_t speed) override;
  void SetSelection(uint8_t port, uint16_t speed) override;
  int32_t ReadDeviceType(uint8_t& type) override;
  uint8_t DeviceType() const override;
  int32_t DeviceName(QString& name) override;
  int32_t ReadStatus94And96(uint8_t& first, uint8_t& second) override;
  int32_t ReadStatusBytes(StatusRead& status) override;
  int32_t ReadVAT(int32_t& count, RateValues& rates) override;
  int32_t SetVAT(int32_t& count, const RateValues& rates) override;
  int32_t DailyReport(int32_t force) override;
  int32_t PrintControl(int32_t mode, uint8_t deviceType) override;
  int32_t RSSequence(uint8_t command, int32_t replyLength, std::vector<uint8_t>& reply) override;
  QString ErrMessage(int32_t code) override;
  void InstallCallbacks(std::function<void(const QString&)> progress,
                        std::function<void()> messagePump) override;
};

// Code page 1250 text of the driver as a QString.
QString FromCp1250(const std::string& text);

}  // namespace taurasw
