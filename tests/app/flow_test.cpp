// The program's flows on the real gateway in front of emulated printers, and the rules that
// need no printer.
#include <gtest/gtest.h>

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "demo_printer.hpp"
#include "driver_gateway.hpp"
#include "emulated_com.hpp"
#include "flow/command_line.hpp"
#include "flow_fixture.hpp"

namespace taurasw::testing {
namespace {

using DialogFlow = FlowTest;
using EditorFlow = FlowTest;

// The first port (COM1..COM255, any case) and the first speed count; other words are named.
TEST(CommandLine, PortAndSpeedInAnyOrderAndCaseOnlyKnownValuesAndTheFirstMatchWins) {
  const QStringList notPorts{"COM0", "COM256", "COM1000", "COM", "COM-1", "COM 3", "COM3x"};
  const std::tuple<QStringList, uint8_t, uint16_t, QStringList> cases[] = {
      {{"com3", "19200"}, 3, 19200, {}},
      {{"28800", "Com9"}, 9, 28800, {}},
      {{"COM12", "9600x"}, 12, 0, {"9600x"}},
      {{"COM33"}, 33, 0, {}},  // the first USB adapter on Linux
      {{"com255"}, 255, 0, {}},
      {notPorts, 0, 0, notPorts},
      {{"14400", "COM2", "COM5", "9600", "28800"}, 2, 9600, {"14400", "COM5", "28800"}},
      {{}, 0, 0, {}},
  };
  for (const auto& [arguments, port, speed, ignored] : cases) {
    const CommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.port, port) << arguments.join(' ').toStdString();
    EXPECT_EQ(line.speed, speed) << arguments.join(' ').toStdString();
    EXPECT_EQ(line.ignored, ignored);
    EXPECT_FALSE(line.emulator || line.help);
    EXPECT_TRUE(line.error.isEmpty());
  }
}

TEST(CommandLine, ProgramOptionsAndTheOnesThatCannotBeUsed) {
  CommandLine line = ParseCommandLine({"--emulator=luno-f", "--screenshots=/tmp/x"});
  EXPECT_TRUE(line.emulator);
  EXPECT_EQ(line.emulatorModel, "luno-f");
  EXPECT_EQ(line.screenshotDir, "/tmp/x");
  // A bare --emulator takes the default model, not the word after it.
  line = ParseCommandLine({"--emulator", "COM4"});
  EXPECT_TRUE(line.emulator);
  EXPECT_TRUE(line.emulatorModel.isEmpty());
  EXPECT_EQ(line.port, 4);
  for (const char* word : {"--help", "-h"}) EXPECT_TRUE(ParseCommandLine({word}).help) << word;
  for (const char* word : {"--version", "-v"})
    EXPECT_TRUE(ParseCommandLine({word}).version) << word;
  EXPECT_FALSE(ParseCommandLine({"COM1"}).version);
  // An option that cannot be used stops the program.
  EXPECT_EQ(ParseCommandLine({"COM1", "--emulater"}).error, "nieznana opcja: --emulater");
  EXPECT_EQ(ParseCommandLine({"-x"}).error, "nieznana opcja: -x");
  EXPECT_FALSE(ParseCommandLine({"--screenshots"}).error.isEmpty());  // no directory
  EXPECT_FALSE(ParseCommandLine({"--help=all"}).error.isEmpty());
}

StatusRead Status(int count, std::initializer_list<std::pair<int, uint8_t>> bytes) {
  StatusRead status;
  status.count = count;
  for (const auto& [index, value] : bytes) status.s[static_cast<size_t>(index)] = value;
  return status;
}

const QString kPaperText = "Brak papieru lub podniesiona głowica mechanizmu drukującego";
const QString kNoPort = "Brak portu COM1 w systemie.\rNależy ustawić parametry komunikacji";

// The later row wins, and short reads never give the later bytes' codes.
TEST(PrinterState, CodeAndTextAndTheLockMessage) {
  const std::tuple<StatusRead, int, QString> cases[] = {
      {Status(7, {}), kPrinterReady, ""},
      {Status(7, {{3, 0x02}, {7, 0x02}}), kPaperOut, kPaperText},
      {Status(7, {{3, 0x04}, {2, 0x80}, {7, 0x02}}), kPrinterFailure, "Wystąpiła awaria drukarki"},
      {Status(7, {{2, 0x80}, {7, 0x02}}), kNoControllerLink,
       "Brak komunikacji z kontrolerem drukarki"},
      {Status(6, {{2, 0x10}, {1, 0x04}}), kReadOnlyMode, "Drukarka w trybie TYLKO ODCZYT."},
      {Status(4, {{2, 0x10}}), kCmosErased, "Skasowana pamięć CMOS. Należy zainicjować zegar."},
      {Status(4, {{5, 0x40}, {7, 0x02}}), kPrinterReady, ""},
      {Status(6, {{5, 0x40}, {7, 0x02}}), kNoProgrammingVoltage,
       "Brak napięcia programującego pamięć fiskalną."},
      {Status(7, {{5, 0x40}, {7, 0x02}}), kLowBattery, "Niskie napięcie akumulatora głównego"},
  };
  for (const auto& [status, code, text] : cases) {
    EXPECT_EQ(ComputePrinterStateCode(status), code);
    EXPECT_EQ(PrinterStateText(code), text) << code;
  }
  EXPECT_EQ(PrinterStateText(42), "NIEZDEFINIOWANY BŁĄD");
  // One line per lock reason in table order; 0x21 is shown whole by the locked printer's refusal.
  EXPECT_EQ(LockMessage(0x40), "KASA ZABLOKOWANA: \r\n");
  EXPECT_EQ(
      LockMessage(0x9E),
      "KASA ZABLOKOWANA: \r\nBłąd odczytu z pamięci fiskalnej.\r\nBrak pamięci fiskalnej.\r\n"
      "Uszkodzone dane w pamięci nieulotnej.\r\nBrak danych producenta w pamięci fiskalnej.\r\n"
      "Uszkodzona pamięć programu.\r\n");
}

TEST(OrderCheck, OrdinaryRatesOfTheOrderedRowsMustNotGrow) {
  const std::tuple<RateValues, uint8_t, bool> cases[] = {
      {{2200, 700, 0, R, R, R, Z}, 1, true},  // the proposal
      {{2300, 2300, 800, 500, 0, 0, Z}, 5, true},
      {{700, 2200, 0, R, R, R, Z}, 2, false},
      {{2200, 700, 0, R, R, 500, Z}, 1, false},  // F is checked too
      {{2200, 700, 0, 800, R, R, Z}, 0, false},
      {{2200, R, 2300, R, R, R, Z}, 1, false},      // markers left out: A against C
      {{R, Z, 2200, R, R, R, Z}, 1, true},          // one ordinary rate
      {{R, R, R, R, R, R, Z}, 0, true},             // none
      {{2200, 700, 0, 0, 2300, 2300, Z}, 0, true},  // A..D only
      {{2200, 700, 0, 0, 0, 0, 2300}, 1, true},     // G is never checked
      {{0, 500, 2300, R, R, R, Z}, 3, true},        // models that order nothing
      {{0, 500, 2300, R, R, R, Z}, 7, true},
      {{0, 500, 2300, R, R, R, Z}, 10, true},
  };
  for (const auto& [rates, type, passes] : cases)
    EXPECT_EQ(OrderCheckPasses(rates, type), passes) << int(type) << " " << rates[0];
}

// Whole percent on 4-rate models; the rows a model lacks are hidden.
TEST(ReadOut, LinesAndVisibleRowsByRateCount) {
  const RateValues rates{2250, 750, R, 0, Z, 500, R};
  const std::tuple<int, QChar, QStringList> cases[] = {
      {7, ',', {"22,5 %", "7,5 %", "REZERWA", "0 %", "ZWOLNIONA", "5 %", "REZERWA"}},
      {6, '.', {"22.5 %", "7.5 %", "REZERWA", "0 %", "ZWOLNIONA", "5 %"}},
      {4, '.', {"22 %", "7 %", "REZERWA", "0 %"}},
  };
  for (const auto& [count, separator, texts] : cases) {
    const auto view = ReadOutLines(count, rates, separator);
    ASSERT_TRUE(view);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(view->visible[size_t(i)], i < count) << count << i;
    for (int i = 0; i < count; ++i)
      EXPECT_EQ(view->lines[size_t(i)], QString("Stawka PTU %1 : ").arg(QChar('A' + i)) + texts[i]);
  }
  for (int count : {5, 0}) EXPECT_FALSE(ReadOutLines(count, {}, QChar('.'))) << count;
}

TEST_F(DialogFlow, ConfirmationIdentifiesReadsTheRatesAndOpensTheEditor) {
  Plug(Emulated(7, {2300, 800, 500, 0, R, R, Z}), 1);
  Plug(Emulated(), 3);
  flows_->dialog.FormActivate();
  flows_->dialog.controls.speedIndex = 2;
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM3"}));
  EXPECT_EQ(flows_->dialog.controls.portDevices,
            (QStringList{QString::fromStdString(machine_->Device(1)),
                         QString::fromStdString(machine_->Device(3))}));
  EXPECT_EQ(flows_->state.SelectedPort, 1);
  EXPECT_EQ(flows_->state.SelectedSpeed, 28800);  // the item index times 9600
  EXPECT_EQ(machine_->Speed(1), 28800u);
  EXPECT_EQ(machine_->Heard(3), 0u);
  EXPECT_EQ(flows_->editor.statusText, "DRUKARKA KESTRA LUNO");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2300, 800, 500, 0, R, R, Z}));
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(ui_.dialogHidden, 1);
  EXPECT_TRUE(ui_.Centred("Sprawdzanie typu podłączonego urządzenia..."));
}

