// The communication dialog's flow on the driver and the emulated printer: the port
// scan, the start-up connection, the identification and the checks that refuse a
// printer before the editor opens.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <string>

#include "comm.hpp"
#include "demo_printer.hpp"
#include "flow/command_line.hpp"
#include "flow_fixture.hpp"
#include "printer.hpp"

namespace taurasw::testing {
namespace {

using DialogFlow = FlowTest;

TEST_F(DialogFlow, ConfirmationIdentifiesReadsTheRatesAndOpensTheEditor) {
  auto config = PrinterOf(7);
  config.rates = Rates({2300, 800, 500, 0, R, R, Z});
  UsePrinter(config, {1, 3});
  EXPECT_EQ(Confirm(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM3"}));
  EXPECT_EQ(flows_->state.SelectedPort, 1);
  EXPECT_EQ(flows_->state.SelectedSpeed, 9600);
  EXPECT_EQ(flows_->editor.statusText, "DRUKARKA KESTRA LUNO");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2300, 800, 500, 0, R, R, Z}));
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(ui_.dialogHidden, 1);
  EXPECT_NE(std::find(ui_.centre.begin(), ui_.centre.end(),
                      "Sprawdzanie typu podłączonego urządzenia..."),
            ui_.centre.end());
}

TEST_F(DialogFlow, TheSpeedChoiceIsTheItemIndexTimes9600) {
  UsePrinter(PrinterOf(3));
  flows_->dialog.FormActivate();
  flows_->dialog.controls.speedIndex = 2;
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedSpeed, 28800);
  EXPECT_EQ(kestradr::DefaultPrinter().BaudRate, 28800u);
}

TEST_F(DialogFlow, AnUnknownDeviceIsNotAFiscalPrinter) {
  UsePrinter(PrinterOf(11));
  EXPECT_EQ(Confirm(), DialogOutcome::EndProgram);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Podłączone urządzenie nie jest drukarką fiskalną"});
  EXPECT_EQ(ui_.dialogHidden, 0);
}

TEST_F(DialogFlow, ALockedLunoFShowsItsReasonsAndTheProgramEnds) {
  auto config = PrinterOf(8);
  config.status.lock60 = 0x21;
  UsePrinter(config);
  EXPECT_EQ(Confirm(), DialogOutcome::EndProgram);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"KASA ZABLOKOWANA: \r\nUSZKODZONA PAMIĘĆ PROGRAMU.\r\n"
                                 "Niezgodna pamięć fiskalna.\r\n"});
  const auto commands = Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), uint8_t{0xD1}), 0) << "rates read";
  EXPECT_EQ(ui_.centre.back(), "");
}

TEST_F(DialogFlow, TheLockByteIsOnlyAskedOfLunoAndLunoF) {
  auto config = PrinterOf(3);
  config.status.lock60 = 0x21;
  UsePrinter(config);
  EXPECT_EQ(Confirm(), DialogOutcome::ShowEditor);
  const auto commands = Commands();
  EXPECT_EQ(std::count(commands.begin(), commands.end(), uint8_t{0x60}), 0);
}

TEST_F(DialogFlow, ErasedCmosEndsTheProgram) {
  auto config = PrinterOf(7);
  config.status.memory94 = 0x10;
  UsePrinter(config);
  EXPECT_EQ(Confirm(), DialogOutcome::EndProgram);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Skasowana pamięć CMOS. Należy zainicjować zegar."});
  EXPECT_EQ(ui_.dialogHidden, 0);
}

TEST_F(DialogFlow, APrinterThatIsNotReadyShowsTheLaterCondition) {
  auto config = PrinterOf(7);
  config.paperIn = false;        // status byte 3, bit 0x02
  config.status.extraF3 = 0x02;  // status byte 7: low battery
  UsePrinter(config);
  EXPECT_EQ(Confirm(), DialogOutcome::EndProgram);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{"Brak papieru lub podniesiona głowica mechanizmu drukującego"});
  EXPECT_EQ(ui_.dialogHidden, 1);
}

TEST_F(DialogFlow, AFailedPortOpeningHasItsOwnWordsForCodes2And5) {
  UsePrinter(PrinterOf(7));
  flows_->dialog.FormActivate();
  PortsFail(5);
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::EndProgram);
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            std::vector<QString>{
                "Nie można otworzyć portu COM1.Prawdopodobnie jest używany przez inną aplikację"});
  EXPECT_TRUE(flows_->dialog.controls.button1Enabled);
}

