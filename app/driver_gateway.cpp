#include "driver_gateway.hpp"

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <utility>

#include "flow/app_state.hpp"

namespace taurasw {

namespace {

struct FreePorts {
  void operator()(tauravat_port_list* list) const { tauravat_free_ports(list); }
};

// The write and read time-out of each byte: the driver's own for the operator's port.
constexpr uint32_t kByteTimeoutMs = 5000;

std::string ComName(uint8_t port) {
  return "COM" + std::to_string(port);
}

tauravat_options Options(uint16_t speed, tauravat_progress_fn progress, void* user) {
  tauravat_options options{};
  options.size = sizeof options;
  options.baud = speed;
  options.timeout_ms = kByteTimeoutMs;
  options.progress = progress;
  options.user = user;
  return options;
}

// The program's texts for a port that will not open are those of the legacy numbers (2 no
// such port, 5 held or refused); the handle interface's port codes map back to them.
int32_t ProgramOpenCode(int32_t code) {
  switch (code) {
    case TAURAVAT_E_PORT_NOT_FOUND:
    case TAURAVAT_E_PORT_VANISHED:
      return 2;
    case TAURAVAT_E_PORT_PERMISSION:
    case TAURAVAT_E_PORT_BUSY:
      return TAURAVAT_E_PORT_IN_USE;
    default:
      return code;
  }
}

}  // namespace

bool ComPortOpens(uint8_t port) {
  const tauravat_options options = Options(9600, nullptr, nullptr);
  tauravat_printer* probe = nullptr;
  if (tauravat_open_port(ComName(port).c_str(), &options, &probe) != TAURAVAT_OK) return false;
  tauravat_close(probe);
  return true;
}

DriverGateway::DriverGateway() = default;
DriverGateway::~DriverGateway() = default;

// The driver lists the ports and the COM numbers that reach them; each number is tried,
// since only a port that opens now may be chosen.
std::vector<AvailablePort> DriverGateway::AvailablePorts() {
  tauravat_port_list* listed = nullptr;
  size_t count = 0;
  if (tauravat_list_ports(&listed, &count) != TAURAVAT_OK) return {};
  const std::unique_ptr<tauravat_port_list, FreePorts> list(listed);
  std::vector<AvailablePort> ports;
  for (size_t i = 0; i < count; ++i) {
    tauravat_port_info info{};
    info.size = sizeof info;
    if (tauravat_port_list_item(list.get(), i, &info) != TAURAVAT_OK) continue;
    const QString device = QString::fromUtf8(*info.by_id != '\0' ? info.by_id : info.path);
    for (size_t n = 0; n < info.com_count; ++n) {
      const int32_t number = info.com_numbers[n];
      if (number < 1 || number > kHighestComPort) continue;
      if (ComPortOpens(static_cast<uint8_t>(number))) {
        ports.push_back({static_cast<uint8_t>(number), device});
      }
    }
  }
  std::sort(ports.begin(), ports.end(),
            [](const AvailablePort& a, const AvailablePort& b) { return a.number < b.number; });
  return ports;
}

// A fresh port holds nothing from before: reopening is the purge.
void DriverGateway::PurgePort() {
  if (printer_) Open(port_, speed_);
}

int32_t DriverGateway::OpenPort(uint8_t port, uint16_t speed) {
  return Open(port, speed);
}

int32_t DriverGateway::Open(uint8_t port, uint16_t speed) {
  printer_.reset();
  type_ = kDeviceUnknown;
  // Nothing is sent on opening: the program identifies the printer itself.
  const tauravat_options options = Options(speed, &DriverGateway::Progress, this);
  tauravat_printer* opened = nullptr;
  const int32_t result = tauravat_open_port(ComName(port).c_str(), &options, &opened);
  if (result != TAURAVAT_OK) return ProgramOpenCode(result);
  printer_.reset(opened);
  port_ = port;
  speed_ = speed;
  tauravat_set_message_pump(opened, &DriverGateway::Pump, this);
  return TAURAVAT_OK;
}

int32_t DriverGateway::ReadDeviceType(uint8_t& type) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  int32_t code = kDeviceUnknown;
  const int32_t result = tauravat_identify(printer_.get(), &code);
  if (result == TAURAVAT_OK) type = type_ = static_cast<uint8_t>(code);
  return result;
}

