#include "driver_gateway.hpp"

#include <QStringDecoder>

#include "callbacks.hpp"
#include "comm.hpp"
#include "connection.hpp"
#include "port_choice.hpp"
#include "port_names.hpp"
#include "tauravat.hpp"

namespace taurasw {

QString FromCp1250(const std::string& text) {
  QStringDecoder decoder("windows-1250");
  if (!decoder.isValid())
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  return decoder.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
}

bool DriverGateway::PortAvailable(uint8_t port) {
  return kestradr::PortAvailable(port);
}

QString DriverGateway::PortDevicePath(uint8_t port) {
  const std::optional<std::string> path = kestradr::PlatformPortPath(port);
  return path ? QString::fromLocal8Bit(path->c_str()) : QString();
}

void DriverGateway::PurgePort() {
  kestradr::PurgePort();
}

int32_t DriverGateway::OpenPort(uint8_t port, uint16_t speed) {
  kestradr::DonePort();
  const int32_t result =
      kestradr::InitPort(port, speed, kestradr::PortWriteTimeout, kestradr::PortReadTimeout);
  if (result == 0) {
    // Recorded so that a command that finds the connection lost reconnects to the
    // port the program chose rather than refusing for want of a port number.
    kestradr::PortNumber = port;
    kestradr::BaudRate = speed;
  }
  return result;
}

void DriverGateway::SetSelection(uint8_t port, uint16_t speed) {
  kestradr::SelectedPort = port;
  kestradr::SelectedSpeed = speed;
}

int32_t DriverGateway::ReadDeviceType(uint8_t& type) {
  uint32_t version = 0;
  const int32_t result = kestradr::ReadDeviceType(type, version);
  if (result == 0) kestradr::DeviceType = type;
  return result;
}

uint8_t DriverGateway::DeviceType() const {
  return kestradr::DeviceType;
}

int32_t DriverGateway::DeviceName(QString& name) {
  std::string text;
  const int32_t result = ::DeviceName(text);
  name = FromCp1250(text);
  return result;
}

int32_t DriverGateway::ReadStatus94And96(uint8_t& first, uint8_t& second) {
  return kestradr::ReadStatus94And96(first, second);
}

int32_t DriverGateway::ReadStatusBytes(StatusRead& status) {
  kestradr::StatusBytes bytes;
  const int32_t result = kestradr::ReadStatusBytes(bytes);
  status.count = bytes.count;
  status.s = bytes.s;
  status.eighthPresent = bytes.eighthPresent;
  return result;
}

int32_t DriverGateway::ReadVAT(int32_t& count, RateValues& rates) {
  return ::ReadVAT(&count, &rates[0], &rates[1], &rates[2], &rates[3], &rates[4], &rates[5],
                   &rates[6]);
}

int32_t DriverGateway::SetVAT(int32_t& count, const RateValues& rates) {
  return ::SetVAT(&count, rates[0], rates[1], rates[2], rates[3], rates[4], rates[5], rates[6]);
}

int32_t DriverGateway::DailyReport(int32_t force) {
  return ::DailyReport(force);
}

int32_t DriverGateway::PrintControl(int32_t mode, uint8_t deviceType) {
  return ::PrintControl(mode, deviceType);
}

int32_t DriverGateway::RSSequence(uint8_t command, int32_t replyLength,
                                  std::vector<uint8_t>& reply) {
  uint8_t buffer[256] = {};
  const uint8_t parameters[256] = {};
  const int32_t result = ::RSSequence(command, replyLength, 0, buffer, parameters);
  reply.assign(buffer, buffer + sizeof buffer);
  return result;
}

QString DriverGateway::ErrMessage(int32_t code) {
  std::string text;
  ::ErrMessage(code, text);
  return FromCp1250(text);
}

}  // namespace taurasw

namespace taurasw {

void DriverGateway::InstallCallbacks(std::function<void(const QString&)> progress,
                                     std::function<void()> messagePump) {
  if (progress)
    kestradr::SetProgressCallback(
        [progress = std::move(progress)](const std::string& text) { progress(FromCp1250(text)); });
  else
    kestradr::SetProgressCallback({});
  kestradr::SetMessagePumpCallback(std::move(messagePump));
}

}  // namespace taurasw