TEST_F(DialogFlow, ACommandLinePortConnectsToThatPort) {
  UsePrinter(PrinterOf(7), {1, 7});
  flows_->state.SelectedPort = 7;
  flows_->state.SelectedSpeed = 19200;
  flows_->dialog.FormActivate();
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(flows_->dialog.ChosenEntry(), "COM7");
  EXPECT_EQ(flows_->dialog.controls.speedIndex, 1);
  const std::vector<int> opened = PortsOpened();
  EXPECT_FALSE(opened.empty());
  EXPECT_TRUE(std::all_of(opened.begin(), opened.end(), [](int p) { return p == 7; }));
  EXPECT_EQ(kestradr::DefaultPrinter().DeviceType, 7);
}

TEST_F(DialogFlow, ACommandLinePortAboveNineIsConnectedTo) {
  UsePrinter(PrinterOf(7), {1, 33});
  const CommandLine line = ParseCommandLine({"com33", "19200"});
  flows_->state.SelectedPort = line.port;
  flows_->state.SelectedSpeed = line.speed;
  flows_->dialog.FormActivate();
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(flows_->dialog.ChosenEntry(), "COM33");
  ASSERT_FALSE(PortsOpened().empty());
  EXPECT_EQ(PortsOpened(), std::vector<int>(PortsOpened().size(), 33));
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
}

TEST_F(DialogFlow, EachPortEntryNamesTheDeviceItOpens) {
  qputenv("TAURAVAT_COM34", "/dev/pts/9");
  UsePrinter(PrinterOf(7), {1, 33, 34});
  flows_->dialog.FormActivate();
  qunsetenv("TAURAVAT_COM34");
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM33", "COM34"}));
  EXPECT_EQ(flows_->dialog.controls.portDevices,
            (QStringList{"/dev/ttyS0", "/dev/ttyUSB0", "/dev/pts/9"}));
}

TEST_F(DialogFlow, ACommandLinePortThatIsNotThereIsNamedAndTheDialogStays) {
  UsePrinter(PrinterOf(7), {1, 3});
  flows_->state.SelectedPort = 5;
  flows_->dialog.FormActivate();
  EXPECT_EQ(
      ui_.Texts(BoxKind::Error),
      std::vector<QString>{"Brak portu COM5 w systemie.\rNależy ustawić parametry komunikacji"});
  EXPECT_TRUE(PortsOpened().empty());
  // The operator picks another port; the confirmation goes on with it.
  flows_->dialog.controls.portIndex = 1;
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedPort, 3);
}

TEST_F(DialogFlow, ACommandLinePortWithoutSpeedUsesTheDialogsSpeed) {
  UsePrinter(PrinterOf(7), {2});
  flows_->state.SelectedPort = 2;
  flows_->dialog.FormActivate();
  EXPECT_TRUE(ui_.boxes.empty());
  EXPECT_EQ(flows_->state.SelectedSpeed, 9600);
  EXPECT_EQ(kestradr::DefaultPrinter().BaudRate, 9600u);
}

TEST_F(DialogFlow, NoPortsAtAllIsSaidAndNothingIsOpened) {
  UsePrinter(PrinterOf(7), {});
  flows_->dialog.FormActivate();
  EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{"Brak portów szeregowych w systemie"});
  EXPECT_TRUE(flows_->state.FirstActivation) << "the next activation scans again";
  ui_.Clear();
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::StayOpen);
  EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{"Brak portów szeregowych w systemie"});
  EXPECT_TRUE(PortsOpened().empty());
}

TEST_F(DialogFlow, APortThatAppearsIsFoundByTheNextConfirmation) {
  UsePrinter(PrinterOf(7), {});
  flows_->dialog.FormActivate();
  kestradr::SetPortProbe([](int port) { return port == 4; });
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedPort, 4);
}

TEST_F(DialogFlow, LaterActivationsKeepTheListAndTakeTheChoice) {
  UsePrinter(PrinterOf(7), {1, 2});
  flows_->dialog.FormActivate();
  flows_->dialog.controls.portIndex = 1;
  flows_->dialog.controls.speedIndex = 1;
  flows_->dialog.FormActivate();
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM2"}));
  EXPECT_EQ(flows_->state.SelectedPort, 2);
  EXPECT_EQ(flows_->state.SelectedSpeed, 19200);
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
}

}  // namespace
}  // namespace taurasw::testing

namespace taurasw::testing {
namespace {

// --emulator: the emulator on a real pseudo-terminal, reached through the driver's
// own serial layer by the COM number the program was given.
TEST(DemoPrinter, ServesTheChosenModelOnAFreeComPort) {
  QString error;
  EXPECT_EQ(StartDemoPrinter(QStringLiteral("no-such-printer"), error), nullptr);
  EXPECT_EQ(error, "Nieznany model drukarki: no-such-printer");

  auto demo = StartDemoPrinter(QStringLiteral("luno-f"), error);
  ASSERT_NE(demo, nullptr) << error.toStdString();
  const std::string variable = "TAURAVAT_COM" + std::to_string(demo->Port());
  ASSERT_NE(std::getenv(variable.c_str()), nullptr);
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