kestra::emu::FaultRule Rule(const char* text) {
  const auto rule = kestra::emu::ParseFaultRule(text);
  EXPECT_TRUE(rule) << text;
  return rule.value_or(kestra::emu::FaultRule{});
}

TEST_F(DialogFlow, EachRefusalIsShownAndEndsTheProgram) {
  using Config = kestra::emu::PrinterConfig;
  // Name, the printer, what happens to its port once the dialog has listed it, the one
  // error box, whether the dialog was hidden before it.
  // clang-format off
  const std::tuple<std::string, void (*)(Config&), void (*)(FlowTest&), QString, bool> cases[] = {
      {"not fiscal", [](Config& c) { c.deviceType = 11; }, nullptr,
       "Podłączone urządzenie nie jest drukarką fiskalną", false},
      {"port in use", nullptr, [](FlowTest& t) { t.HoldPort(1); },
       "Nie można otworzyć portu COM1.Prawdopodobnie jest używany przez inną aplikację", false},
      {"no such port", nullptr, [](FlowTest& t) { t.machine_->Unplug(1); }, kNoPort, false},
      {"no serial port", nullptr, [](FlowTest& t) { t.machine_->PlainFileAt(1); },
       Says(TAURAVAT_E_NOT_A_SERIAL_PORT), false},
      {"identification refused", [](Config& c) { c.faults.rules = {Rule("0xFF:nak")}; }, nullptr,
       Says(TAURAVAT_E_NAK), false},
      {"locked", [](Config& c) { c.deviceType = 8; c.status.lock60 = 0x21; }, nullptr,
       "KASA ZABLOKOWANA: \r\nUSZKODZONA PAMIĘĆ PROGRAMU.\r\nNiezgodna pamięć fiskalna.\r\n",
       false},
      // The printer falls silent: the driver's time-out, once (it costs its five seconds).
      {"lock unanswered", [](Config& c) { c.faults.rules = {Rule("0x60:silence")}; }, nullptr,
       Says(TAURAVAT_E_RECEIVE_TIMEOUT), false},
      {"CMOS erased", [](Config& c) { c.status.memory94 = 0x10; }, nullptr,
       "Skasowana pamięć CMOS. Należy zainicjować zegar.", false},
      {"status refused", [](Config& c) { c.faults.rules = {Rule("0x5B:nak")}; }, nullptr,
       Says(TAURAVAT_E_NAK), false},
      {"paper out, low battery", [](Config& c) { c.paperIn = false; c.status.extraF3 = 0x02; },
       nullptr, kPaperText, true},
      {"rates garbled", [](Config& c) { c.faults.rules = {Rule("0xD1:wrong-byte")}; }, nullptr,
       Says(TAURAVAT_E_BAD_REPLY), true},
  };
  // clang-format on
  // The lock byte is asked of LUNO and LUNO F only.
  Config older = Emulated(0);
  older.status.lock60 = 0x21;
  Plug(older);
  ASSERT_EQ(Confirm(), DialogOutcome::ShowEditor);
  for (const auto& [name, printer, port, error, hidden] : cases) {
    SCOPED_TRACE(name);
    Reset();
    Config config = Emulated(7, {2300, 800, 500, 0, R, R, Z});
    if (printer) printer(config);
    Plug(config);
    flows_->dialog.FormActivate();
    if (port) port(*this);
    EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::EndProgram);
    EXPECT_EQ(ui_.Texts(BoxKind::Error), std::vector<QString>{error});
    EXPECT_EQ(ui_.beeps, 1);
    EXPECT_EQ(ui_.dialogHidden, hidden ? 1 : 0);
    EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{})) << "no rates taken in";
    EXPECT_TRUE(flows_->dialog.controls.button1Enabled);
  }
}

