// The program's rules that need no printer: the command line, the printer-state code,
// the lock-reason text, the order check and the read-out lines.
#include <gtest/gtest.h>

#include "flow/command_line.hpp"
#include "flow/rate_editor.hpp"
#include "flow/rate_readout.hpp"
#include "flow/services.hpp"
#include "qstring_printer.hpp"

namespace taurasw {
namespace {

constexpr uint32_t R = kReservedRateValue;
constexpr uint32_t Z = kExemptRateValue;

TEST(CommandLine, PortAndSpeedInAnyOrderAndCase) {
  CommandLine line = ParseCommandLine({"com3", "19200"});
  EXPECT_EQ(line.port, 3);
  EXPECT_EQ(line.speed, 19200);
  line = ParseCommandLine({"28800", "Com9"});
  EXPECT_EQ(line.port, 9);
  EXPECT_EQ(line.speed, 28800);
  EXPECT_FALSE(line.emulator);
  EXPECT_FALSE(line.help);
  EXPECT_TRUE(line.error.isEmpty());
}

TEST(CommandLine, AnyComNumberThePortMappingCanName) {
  EXPECT_EQ(ParseCommandLine({"COM12"}).port, 12);
  EXPECT_EQ(ParseCommandLine({"COM33"}).port, 33);  // the first USB adapter on Linux
  EXPECT_EQ(ParseCommandLine({"com255"}).port, 255);
  for (const char* word : {"COM0", "COM256", "COM1000", "COM", "COM-1", "COM 3", "COM3x"}) {
    const CommandLine line = ParseCommandLine({word});
    EXPECT_EQ(line.port, 0) << word;
    EXPECT_EQ(line.ignored, QStringList{word});
  }
}

TEST(CommandLine, OnlyTheKnownValuesCountAndTheFirstMatchWins) {
  CommandLine line = ParseCommandLine({"14400", "9600x", "COM2", "COM5", "9600", "28800"});
  EXPECT_EQ(line.port, 2);
  EXPECT_EQ(line.speed, 9600);
  EXPECT_EQ(line.ignored, (QStringList{"14400", "9600x", "COM5", "28800"}));
  EXPECT_TRUE(line.error.isEmpty());
  line = ParseCommandLine({});
  EXPECT_EQ(line.port, 0);
  EXPECT_EQ(line.speed, 0);
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

TEST(PrinterState, TheLaterRowWins) {
  EXPECT_EQ(ComputePrinterStateCode(Status(7, {})), kPrinterReady);
  // Paper out and low battery: paper.
  EXPECT_EQ(ComputePrinterStateCode(Status(7, {{3, 0x02}, {7, 0x02}})), kPaperOut);
  // Printer failure beats the lost controller, which beats low battery.
  EXPECT_EQ(ComputePrinterStateCode(Status(7, {{3, 0x04}, {2, 0x80}, {7, 0x02}})), kPrinterFailure);
  EXPECT_EQ(ComputePrinterStateCode(Status(7, {{2, 0x80}, {7, 0x02}})), kNoControllerLink);
  EXPECT_EQ(ComputePrinterStateCode(Status(6, {{2, 0x10}, {1, 0x04}})), kReadOnlyMode);
  EXPECT_EQ(ComputePrinterStateCode(Status(4, {{2, 0x10}})), kCmosErased);
}

TEST(PrinterState, ShortStatusReadsNeverGiveTheLaterBytesCodes) {
  EXPECT_EQ(ComputePrinterStateCode(Status(4, {{5, 0x40}, {7, 0x02}})), kPrinterReady);
  EXPECT_EQ(ComputePrinterStateCode(Status(6, {{5, 0x40}, {7, 0x02}})), kNoProgrammingVoltage);
  EXPECT_EQ(ComputePrinterStateCode(Status(7, {{5, 0x40}, {7, 0x02}})), kLowBattery);
}

TEST(PrinterState, Texts) {
  EXPECT_TRUE(PrinterStateText(kPrinterReady).isEmpty());
  EXPECT_EQ(PrinterStateText(kCmosErased), "Skasowana pamięć CMOS. Należy zainicjować zegar.");
  EXPECT_EQ(PrinterStateText(kReadOnlyMode), "Drukarka w trybie TYLKO ODCZYT.");
  EXPECT_EQ(PrinterStateText(kNoProgrammingVoltage),
            "Brak napięcia programującego pamięć fiskalną.");
  EXPECT_EQ(PrinterStateText(kLowBattery), "Niskie napięcie akumulatora głównego");
  EXPECT_EQ(PrinterStateText(kNoControllerLink), "Brak komunikacji z kontrolerem drukarki");
  EXPECT_EQ(PrinterStateText(kPrinterFailure), "Wystąpiła awaria drukarki");
  EXPECT_EQ(PrinterStateText(kPaperOut),
            "Brak papieru lub podniesiona głowica mechanizmu drukującego");
  EXPECT_EQ(PrinterStateText(42), "NIEZDEFINIOWANY BŁĄD");
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

TEST(OrderCheck, OrdinaryRatesMustNotGrow) {
  EXPECT_TRUE(OrderCheckPasses({2200, 700, 0, R, R, R, Z}, 1));  // the proposal
  EXPECT_TRUE(OrderCheckPasses({2300, 2300, 800, 500, 0, 0, Z}, 5));
  EXPECT_FALSE(OrderCheckPasses({700, 2200, 0, R, R, R, Z}, 2));
  EXPECT_FALSE(OrderCheckPasses({2200, 700, 0, R, R, 500, Z}, 1));  // F is checked too
  EXPECT_FALSE(OrderCheckPasses({2200, 700, 0, 800, R, R, Z}, 0));
}

TEST(OrderCheck, MarkersAreLeftOutAndFewRatesPass) {
  EXPECT_FALSE(OrderCheckPasses({2200, R, 2300, R, R, R, Z}, 1));  // A against C
  EXPECT_TRUE(OrderCheckPasses({R, Z, 2200, R, R, R, Z}, 1));      // one ordinary rate
  EXPECT_TRUE(OrderCheckPasses({R, R, R, R, R, R, Z}, 0));         // none
}

TEST(OrderCheck, OnlyTheRowsTheModelOrders) {
  EXPECT_TRUE(OrderCheckPasses({2200, 700, 0, 0, 2300, 2300, Z}, 0));  // A..D only
  EXPECT_TRUE(OrderCheckPasses({2200, 700, 0, 0, 0, 0, 2300}, 1));     // G is never checked
  for (int type : {3, 6, 7, 8, 9, 10})
    EXPECT_TRUE(OrderCheckPasses({0, 500, 2300, R, R, R, Z}, static_cast<uint8_t>(type)));
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
