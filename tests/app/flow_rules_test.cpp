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

// The later row wins, and short reads never give the later bytes' codes.
TEST(PrinterState, CodeAndText) {
  const std::tuple<StatusRead, int, QString> cases[] = {
      {Status(7, {}), kPrinterReady, ""},
      {Status(7, {{3, 0x02}, {7, 0x02}}), kPaperOut,
       "Brak papieru lub podniesiona głowica mechanizmu drukującego"},
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
}

TEST(LockMessage, OneLinePerReasonInTableOrder) {
  // 0x21 is shown whole by the dialog's refusal of a locked printer.
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
  EXPECT_FALSE(ReadOutLines(5, {}, QChar('.')));
  EXPECT_FALSE(ReadOutLines(0, {}, QChar('.')));
}

}  // namespace
}  // namespace taurasw