// A port from the command line (above COM9 too) is opened at once, at its speed or the
// dialog's; a device there that is no fiscal printer is said.
TEST_F(DialogFlow, ACommandLinePortConnectsAtOnce) {
  const std::tuple<uint8_t, uint16_t, int, int, uint32_t, std::vector<QString>> cases[] = {
      {33, 19200, 7, 1, 19200, {}},
      {2, 0, 7, 0, 9600, {}},
      {2, 0, 11, 0, 9600, {"Podłączone urządzenie nie jest drukarką fiskalną"}},
  };
  for (const auto& [port, speed, type, speedIndex, lineSpeed, errors] : cases) {
    SCOPED_TRACE(port);
    Reset();
    Plug(Emulated(), 1);
    Plug(Emulated(type), port);
    flows_->state.SelectedPort = port;
    flows_->state.SelectedSpeed = speed;
    flows_->dialog.FormActivate();
    EXPECT_EQ(ui_.Texts(BoxKind::Error), errors);
    EXPECT_EQ(flows_->dialog.ChosenEntry(), QString("COM%1").arg(port));
    EXPECT_EQ(flows_->dialog.controls.speedIndex, speedIndex);
    EXPECT_EQ(machine_->Speed(port), lineSpeed);
    EXPECT_GT(machine_->Heard(port), 0u) << "identified";
    EXPECT_EQ(machine_->Heard(1), 0u);
  }
}

