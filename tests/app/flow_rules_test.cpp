// The program's rules that need no printer: the command line, the printer-state code,
// the lock-reason text, the order check and the read-out lines.
#include <gtest/gtest.h>

#include <tuple>

#include "flow/command_line.hpp"
#include "flow/rate_editor.hpp"
#include "flow/rate_readout.hpp"
#include "flow/services.hpp"

namespace taurasw {
namespace {

constexpr uint32_t R = kReservedRateValue;
constexpr uint32_t Z = kExemptRateValue;

TEST(CommandLine, PortAndSpeedInAnyOrderAndCaseOnlyKnownValuesAndTheFirstMatchWins) {
  const std::tuple<QStringList, uint8_t, uint16_t> cases[] = {
      {{"com3", "19200"}, 3, 19200},
      {{"28800", "Com9"}, 9, 28800},
      {{"COM10", "14400", "COM0", "9600x", "com"}, 0, 0},
      {{"COM2", "COM5", "9600", "28800"}, 2, 9600},
      {{}, 0, 0},
  };
  for (const auto& [arguments, port, speed] : cases) {
    const CommandLine line = ParseCommandLine(arguments);
    EXPECT_EQ(line.port, port) << arguments.join(' ').toStdString();
    EXPECT_EQ(line.speed, speed) << arguments.join(' ').toStdString();
    EXPECT_FALSE(line.emulator || line.help);
  }
}

TEST(CommandLine, ProgramOptions) {
  CommandLine line = ParseCommandLine({"--emulator=luno-f", "--screenshots=/tmp/x", "--nope"});
  EXPECT_TRUE(line.emulator);
  EXPECT_EQ(line.emulatorModel, "luno-f");
  EXPECT_EQ(line.screenshotDir, "/tmp/x");
  EXPECT_EQ(line.ignored, QStringList{"--nope"});
  line = ParseCommandLine({"--emulator", "COM4"});
  EXPECT_TRUE(line.emulator);
  EXPECT_TRUE(line.emulatorModel.isEmpty());
  EXPECT_EQ(line.port, 4);
  EXPECT_TRUE(ParseCommandLine({"--help"}).help);
  EXPECT_TRUE(ParseCommandLine({"-h"}).help);
}

StatusRead Status(int count, std::initializer_list<std::pair<int, uint8_t>> bytes) {
  StatusRead status;
  status.count = count;
  for (const auto& [index, value] : bytes) status.s[static_cast<size_t>(index)] = value;
  return status;
}

TEST(PrinterState, TheLaterRowWinsAndShortReadsNeverGiveTheLaterBytesCodes) {
  const std::pair<StatusRead, int> cases[] = {
      {Status(7, {}), kPrinterReady},
      {Status(7, {{3, 0x02}, {7, 0x02}}), kPaperOut},
      {Status(7, {{3, 0x04}, {2, 0x80}, {7, 0x02}}), kPrinterFailure},
      {Status(7, {{2, 0x80}, {7, 0x02}}), kNoControllerLink},
      {Status(6, {{2, 0x10}, {1, 0x04}}), kReadOnlyMode},
      {Status(4, {{2, 0x10}}), kCmosErased},
      {Status(4, {{5, 0x40}, {7, 0x02}}), kPrinterReady},
      {Status(6, {{5, 0x40}, {7, 0x02}}), kNoProgrammingVoltage},
      {Status(7, {{5, 0x40}, {7, 0x02}}), kLowBattery},
  };
  for (const auto& [status, code] : cases) EXPECT_EQ(ComputePrinterStateCode(status), code);
}

TEST(PrinterState, Texts) {
  const std::pair<int, QString> texts[] = {
      {kPrinterReady, ""},
      {kCmosErased, "Skasowana pamięć CMOS. Należy zainicjować zegar."},
      {kReadOnlyMode, "Drukarka w trybie TYLKO ODCZYT."},
      {kNoProgrammingVoltage, "Brak napięcia programującego pamięć fiskalną."},
      {kLowBattery, "Niskie napięcie akumulatora głównego"},
      {kNoControllerLink, "Brak komunikacji z kontrolerem drukarki"},
      {kPrinterFailure, "Wystąpiła awaria drukarki"},
      {kPaperOut, "Brak papieru lub podniesiona głowica mechanizmu drukującego"},
      {42, "NIEZDEFINIOWANY BŁĄD"},
  };
  for (const auto& [code, text] : texts) EXPECT_EQ(PrinterStateText(code), text) << code;
}

TEST(LockMessage, OneLinePerReasonInTableOrder) {
  EXPECT_EQ(LockMessage(0x21),
            "KASA ZABLOKOWANA: \r\nUSZKODZONA PAMIĘĆ PROGRAMU.\r\nNiezgodna pamięć fiskalna.\r\n");
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

TEST(ReadOut, SevenRatesWithTheProgramsSeparator) {
  const auto view = ReadOutLines(7, {2200, 750, 0, R, Z, 500, R}, QChar(','));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->lines[0], "Stawka PTU A : 22 %");
  EXPECT_EQ(view->lines[1], "Stawka PTU B : 7,5 %");
  EXPECT_EQ(view->lines[2], "Stawka PTU C : 0 %");
  EXPECT_EQ(view->lines[3], "Stawka PTU D : REZERWA");
  EXPECT_EQ(view->lines[4], "Stawka PTU E : ZWOLNIONA");
  EXPECT_EQ(view->lines[6], "Stawka PTU G : REZERWA");
  for (bool visible : view->visible) EXPECT_TRUE(visible);
}

TEST(ReadOut, FourAndSixRatesHideTheRest) {
  auto view = ReadOutLines(4, {2250, 700, R, 0, 0, 0, 0}, QChar('.'));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->lines[0], "Stawka PTU A : 22 %");  // whole percent on 4-rate models
  EXPECT_EQ(view->lines[2], "Stawka PTU C : REZERWA");
  EXPECT_EQ(std::vector<bool>(view->visible.begin(), view->visible.end()),
            (std::vector<bool>{true, true, true, true, false, false, false}));
  view = ReadOutLines(6, {2250, 700, R, 0, 0, 0, 0}, QChar('.'));
  ASSERT_TRUE(view);
  EXPECT_EQ(view->lines[0], "Stawka PTU A : 22.5 %");
  EXPECT_TRUE(view->visible[5]);
  EXPECT_FALSE(view->visible[6]);
  EXPECT_FALSE(ReadOutLines(5, {}, QChar('.')));
  EXPECT_FALSE(ReadOutLines(0, {}, QChar('.')));
}

}  // namespace
}  // namespace taurasw
