// The communication dialog's flow: the port scan, the start-up connection, the
// identification and the checks that refuse a printer before the editor opens.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <string>
#include <tuple>

#include "demo_printer.hpp"
#include "driver_gateway.hpp"
#include "flow_fixture.hpp"
#include "printer.hpp"

namespace taurasw::testing {
namespace {

using DialogFlow = FlowTest;

TEST_F(DialogFlow, ConfirmationIdentifiesReadsTheRatesAndOpensTheEditor) {
  printer_.ports = {1, 3};
  printer_.rates = {2300, 800, 500, 0, R, R, Z};
  flows_->dialog.FormActivate();
  flows_->dialog.controls.speedIndex = 2;
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM3"}));
  EXPECT_EQ(flows_->dialog.controls.portDevices, (QStringList{"/dev/tty1", "/dev/tty3"}));
  EXPECT_EQ(flows_->state.SelectedPort, 1);
  EXPECT_EQ(flows_->state.SelectedSpeed, 28800);  // the item index times 9600
  EXPECT_EQ(printer_.calls.front(), "open 1 28800");
  EXPECT_TRUE(printer_.Called("lock"));
  EXPECT_EQ(flows_->editor.statusText, "DRUKARKA KESTRA LUNO");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2300, 800, 500, 0, R, R, Z}));
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(ui_.dialogHidden, 1);
  EXPECT_NE(std::find(ui_.centre.begin(), ui_.centre.end(),
                      "Sprawdzanie typu podłączonego urządzenia..."),
            ui_.centre.end());
}

struct Refusal {
  const char* name;
  std::function<void(ScriptedPrinter&)> script;
  QString error;  // the one error box
  bool hidden;    // the dialog was hidden before the refusal
};

TEST_F(DialogFlow, EachRefusalIsShownAndEndsTheProgram) {
  const QString kPaper = "Brak papieru lub podniesiona głowica mechanizmu drukującego";
  const Refusal cases[] = {
      {"not fiscal", [](auto& p) { p.type = 11; },
       "Podłączone urządzenie nie jest drukarką fiskalną", false},
      {"port in use", [](auto& p) { p.openResult = 5; },
       "Nie można otworzyć portu COM1.Prawdopodobnie jest używany przez inną aplikację", false},
      {"no such port", [](auto& p) { p.openResult = 2; },
       "Brak portu COM1 w systemie.\rNależy ustawić parametry komunikacji", false},
      {"other opening failure", [](auto& p) { p.openResult = 6; }, "kod 6", false},
      {"identification fails", [](auto& p) { p.typeResult = 21; }, "kod 21", false},
      {"locked", [](auto& p) { p.type = 8, p.lockByte = 0x21; },
       "KASA ZABLOKOWANA: \r\nUSZKODZONA PAMIĘĆ PROGRAMU.\r\nNiezgodna pamięć fiskalna.\r\n",
       false},
      {"lock unread", [](auto& p) { p.lockResult = 22; }, "kod 22", false},
      {"CMOS erased", [](auto& p) { p.status.s[2] = 0x10; },
       "Skasowana pamięć CMOS. Należy zainicjować zegar.", false},
      {"status unread", [](auto& p) { p.statusResult = 21; }, "kod 21", false},
      {"paper out and low battery", [](auto& p) { p.status.s[3] = 0x02, p.status.s[7] = 0x02; },
       kPaper, true},
      {"rates unread", [](auto& p) { p.readResult = 23; }, "kod 23", true},
  };
  // The lock byte is asked of LUNO and LUNO F only.
  printer_.type = 0;
  ASSERT_EQ(Confirm(), DialogOutcome::ShowEditor);
  EXPECT_FALSE(printer_.Called("lock"));
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    c.script(printer_);
    EXPECT_EQ(Confirm(), DialogOutcome::EndProgram);
    EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{c.error});
    EXPECT_EQ(ui_.beeps, 1);
    EXPECT_EQ(ui_.dialogHidden, c.hidden ? 1 : 0);
    EXPECT_EQ(printer_.Called("read"), std::string(c.name) == "rates unread");
    EXPECT_TRUE(flows_->dialog.controls.button1Enabled);
  }
}