// A missing port is said and the operator picks another; with none at all nothing is opened
// and each activation scans again; later activations keep the list and take the choice.
TEST_F(DialogFlow, MissingPortsAreSaidAndLaterActivationsTakeTheChoice) {
  Plug(Emulated(), 1);
  Plug(Emulated(), 3);
  flows_->state.SelectedPort = 5;
  flows_->dialog.FormActivate();
  EXPECT_EQ(ui_.Texts(), std::vector<QString>{
                             "Brak portu COM5 w systemie.\rNależy ustawić parametry komunikacji"});
  EXPECT_EQ(machine_->Heard(1) + machine_->Heard(3), 0u);
  flows_->dialog.controls.portIndex = 1;
  flows_->dialog.controls.speedIndex = 1;
  flows_->dialog.FormActivate();
  EXPECT_EQ(flows_->dialog.controls.ports, (QStringList{"COM1", "COM3"}));
  EXPECT_EQ(flows_->state.SelectedPort, 3);
  EXPECT_EQ(flows_->state.SelectedSpeed, 19200);
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(machine_->Speed(3), 19200u);
  EXPECT_EQ(machine_->Heard(1), 0u);
  Reset();
  const std::vector<QString> kNoPorts{"Brak portów szeregowych w systemie"};
  flows_->dialog.FormActivate();
  EXPECT_EQ(ui_.Texts(BoxKind::Error), kNoPorts);
  EXPECT_TRUE(flows_->state.FirstActivation) << "the next activation scans again";
  ui_.Clear();
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::StayOpen);
  EXPECT_EQ(ui_.Texts(BoxKind::Error), kNoPorts);
  Plug(Emulated(), 4);
  EXPECT_EQ(flows_->dialog.Button1Click(), DialogOutcome::ShowEditor);
  EXPECT_EQ(flows_->state.SelectedPort, 4);
}

// --emulator: the emulator on a pty, reached through the driver by the COM number given.
TEST(DemoPrinter, ServesTheChosenModelOnAFreeComPort) {
  QString error;
  EXPECT_EQ(StartDemoPrinter(QStringLiteral("no-such-printer"), error), nullptr);
  EXPECT_EQ(error, "Nieznany model drukarki: no-such-printer");
  auto demo = StartDemoPrinter(QStringLiteral("luno-f"), error);
  ASSERT_NE(demo, nullptr) << error.toStdString();
  const std::string variable = "TAURAVAT_COM" + std::to_string(demo->Port());
  EXPECT_EQ(QString::fromLocal8Bit(std::getenv(variable.c_str())), demo->Path());
  EXPECT_EQ(demo->Description(), "KESTRA LUNO F");
  {
    DriverGateway gateway;
    ASSERT_EQ(gateway.OpenPort(demo->Port(), 9600), 0);
    uint8_t type = 0;
    EXPECT_EQ(gateway.ReadDeviceType(type), 0);
    EXPECT_EQ(type, 8);
  }
  demo.reset();
  EXPECT_EQ(std::getenv(variable.c_str()), nullptr);
}

// The dialog's list is the driver's: the emulator's pseudo-terminal under the COM number
// it was given, with its device, and not while another handle holds it.
TEST(DriverGatewayPorts, TheEmulatedPortIsListedWhileNobodyHoldsIt) {
  QString error;
  auto demo = StartDemoPrinter(QStringLiteral("luno-f"), error);
  ASSERT_NE(demo, nullptr) << error.toStdString();
  DriverGateway lister;
  const auto listed = [&]() -> std::optional<QString> {
    for (const AvailablePort& port : lister.AvailablePorts())
      if (port.number == demo->Port()) return port.device;
    return std::nullopt;
  };
  EXPECT_EQ(listed(), std::optional<QString>(demo->Path()));
  DriverGateway holder;
  ASSERT_EQ(holder.OpenPort(demo->Port(), 9600), 0);
  EXPECT_EQ(listed(), std::nullopt);
}

// The command of each sequence the computer began (its ESC), in order, from a line trace.
std::vector<int> CommandsSent(const std::string& trace) {
  std::ifstream in(trace);
  std::vector<int> commands;
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string time, direction, command, byte;
    fields >> time >> direction >> command >> byte;
    if (direction == ">" && byte == "1B") commands.push_back(std::stoi(command, nullptr, 16));
  }
  return commands;
}

// Through the real gateway the printer hears the program's own sequences and nothing of
// the driver's settling (no cancel, no print supervision): the confirmation's conversation
// is the one the program has always had.
TEST(DriverGatewayOnTheLine, TheConfirmationSendsOnlyTheProgramsOwnSequences) {
  const std::string trace = ::testing::TempDir() + "taurasw_confirmation.trace";
  std::remove(trace.c_str());
  ScriptedUi ui;
  {
    kestra::emu::PrinterConfig config;
    config.deviceType = 7;  // LUNO: the lock byte and seven status bytes
    EmulatedCom printer(1, config, trace);
    DriverGateway gateway;
    ProgramFlows flows(gateway, ui);
    flows.dialog.FormActivate();
    ASSERT_EQ(flows.dialog.ChosenEntry(), "COM1");
    ASSERT_EQ(flows.dialog.Button1Click(), DialogOutcome::ShowEditor) << ui.Texts().size();
  }
  // Identify (0xFF, and 0xFE for the family's sub-type) twice, the lock byte and 0x5E,
  // then twice the identification with the seven status bytes, then the rates.
  const std::vector<int> status{0xFF, 0xFE, 0x5B, 0x54, 0x55, 0x56, 0x5F, 0x50, 0xF3};
  std::vector<int> expected{0xFF, 0xFE, 0xFF, 0xFE, 0x60, 0x5E};
  for (int time = 0; time < 2; ++time)
    expected.insert(expected.end(), status.begin(), status.end());
  expected.push_back(0xD1);
  EXPECT_EQ(CommandsSent(trace), expected);
  std::remove(trace.c_str());
}

