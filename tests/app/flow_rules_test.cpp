// The program's rules that need no printer: the command line, the printer-state code,
// the lock-reason text, the order check and the read-out lines.
#include <gtest/gtest.h>

#include <tuple>

#include "flow/command_line.hpp"
#include "flow/rate_editor.hpp"
#include "flow/rate_readout.hpp"
#include "flow/services.hpp"
#include "qstring_printer.hpp"

namespace taurasw {
namespace {

constexpr uint32_t R = kReservedRateValue;
constexpr uint32_t Z = kExemptRateValue;

// Of the words that are not options, the first port (COM1..COM255, any case) and the
// first speed count; every other word is ignored, and named.
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

TEST(CommandLine, ProgramOptions) {
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
}

TEST(CommandLine, AnOptionThatCannotBeUsedStopsTheProgram) {
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
