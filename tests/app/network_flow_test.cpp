// The program on a printer behind a serial device server: COM5 mapped to ser2net in RFC
// 2217 mode in front of the emulator's pseudo-terminal, the flows on the real gateway.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "driver_gateway.hpp"
#include "emulated_com.hpp"
#include "flow_fixture.hpp"
#include "ser2net.hpp"

namespace taurasw::testing {
namespace {

using kestradr::testing::Ser2net;

TEST(DriverGatewayOverTheNetwork, Com5OnAnRfc2217ServerReadsAndWritesTheRates) {
  if (!Ser2net::Installed()) GTEST_SKIP() << "ser2net is not installed";
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {2300, 800, R, 500, Z, 0, R};
  // The pty is mapped to COM9 only while ser2net is set up; the program reaches COM5.
  EmulatedCom printer(9, config);
  unsetenv("TAURAVAT_COM9");
  Ser2net server(printer.Path());
  server.Start();
  ASSERT_EQ(setenv("TAURAVAT_COM5", server.Rfc2217().c_str(), 1), 0);

  ScriptedUi ui;
  {
    DriverGateway gateway;
    ProgramFlows flows(gateway, ui);
    flows.dialog.FormActivate();
    const auto entry = flows.dialog.controls.ports.indexOf("COM5");
    ASSERT_GE(entry, 0) << "the mapped network port is listed";
    EXPECT_EQ(flows.dialog.controls.portDevices[entry].toStdString(), server.Rfc2217());
    flows.dialog.controls.portIndex = static_cast<int>(entry);
    flows.dialog.FormActivate();
    ASSERT_EQ(flows.dialog.Button1Click(), DialogOutcome::ShowEditor)
        << (ui.boxes.empty() ? "" : ui.boxes.back().text.toStdString());
    EXPECT_EQ(flows.state.SelectedPort, 5);
    EXPECT_EQ(flows.state.CurrentRates, (std::array<uint16_t, 7>{2300, 800, R, 500, Z, 0, R}));

    ui.Clear();
    flows.editor.rows[1].text = "7";
    flows.editor.Button1Click();
    EXPECT_TRUE(ui.Texts(BoxKind::Error).empty()) << ui.Texts().front().toStdString();
    ASSERT_EQ(ui.readOuts.size(), 1u) << "the rates read back after the write";
    EXPECT_EQ(ui.readOuts[0].lines[1], "Stawka PTU B : 7 %");
  }
  unsetenv("TAURAVAT_COM5");
  EXPECT_EQ(
      printer.Server().WithPrinter([](kestra::emu::Printer& e) { return e.Memory().Rates()[1]; }),
      700u);
}

}  // namespace
}  // namespace taurasw::testing