uint8_t DriverGateway::DeviceType() const {
  return type_;
}

int32_t DriverGateway::DeviceName(QString& name) {
  name.clear();
  if (!printer_) return TAURAVAT_E_NO_PORT;
  std::array<char, TAURAVAT_DEVICE_NAME_SIZE> text{};
  const int32_t result = tauravat_device_name(printer_.get(), text.data(), text.size(), nullptr);
  if (result == TAURAVAT_OK) name = QString::fromUtf8(text.data());
  return result;
}

// The bare status commands 0x60 (the lock byte) and 0x5E: one byte each, no ACK.
int32_t DriverGateway::ReadStatus94And96(uint8_t& first, uint8_t& second) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  const std::pair<uint8_t, uint8_t*> reads[] = {{0x60, &second}, {0x5E, &first}};
  for (const auto& [command, into] : reads) {
    uint8_t byte = 0;
    const int32_t result =
        tauravat_rs_sequence(printer_.get(), command, nullptr, 0, 1, &byte, 1, nullptr);
    if (result != TAURAVAT_OK) return result;
    *into = byte;
  }
  return TAURAVAT_OK;
}

int32_t DriverGateway::ReadStatusBytes(StatusRead& status) {
  status = StatusRead{};
  if (!printer_) return TAURAVAT_E_NO_PORT;
  std::array<uint8_t, TAURAVAT_STATUS_BYTES> bytes{};
  uint32_t present = 0;
  const int32_t result = tauravat_read_status_bytes(printer_.get(), bytes.data(), &present);
  if (result != TAURAVAT_OK) return result;
  for (size_t k = 1; k <= bytes.size(); ++k) status.s[k] = bytes[k - 1];
  // Bytes 1..4 always; then 5 and 6 together, then 7.
  status.count = (present & 0x40u) != 0 ? 7 : (present & 0x20u) != 0 ? 6 : 4;
  status.eighthPresent = (present & 0x80u) != 0;
  return TAURAVAT_OK;
}

int32_t DriverGateway::ReadVAT(int32_t& count, RateValues& rates) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  RateValues read = rates;
  const int32_t result = tauravat_read_vat(printer_.get(), &count, read.data());
  if (result == TAURAVAT_OK) rates = read;
  return result;
}

int32_t DriverGateway::SetVAT(int32_t& count, const RateValues& rates) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  return tauravat_set_vat(printer_.get(), &count, rates.data());
}

int32_t DriverGateway::DailyReport(int32_t force) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  return tauravat_daily_report(printer_.get(), force);
}

int32_t DriverGateway::PrintControl(int32_t mode) {
  if (!printer_) return TAURAVAT_E_NO_PORT;
  return tauravat_print_control(printer_.get(), mode);
}

int32_t DriverGateway::RSSequence(uint8_t command, int32_t replyLength,
                                  std::vector<uint8_t>& reply) {
  reply.assign(256, 0);
  if (!printer_) return TAURAVAT_E_NO_PORT;
  if (replyLength < 0 || replyLength > 255) return TAURAVAT_E_PARAMETER_RANGE;
  return tauravat_rs_sequence(printer_.get(), command, nullptr, 0, static_cast<size_t>(replyLength),
                              reply.data(), reply.size(), nullptr);
}

QString DriverGateway::ErrMessage(int32_t code) {
  std::array<char, TAURAVAT_MESSAGE_SIZE> text{};
  if (tauravat_message(code, "pl", text.data(), text.size(), nullptr) != TAURAVAT_OK) return {};
  return QString::fromUtf8(text.data());
}

void DriverGateway::InstallCallbacks(std::function<void(const QString&)> progress,
                                     std::function<void()> messagePump) {
  progress_ = std::move(progress);
  pump_ = std::move(messagePump);
}

void TAURAVAT_CALL DriverGateway::Progress(void* user, const char* text) {
  auto& gateway = *static_cast<DriverGateway*>(user);
  if (gateway.progress_) gateway.progress_(QString::fromUtf8(text));
}

void TAURAVAT_CALL DriverGateway::Pump(void* user) {
  auto& gateway = *static_cast<DriverGateway*>(user);
  if (gateway.pump_) gateway.pump_();
}

}  // namespace taurasw