// The driver's captions and its message pump reach the program through the handle.
TEST(DriverGatewayOnTheLine, CaptionsAndThePumpReachTheProgramDuringAReport) {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.receiptCounter = 2;
  EmulatedCom printer(1, config);
  DriverGateway gateway;
  QStringList captions;
  int pumped = 0;
  gateway.InstallCallbacks([&](const QString& text) { captions << text; }, [&] { ++pumped; });
  uint8_t type = 0;
  ASSERT_EQ(gateway.ReadDeviceType(type), TAURAVAT_E_NO_PORT) << "no port opened yet";
  ASSERT_EQ(gateway.OpenPort(1, 9600), 0);
  ASSERT_EQ(gateway.ReadDeviceType(type), 0);
  EXPECT_EQ(gateway.DeviceType(), 7);
  EXPECT_EQ(gateway.DailyReport(1), 0);
  EXPECT_TRUE(captions.contains("Raport dobowy...")) << captions.join('|').toStdString();
  EXPECT_GT(pumped, 0);
  EXPECT_EQ(gateway.ErrMessage(0), "");
  EXPECT_FALSE(gateway.ErrMessage(TAURAVAT_E_PAPER_OUT).isEmpty());
}

// The rate tables every program refuses alike (tests/data/refused_rates.json), typed into
// the editor on the emulated model holding the list's rates: each is refused with one box
// (the driver's text for its code where the editor has no wording of its own) and the
// printer's rates and fiscal memory stay as they were.
TEST(DriverGatewayOnTheLine, TheEditorRefusesTheListedRateTablesAndWritesNothing) {
  QFile file(QStringLiteral(TAURAVAT_REFUSED_RATES));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QJsonArray tables = QJsonDocument::fromJson(file.readAll())["tables"].toArray();
  ASSERT_FALSE(tables.isEmpty());
  const auto rate = [](const QString& text) -> uint32_t {
    if (text == "reserved") return R;
    if (text == "exempt") return Z;
    return static_cast<uint32_t>(std::lround(text.toDouble() * 100));
  };
  for (const QJsonValue& listed : tables) {
    const QJsonObject table = listed.toObject();
    SCOPED_TRACE(table["why"].toString().toStdString());
    kestra::emu::PrinterConfig config;
    config.deviceType = table["type"].toInt();
    const QJsonArray held = table["held"].toArray();
    for (qsizetype i = 0; i < held.size(); ++i)
      config.rates[static_cast<size_t>(i)] = static_cast<uint16_t>(rate(held[i].toString()));
    EmulatedCom printer(1, config);
    DriverGateway gateway;
    ScriptedUi ui;
    ProgramFlows flows(gateway, ui);
    flows.dialog.FormActivate();
    ASSERT_EQ(flows.dialog.Button1Click(), DialogOutcome::ShowEditor) << ui.Texts().size();
    const auto before = printer.Server().WithPrinter([](kestra::emu::Printer& p) {
      return std::tuple(p.Memory().Rates(), p.Memory().RateChanges());
    });
    ui.Clear();
    RateEditorFlow& editor = flows.editor;
    const QJsonArray given = table["rates"].toArray();
    for (qsizetype i = 0; i < given.size(); ++i) {
      const QString text = given[i].toString();
      const int row = static_cast<int>(i);
      if (text == "reserved") {
        editor.ReserveClick(row, true);
      } else if (text == "exempt") {
        editor.ExemptClick(row, true);
      } else {
        editor.ReserveClick(row, false);
        editor.ExemptClick(row, false);
        editor.rows[static_cast<size_t>(row)].text = text;
      }
    }
    editor.Button1Click();
    ASSERT_EQ(ui.boxes.size(), 1u);
    const ShownBox& box = ui.boxes[0];
    EXPECT_TRUE(box.kind == BoxKind::Error || box.kind == BoxKind::OrderError);
    if (!box.text.startsWith(texts::kRateError) && box.text != texts::kOrder) {
      int32_t code = 1;
      while (code < 1000 && (tauravat_code_name(code) == nullptr ||
                             table["code"].toString() != tauravat_code_name(code)))
        ++code;
      EXPECT_EQ(box.text, gateway.ErrMessage(code)) << box.text.toStdString();
    }
    EXPECT_TRUE(editor.takEnabled);
    EXPECT_EQ(printer.Server().WithPrinter([](kestra::emu::Printer& p) {
      return std::tuple(p.Memory().Rates(), p.Memory().RateChanges());
    }),
              before);
  }
}

