#include "flow_fixture.hpp"

#include <algorithm>

#include "comm.hpp"
#include "printer.hpp"
#include "serial_device.hpp"

namespace taurasw::testing {

kestra::emu::PrinterConfig PrinterOf(int type) {
  kestra::emu::PrinterConfig config;
  config.deviceType = type;
  return config;
}

kestra::emu::RateTable Rates(std::initializer_list<uint16_t> rates) {
  kestra::emu::RateTable table = kestra::emu::AllReserved();
  std::copy(rates.begin(), rates.end(), table.begin());
  return table;
}

void FlowTest::SetUp() {
  // The driver's connection state is process-wide; every case starts as a fresh run.
  kestradr::DefaultPrinter().DonePort();
  kestradr::DefaultPrinter().Connected = true;
  kestradr::DefaultPrinter().ReceiptOpen = false;
  kestradr::DefaultPrinter().DeviceType = kestradr::kDeviceNone;
  kestradr::DefaultPrinter().PortNumber = 0;
  flows_ = std::make_unique<ProgramFlows>(gateway_, ui_);
}

void FlowTest::TearDown() {
  flows_.reset();
  kestradr::DefaultPrinter().DonePort();
  emulator_.reset();
  EXPECT_EQ(ui_.busyDepth, 0) << "the busy cursor was left up";
}

void FlowTest::UsePrinter(kestra::emu::PrinterConfig config, std::set<int> ports) {
  emulator_.reset();
  emulator_ = std::make_unique<kestradr::testing::EmulatorPort>(std::move(config));
  kestradr::SetPortProbe([ports](int port) { return ports.count(port) > 0; });
  // The emulator's own opener, with a record of the ports asked for.
  auto opened = opened_;
  auto* port = emulator_.get();
  kestradr::SetDeviceOpener([opened, port](const kestradr::PortAddress& address) {
    opened->push_back(address.number);
    kestradr::DeviceOpenResult result;
    result.device = port->Line().OpenDevice();
    return result;
  });
}

void FlowTest::PortsFail(uint32_t osError) {
  kestradr::SetDeviceOpener([osError](const kestradr::PortAddress&) {
    kestradr::DeviceOpenResult result;
    result.osError = osError;
    return result;
  });
}

DialogOutcome FlowTest::Confirm() {
  flows_->dialog.FormActivate();
  return flows_->dialog.Button1Click();
}

void FlowTest::OpenEditor() {
  ASSERT_EQ(Confirm(), DialogOutcome::ShowEditor) << "boxes: " << ui_.boxes.size();
  ui_.Clear();
  emulator_->Line().ClearRecord();
}

bool FlowTest::RatesWritten() const {
  const auto commands = Commands();
  return std::any_of(commands.begin(), commands.end(),
                     [](uint8_t c) { return c == 0xD5 || c == 0xD4 || c == 0x44; });
}

}  // namespace taurasw::testing
