// The program's flows on the real driver, with the printer emulator on the line and a
// scripted screen.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "driver_gateway.hpp"
#include "emulator_line.hpp"
#include "flow/program_flows.hpp"
#include "kestra/emu/printer_config.hpp"
#include "scripted_ui.hpp"

namespace taurasw::testing {

// A printer of `type` with nothing pending: paper in, no receipts since the report.
kestra::emu::PrinterConfig PrinterOf(int type);
kestra::emu::RateTable Rates(std::initializer_list<uint16_t> rates);

inline constexpr uint16_t R = 25500;  // reserved
inline constexpr uint16_t Z = 10000;  // exempt

class FlowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The printer on the line, and the COM ports that can be opened.
  void UsePrinter(kestra::emu::PrinterConfig config, std::set<int> ports = {1});
  // From then on every port opening fails with this OS error.
  void PortsFail(uint32_t osError);

  // The dialog's first activation and "Zatwierdź".
  DialogOutcome Confirm();
  // Confirm, expect the editor, and forget what the screen showed so far.
  void OpenEditor();
  // Sets the text of a rate row as the operator would type it.
  void Type(int row, const QString& text) {
    flows_->editor.rows[static_cast<size_t>(row)].text = text;
  }

  kestra::emu::Printer& Printer() { return emulator_->Printer(); }
  std::vector<uint8_t> Commands() const { return emulator_->Line().Commands(); }
  bool RatesWritten() const;
  std::vector<int> PortsOpened() const { return *opened_; }

  DriverGateway gateway_;
  ScriptedUi ui_;
  std::unique_ptr<ProgramFlows> flows_;
  std::unique_ptr<kestradr::testing::EmulatorPort> emulator_;
  std::shared_ptr<std::vector<int>> opened_ = std::make_shared<std::vector<int>>();
};

}  // namespace taurasw::testing