// One character per row, A..G: '1' where the member is set.
std::string Column(const std::array<RateRow, 7>& rows, bool RateRow::*member) {
  std::string column;
  for (const RateRow& row : rows) column += row.*member ? '1' : '0';
  return column;
}

TEST_F(EditorFlow, TheLayoutFollowsTheModelsRateFormat) {
  // Models, rates, visible texts; per row: field, label, reserve and exempt box shown, R, Z.
  // clang-format off
  const std::tuple<std::vector<uint8_t>, RateValues, QString, std::string> layouts[] = {
      // Five rates, unprogrammed: the proposal 22 / 7 / 0, D reserved, no exempt boxes.
      {{0, 4}, {R, R, R, R, R, R, R}, "22|7|0", "1110000 1111000 1111000 0000000 0001110 0000001"},
      {{1, 2, 5}, {2300, 800, 500, 0, R, R, R}, "23|8|5|0",  // G kept exempt
       "1111000 1111110 1111110 0000000 0000110 0000001"},
      {{3, 6, 7, 8, 9, 10}, {2300, 800, Z, 500, 0, R, R}, "23|8|5|0",
       "1101100 1111111 1111111 1111111 0000011 0010000"},
  };
  // clang-format on
  for (const auto& [types, rates, fieldTexts, expected] : layouts) {
    for (uint8_t type : types) {
      SCOPED_TRACE(type);
      Reset();
      Plug(Emulated(type, rates));
      OpenEditor();
      const auto& rows = flows_->editor.rows;
      QStringList texts;
      for (const RateRow& row : rows)
        if (row.fieldVisible) texts << row.text;
      EXPECT_EQ(texts.join('|'), fieldTexts);
      std::string columns;
      for (auto member : {&RateRow::fieldVisible, &RateRow::labelVisible, &RateRow::reserveVisible,
                          &RateRow::exemptVisible, &RateRow::reserve, &RateRow::exempt})
        columns += (columns.empty() ? "" : " ") + Column(rows, member);
      EXPECT_EQ(columns, expected);
    }
  }
}

TEST_F(EditorFlow, BoxesOfARowExcludeEachOtherAndHideTheField) {
  RateEditorFlow& editor = flows_->editor;
  editor.ExemptClick(1, true);
  EXPECT_EQ(Column(editor.rows, &RateRow::exempt), "0100000");
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, true);
  EXPECT_TRUE(editor.rows[1].reserve);
  EXPECT_FALSE(editor.rows[1].exempt);
  EXPECT_FALSE(editor.rows[1].fieldVisible);
  editor.ReserveClick(1, false);
  EXPECT_TRUE(editor.rows[1].fieldVisible);
  editor.ExemptClick(2, true);
  editor.ExemptClick(2, false);
  EXPECT_TRUE(editor.rows[2].fieldVisible);
}

TEST_F(EditorFlow, FieldCheckInformsWithoutHoldingTheOperator) {
  Plug(Emulated());
  OpenEditor();
  const uint64_t heard = machine_->Heard(1);
  RateEditorFlow& editor = flows_->editor;
  Type(0, "  ");
  editor.FieldExit(0);
  EXPECT_EQ(editor.rows[0].text, "0");
  EXPECT_TRUE(ui_.boxes.empty());
  for (int row : {1, 2, 3, 4}) {
    Type(row, QStringList{"x", "150", "-1", "99"}[row - 1]);
    editor.FieldExit(row);
  }
  EXPECT_EQ(ui_.Texts(BoxKind::Error),
            (std::vector<QString>{"Błąd w stawce podatkowej: x",
                                  "Błąd w stawce podatkowej: 150 (stawka poza zakresem)",
                                  "Błąd w stawce podatkowej: -1 (stawka poza zakresem)"}));
  EXPECT_EQ(ui_.beeps, 3);
  EXPECT_EQ(machine_->Heard(1), heard) << "the printer is left alone";
}

const QString kCounter = "  Licznik paragonów jest różny od 0  \rCzy wykonać raport dobowy?";
const QString kPaper = " " + kPaperText + "\rCzy wznowić wydruk po założeniu papieru?";
const QString kCancelled =
    "  Licznik paragonów anulowanych jest większy od 0.   \r"
    "Nie można zapisać stawek VAT! Wykonaj Raport Dobowy";
const QString kOrder =
    "W podłączonym urządzeniu stawki można wprowadzać tylko w kolejności nierosnącej.\r"
    "Należy zmienić kolejność stawek.";
const QString kUnchanged = "Stawki podatkowe nie uległy zmianie dlatego nie zostaną zapisane.";

using E = RateEditorFlow;
using Config = kestra::emu::PrinterConfig;
using RateTable = kestra::emu::RateTable;

// What a printer holds: its rates, and the rate changes its fiscal memory records.
std::tuple<RateTable, int> Held(kestra::emu::PtyServer& printer) {
  return printer.WithPrinter([](kestra::emu::Printer& p) {
    return std::tuple(p.Memory().Rates(), p.Memory().RateChanges());
  });
}

