#include "driver_gateway.hpp"

#include <QStringDecoder>
#include <mutex>

#include "export_guard.hpp"
#include "port_names.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace taurasw {

namespace {

// Every call holds the printer's lock, as the exports do, and turns an exception into
// the driver's internal-failure code, which the program shows like any other.
template <typename Body>
int32_t OnPrinter(Body&& body) {
  return kestradr::Guarded([&]() -> int32_t {
    kestradr::Printer& printer = kestradr::DefaultPrinter();
    std::lock_guard lock(printer.CallLock());
    return body(printer);
  });
}

}  // namespace

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
  OnPrinter([](kestradr::Printer& p) {
    p.Link.PurgePort();
    return 0;
  });
}

int32_t DriverGateway::OpenPort(uint8_t port, uint16_t speed) {
  return OnPrinter([&](kestradr::Printer& p) { return p.OpenChosenPort(port, speed); });
}

void DriverGateway::SetSelection(uint8_t port, uint16_t speed) {
  OnPrinter([&](kestradr::Printer& p) {
    p.SetSelection(port, speed);
    return 0;
  });
}

int32_t DriverGateway::ReadDeviceType(uint8_t& type) {
  return OnPrinter([&](kestradr::Printer& p) { return p.Identify(type); });
}

uint8_t DriverGateway::DeviceType() const {
  kestradr::Printer& printer = kestradr::DefaultPrinter();
  std::lock_guard lock(printer.CallLock());
  return printer.DeviceType;
}

int32_t DriverGateway::DeviceName(QString& name) {
  std::string text;
  const int32_t result = OnPrinter([&](kestradr::Printer& p) { return p.DeviceName(text); });
  name = FromCp1250(text);
  return result;
}

int32_t DriverGateway::ReadStatus94And96(uint8_t& first, uint8_t& second) {
  return OnPrinter([&](kestradr::Printer& p) { return p.ReadStatus94And96(first, second); });
}

int32_t DriverGateway::ReadStatusBytes(StatusRead& status) {
  kestradr::StatusBytes bytes;
  const int32_t result = OnPrinter([&](kestradr::Printer& p) { return p.ReadStatusBytes(bytes); });
  status.count = bytes.count;
  status.s = bytes.s;
  status.eighthPresent = bytes.eighthPresent;
  return result;
}

int32_t DriverGateway::ReadVAT(int32_t& count, RateValues& rates) {
  return OnPrinter([&](kestradr::Printer& p) { return p.ReadVAT(count, rates); });
}

int32_t DriverGateway::SetVAT(int32_t& count, const RateValues& rates) {
  return OnPrinter([&](kestradr::Printer& p) { return p.SetVAT(count, rates); });
}

int32_t DriverGateway::DailyReport(int32_t force) {
  return OnPrinter([&](kestradr::Printer& p) { return p.DailyReport(force); });
}

int32_t DriverGateway::PrintControl(int32_t mode, uint8_t deviceType) {
  return OnPrinter([&](kestradr::Printer& p) { return p.PrintControl(mode, deviceType); });
}

int32_t DriverGateway::RSSequence(uint8_t command, int32_t replyLength,
                                  std::vector<uint8_t>& reply) {
  uint8_t buffer[256] = {};
  const uint8_t parameters[256] = {};
  const int32_t result = OnPrinter([&](kestradr::Printer& p) {
    return p.RSSequence(command, replyLength, 0, buffer, parameters);
  });
  reply.assign(buffer, buffer + sizeof buffer);
  return result;
}

QString DriverGateway::ErrMessage(int32_t code) {
  std::string text;
  ::ErrMessage(code, text);
  return FromCp1250(text);
}

void DriverGateway::InstallCallbacks(std::function<void(const QString&)> progress,
                                     std::function<void()> messagePump) {
  OnPrinter([&](kestradr::Printer& p) {
    if (progress)
      p.SetProgressCallback([progress = std::move(progress)](const std::string& text) {
        progress(FromCp1250(text));
      });
    else
      p.SetProgressCallback({});
    p.SetMessagePumpCallback(std::move(messagePump));
    return 0;
  });
}

}  // namespace taurasw
