#include "driver_fixture.hpp"

#include <stdexcept>

#include "cp1250.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr::testing {

namespace {

// A scripted port noting the time-outs it is opened with (closing restores others).
class LoggingDevice : public LineDevice {
 public:
  LoggingDevice(std::shared_ptr<ScriptedLine> line, std::shared_ptr<std::vector<PortOpening>> log)
      : LineDevice(*line, line), log_(std::move(log)), entry_(log_->size() - 1) {}
  uint32_t SetTimeouts(const CommTimeouts& timeouts) override {
    if (!recorded_ && entry_ < log_->size()) {
      (*log_)[entry_].readTimeoutMs = timeouts.readTotalConstant;
      (*log_)[entry_].writeTimeoutMs = timeouts.writeTotalConstant;
    }
    recorded_ = true;
    return LineDevice::SetTimeouts(timeouts);
  }

 private:
  std::shared_ptr<std::vector<PortOpening>> log_;
  size_t entry_;
  bool recorded_ = false;
};

// Supervision of a printout that never ends would poll forever: end it as 999 instead.
void LimitPolls() {
  DefaultPrinter().SetMessagePumpCallback([polls = 0]() mutable {
    if (++polls > 20000) throw std::runtime_error("supervision never ended");
  });
}

void ResetPrinter() {
  DefaultPrinter().SetMessagePumpCallback({});
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  PrinterInternals(DefaultPrinter()).SelectedPort() = 0;
  PrinterInternals(DefaultPrinter()).SelectedSpeed() = 0;
}

}  // namespace

std::vector<std::string>& Captions() {
  static std::vector<std::string> captions;
  return captions;
}

std::vector<uint8_t> Bytes(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<uint8_t> Le32(int32_t value) {
  const auto bits = static_cast<uint32_t>(value);
  return {static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8),
          static_cast<uint8_t>(bits >> 16), static_cast<uint8_t>(bits >> 24)};
}

void ScriptIdentity(ScriptedLine& line, int type, uint8_t version) {
  // Unknown sub-types and families: bytes that no row of the model table claims.
  const DeviceModel& model = kDeviceModels.at(static_cast<size_t>(type));
  line.Always(0xFF, {0x06, model.subType == SubType::Unknown ? uint8_t{0x33} : model.family});
  if (model.subType == SubType::Refused) line.Always(0xFE, {0x15});
  if (model.subType == SubType::Is || model.subType == SubType::Other)
    line.Always(0xFE, {0x06, model.subType == SubType::Is ? model.subTypeCode : uint8_t{0x01},
                       version, 0x00});
}

void ScriptedDriver::SetUp() {
  SetDeviceOpener([line = line_, openings = openings_](const PortAddress& address) {
    openings->push_back({address.number, 0, 0});
    DeviceOpenResult result;  // the line's own device only counts the opening
    if (line->OpenDevice()) result.device = std::make_unique<LoggingDevice>(line, openings);
    return result;
  });
  Captions().clear();
  DefaultPrinter().SetProgressCallback([](const std::string& text) { Captions().push_back(text); });
  // Idle and fiscal: maker's and user data present, nothing printing.
  line_->Always(0x9B, {0x03});
  for (const uint8_t status : std::initializer_list<uint8_t>{0x94, 0x95, 0x96})
    line_->Always(status, {0x00});
  ResetPrinter();
  LimitPolls();
}

void ScriptedDriver::TearDown() {
  ::CommunicationEnd();
  DefaultPrinter().SetProgressCallback({});
  ResetPrinter();
  SetDeviceOpener({});
}

void ScriptedDriver::Connect(int type, uint8_t version, uint8_t port) {
  ScriptIdentity(*line_, type, version);
  line_->Reply(0x23, {0x15});  // nothing pending to cancel
  ASSERT_EQ(::CommunicationInit(port, 9600, 1), 0);
  ASSERT_EQ(PrinterInternals(DefaultPrinter()).DeviceType(), type);
  line_->ClearRecord();
  openings_->clear();
  Captions().clear();
}

void OnEmulator::Start(emu::PrinterConfig config) {
  port_.reset();
  port_ = std::make_unique<EmulatorPort>(std::move(config));
  LimitPolls();
  ASSERT_EQ(::CommunicationInit(1, 9600, 1), 0);
}

void OnEmulator::TearDown() {
  ::CommunicationEnd();
  ResetPrinter();
  port_.reset();
}

ScriptedDriver::Sequences ScriptedDriver::Sent(uint8_t command) const {
  Sequences sent;
  for (const auto& sequence : line_->Sequences())
    if (sequence.command == command) sent.push_back(sequence.parameters);
  return sent;
}

}  // namespace kestradr::testing