// The operator puts a new roll in before saying to resume, at the `times`-th asking;
// `failing`: the mechanism reports a failure from then on.
void PaperPutBack(FlowTest& t, bool failing, int times = 1) {
  t.ui_.beforeAnswer = [&t, failing, times, asked = 0](const ShownBox& box) mutable {
    if (box.kind != BoxKind::WarningQuestion || ++asked != times) return;
    t.machine_->Printer().WithPrinter([failing](kestra::emu::Printer& p) {
      p.LoadPaper();
      if (failing) p.Status().print95 = 0x04;
    });
  };
}

struct NotWritten {
  const char* name;
  void (*printer)(Config&);       // before the editor opens on it
  void (*script)(FlowTest&, E&);  // after the editor opened, before "Tak"
  std::vector<QString> boxes;
  std::deque<bool> answers = {};
  BoxKind lastKind = BoxKind::Error;
};

TEST_F(EditorFlow, ConfirmationsThatWriteNothingSayWhy) {
  const auto unprogrammed = [](Config&) {};
  const auto leave = [](FlowTest&, E&) {};
  // A day with receipts, and the paper running out three lines into its daily report.
  const auto daySold = [](Config& c) { c.receiptCounter = 2; };
  const auto paperEnds = [](Config& c) {
    c.receiptCounter = 2;
    c.paperEndsAfterLines = 3;
  };
  // clang-format off
  const NotWritten cases[] = {
      // The first bad row stops the check.
      {"out of range", unprogrammed,
       [](FlowTest&, E& e) { e.rows[1].text = "150"; e.rows[2].text = "x"; },
       {"Błąd w stawce podatkowej: 150 (stawka poza zakresem)"}},
      {"no number", unprogrammed, [](FlowTest&, E& e) { e.rows[0].text = "2x"; },
       {"Błąd w stawce podatkowej: 2x"}},
      {"growing", [](Config& c) { c.deviceType = 1; },
       [](FlowTest&, E& e) { e.rows[0].text = "7"; e.rows[1].text = "22"; },
       {kOrder}, {}, BoxKind::OrderError},
      {"unchanged", unprogrammed,
       [](FlowTest&, E& e) { for (int i = 0; i < 7; ++i) e.ReserveClick(i, true); },
       {kUnchanged}, {}, BoxKind::Information},
      // The fields are not even looked at.
      {"cancelled", [](Config& c) { c.deviceType = 9; c.cancelledCounter = 1; },
       [](FlowTest&, E& e) { e.rows[0].text = "x"; }, {kCancelled}},
      {"cancelled (EFV)", [](Config& c) { c.deviceType = 10; c.cancelledCounter = 256; }, leave,
       {kCancelled}},
      {"cancelled refused",
       [](Config& c) { c.deviceType = 9; c.faults.rules = {Rule("0xF7:nak")}; },
       leave, {Says(TAURAVAT_E_NAK)}},
      {"not fiscal", unprogrammed, [](FlowTest& t, E&) { t.Plug(Emulated(11)); },
       {"Podłączone urządzenie nie jest drukarką fiskalną."}},
      {"port gone", unprogrammed, [](FlowTest& t, E&) { t.machine_->Unplug(1); }, {kNoPort}},
      {"write refused", [](Config& c) { c.faults.rules = {Rule("0xD5:nak")}; }, leave,
       {Says(TAURAVAT_E_NAK)}},
      {"no daily report", daySold, leave, {kCounter}, {false}, BoxKind::Question},
      {"report refused",
       [](Config& c) { c.receiptCounter = 2; c.faults.rules = {Rule("0x25:nak")}; },
       leave, {kCounter, Says(TAURAVAT_E_NAK)}, {true}},
      {"paper not put back", paperEnds, leave, {kCounter, kPaper, Says(TAURAVAT_E_PAPER_OUT)},
       {true, false}},
      {"mechanism fails", paperEnds, [](FlowTest& t, E&) { PaperPutBack(t, true); },
       {kCounter, kPaper, Says(TAURAVAT_E_PRINTER_FAILURE)}, {true, true}},
  };
  // clang-format on
  for (const NotWritten& c : cases) {
    SCOPED_TRACE(c.name);
    Reset();
    Config config = Emulated();  // unprogrammed: the editor proposes a table to write
    c.printer(config);
    kestra::emu::PtyServer& printer = Plug(config);
    OpenEditor();
    const auto before = Held(printer);
    c.script(*this, flows_->editor);
    ui_.answers = c.answers;
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(), c.boxes);
    EXPECT_EQ(ui_.boxes.empty() ? BoxKind::Error : ui_.boxes.back().kind, c.lastKind);
    EXPECT_TRUE(ui_.answers.empty()) << "questions left unasked";
    EXPECT_EQ(Held(printer), before) << "nothing written";
    EXPECT_TRUE(ui_.readOuts.empty());
    EXPECT_TRUE(flows_->editor.takEnabled);
  }
}

