// The program's gateway over the driver's handle interface: one tauravat_printer on the
// port the operator chose, opened without the settling of tauravat_open so that the
// program's own identification and status checks are all the printer hears.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "flow/printer_gateway.hpp"

namespace taurasw {

// Whether COM `port` names a device that opens now (one held by another program does not).
bool ComPortOpens(uint8_t port);

class DriverGateway : public PrinterGateway {
 public:
  DriverGateway();
  ~DriverGateway() override;
  DriverGateway(const DriverGateway&) = delete;
  DriverGateway& operator=(const DriverGateway&) = delete;

  std::vector<AvailablePort> AvailablePorts() override;
  void PurgePort() override;
  int32_t OpenPort(uint8_t port, uint16_t speed) override;
  int32_t ReadDeviceType(uint8_t& type) override;
  uint8_t DeviceType() const override;
  int32_t DeviceName(QString& name) override;
  int32_t ReadStatus94And96(uint8_t& first, uint8_t& second) override;
  int32_t ReadStatusBytes(StatusRead& status) override;
  int32_t ReadVAT(int32_t& count, RateValues& rates) override;
  int32_t SetVAT(int32_t& count, const RateValues& rates) override;
  int32_t DailyReport(int32_t force) override;
  int32_t PrintControl(int32_t mode) override;
  int32_t RSSequence(uint8_t command, int32_t replyLength, std::vector<uint8_t>& reply) override;
  QString ErrMessage(int32_t code) override;
  void InstallCallbacks(std::function<void(const QString&)> progress,
                        std::function<void()> messagePump) override;

 private:
  struct Close {
    void operator()(tauravat_printer* printer) const { tauravat_close(printer); }
  };
  int32_t Open(uint8_t port, uint16_t speed);
  static void TAURAVAT_CALL Progress(void* user, const char* text);
  static void TAURAVAT_CALL Pump(void* user);

  std::unique_ptr<tauravat_printer, Close> printer_;
  uint8_t port_ = 0;
  uint16_t speed_ = 0;
  uint8_t type_ = kDeviceUnknown;
  std::function<void(const QString&)> progress_;
  std::function<void()> pump_;
};

}  // namespace taurasw