// A port from the command line (above COM9 too) is opened at once, at its own speed or
// the dialog's; a port that is not there is said and the operator picks another.
TEST_F(DialogFlow, ACommandLinePortConnectsAtOnce) {
  const std::tuple<uint8_t, uint16_t, int, std::vector<std::string>> cases[] = {
      {33, 19200, 1, {"open 33 19200", "open 33 19200"}},
      {2, 0, 0, {"open 2 9600", "open 2 9600"}},
  };
  for (const auto& [port, speed, speedIndex, calls] : cases) {
    Reset();
    printer_.ports = {1, 2, 33};
    flows_->state.SelectedPort = port;
    flows_->state.SelectedSpeed = speed;
    flows_->dialog.FormActivate();
    EXPECT_TRUE(ui_.boxes.empty());
    EXPECT_EQ(flows_->dialog.ChosenEntry(), QString("COM%1").arg(port));
    EXPECT_EQ(flows_->dialog.controls.speedIndex, speedIndex);
    EXPECT_EQ(printer_.calls, calls);
  }
  // Not fiscal on the command-line port: the box, and no editor.
  printer_.type = 11;
  ui_.Clear();
  flows_->state.FirstActivation = true;
  flows_->dialog.FormActivate();
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Podłączone urządzenie nie jest drukarką fiskalną"});
}

TEST_F(DialogFlow, AMissingCommandLinePortIsSaidAndTheDialogStays) {
  printer_.ports = {1, 3};
  flows_->state.SelectedPort = 5;
  flows_->dialog.FormActivate();
  EXPECT_EQ(
      ui_.Texts(BoxKind::Error),
      std::vector<QString>{"Brak portu COM5 w systemie.\rNależy ustawić parametry komunikacji"});
  EXPECT_TRUE(printer_.calls.empty());
  flows_->dialog.controls.portIndex = 1;
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedPort, 3);
}

TEST_F(DialogFlow, NoPortsAtAllIsSaidAndNothingIsOpenedUntilOneAppears) {
  printer_.ports = {};
  flows_->dialog.FormActivate();
  EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{"Brak portów szeregowych w systemie"});
  EXPECT_TRUE(flows_->state.FirstActivation) << "the next activation scans again";
  ui_.Clear();
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::StayOpen);
  EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{"Brak portów szeregowych w systemie"});
  EXPECT_TRUE(printer_.calls.empty());
  printer_.ports = {4};
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedPort, 4);
}

TEST_F(DialogFlow, LaterActivationsKeepTheListAndTakeTheChoice) {
  printer_.ports = {1, 2};
  flows_->dialog.FormActivate();
  flows_->dialog.controls.portIndex = 1;
  flows_->dialog.controls.speedIndex = 1;
  flows_->dialog.FormActivate();
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM2"}));
  EXPECT_EQ(flows_->state.SelectedPort, 2);
  EXPECT_EQ(flows_->state.SelectedSpeed, 19200);
}

// --emulator: the emulator on a real pseudo-terminal, reached through the driver's
// own serial layer by the COM number the program was given.
TEST(DemoPrinter, ServesTheChosenModelOnAFreeComPort) {
  QString error;
  EXPECT_EQ(StartDemoPrinter(QStringLiteral("no-such-printer"), error), nullptr);
  EXPECT_EQ(error, "Nieznany model drukarki: no-such-printer");

  auto demo = StartDemoPrinter(QStringLiteral("luno-f"), error);
  ASSERT_NE(demo, nullptr) << error.toStdString();
  const std::string variable = "TAURAVAT_COM" + std::to_string(demo->Port());
  EXPECT_EQ(QString::fromLocal8Bit(std::getenv(variable.c_str())), demo->Path());
  EXPECT_EQ(demo->Description(), "KESTRA LUNO F");

  DriverGateway gateway;
  kestradr::DefaultPrinter().Connected = true;
  ASSERT_EQ(gateway.OpenPort(demo->Port(), 9600), 0);
  uint8_t type = 0;
  EXPECT_EQ(gateway.ReadDeviceType(type), 0);
  EXPECT_EQ(type, 8);
  kestradr::DefaultPrinter().DonePort();
  demo.reset();
  EXPECT_EQ(std::getenv(variable.c_str()), nullptr);
}

}  // namespace
}  // namespace taurasw::testing