// "Tak" on the table as read writes nothing, even with markers in the rows a model lacks;
// its last rate, changed, is written, and the table the read-out took in is then unchanged.
TEST_F(EditorFlow, OnlyAChangedTableIsWrittenOnEveryModel) {
  const RateValues rates{2300, 800, 500, 400, 300, 200, 100};
  for (uint8_t type = 0; type <= 10; ++type) {
    SCOPED_TRACE(type);
    Reset();
    kestra::emu::PtyServer& printer = Plug(Emulated(type, rates));
    OpenEditor();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(BoxKind::Information), std::vector<QString>{kUnchanged});
    EXPECT_EQ(std::get<1>(Held(printer)), 0);
    const auto last = static_cast<size_t>(PrinterModel(type).rate_count - 1);
    Type(static_cast<int>(last), "0");
    flows_->editor.Button1Click();
    const auto [held, changes] = Held(printer);
    EXPECT_EQ(changes, 1);
    for (size_t i = 0; i <= last; ++i) EXPECT_EQ(held[i], i == last ? 0 : rates[i]) << i;
    ASSERT_EQ(ui_.readOuts.size(), 1u);
    ui_.Clear();
    flows_->editor.Button1Click();
    EXPECT_EQ(ui_.Texts(), std::vector<QString>{kUnchanged});
    EXPECT_EQ(std::get<1>(Held(printer)), 1);
  }
}

TEST_F(EditorFlow, TheProposalAndASingleRateAreWritten) {
  // Unprogrammed: the editor proposes 22 / 7 / 0. Cancelled receipts are asked of the LUNO E
  // models only (this one would refuse the question).
  Config config = Emulated(2);
  config.cancelledCounter = 1;
  kestra::emu::PtyServer& printer = Plug(config);
  OpenEditor();
  flows_->editor.Button1Click();
  EXPECT_TRUE(ui_.boxes.empty()) << ui_.Texts()[0].toStdString();
  EXPECT_EQ(Held(printer), std::tuple(RateTable{2200, 700, 0, R, R, R, Z}, 1));
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  EXPECT_EQ(ui_.readOuts[0].lines[0], "Stawka PTU A : 22 %");
  // One ordinary rate passes the order check, and an empty field is zero.
  Reset();
  kestra::emu::PtyServer& older = Plug(Emulated(0));
  OpenEditor();
  flows_->editor.ReserveClick(0, true);
  flows_->editor.ReserveClick(1, true);
  Type(2, "");
  flows_->editor.Button1Click();
  EXPECT_EQ(flows_->editor.rows[2].text, "0");
  EXPECT_EQ(Held(older), std::tuple(RateTable{R, R, 0, R, R, R, Z}, 1));
}

TEST_F(EditorFlow, DailyReportFirstThenPaperOutThenTheRatesAreWrittenAndShown) {
  Config config = Emulated(7, {2300, 800, 500, R, R, R, Z});
  config.receiptCounter = 2;
  config.paperEndsAfterLines = 3;  // in the middle of the daily report
  kestra::emu::PtyServer& printer = Plug(config);
  OpenEditor();
  Type(0, "22");
  Type(1, "7.5");
  // "Yes" before the paper is in: the printout cannot go on, and the question comes again.
  ui_.answers = {true, true, true};
  PaperPutBack(*this, false, 2);
  flows_->editor.Button1Click();
  ASSERT_EQ(ui_.boxes.size(), 3u) << ui_.Texts().back().toStdString();
  EXPECT_EQ(ui_.boxes[0].kind, BoxKind::Question);
  EXPECT_EQ(ui_.boxes[1].kind, BoxKind::WarningQuestion);
  EXPECT_EQ(ui_.boxes[2].kind, BoxKind::WarningQuestion);
  EXPECT_TRUE(ui_.Centred("Raport dobowy..."));
  printer.WithPrinter([](kestra::emu::Printer& p) {
    EXPECT_EQ(p.Memory().Reports().size(), 1u);
    EXPECT_EQ(p.Memory().ReceiptsToday(), 0);
    EXPECT_EQ(p.Memory().Rates(), (RateTable{2200, 750, 500, R, R, R, Z}));
    EXPECT_EQ(p.Memory().RateChanges(), 1);
    // The report was resumed and printed to its end, the new rates after it.
    EXPECT_EQ(p.Mechanism().QueuedLines(), 0u);
    const std::string paper = p.Paper().Text();
    EXPECT_LT(paper.find("RAPORT DOBOWY"), paper.find("ZMIANA STAWEK PTU"));
    EXPECT_NE(paper.find("ZMIANA STAWEK PTU"), std::string::npos);
  });
  ASSERT_EQ(ui_.readOuts.size(), 1u);
  EXPECT_EQ(ui_.readOuts[0].lines[1], "Stawka PTU B : 7.5 %");
  EXPECT_EQ(ui_.readOuts[0].lines[6], "Stawka PTU G : ZWOLNIONA");
  EXPECT_EQ(flows_->state.CurrentRates, (std::array<uint16_t, 7>{2200, 750, 500, R, R, R, Z}));
  EXPECT_TRUE(flows_->editor.takEnabled);
}

}  // namespace
}  // namespace taurasw::testing
