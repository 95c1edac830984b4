// The driver's tables (result-code texts in exact code page 1250 bytes, the command table
// against the emulator's framing), the Printer object by path, and the sequence exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "comm.hpp"
#include "commands.hpp"
#include "emulator_line.hpp"
#include "exchange.hpp"
#include "kestra/emu/protocol.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "scripted_line.hpp"
#include "serial_device.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

namespace kestradr {
namespace {

namespace emu = kestra::emu;
using testing::ScriptedLine;
using testing::ScriptedPort;
using Bytes = std::vector<uint8_t>;

std::string Text(int32_t code) {
  std::string text = "stale";
  EXPECT_EQ(::ErrMessage(code, text), 0);
  return text;
}

TEST(Messages, EveryCodeGetsItsExactCp1250TextTimeoutsInThirteenLinesAndTheBufferTwin) {
  const std::string unknown = "Nieznany b\xB3\xB9\x64 (prawdopodobnie systemowy)";
  const std::pair<int32_t, std::string> cases[] = {
      {0, ""},
      {24, "NAK na sekwencj\xEA steruj\xB9\x63\xB9."},
      {5,
       "Niemo\xBFliwe otwarcie portu. Port szeregowy jest prawdopodobnie u\xBFywany przez "
       "inn\xB9 aplikacj\xEA."},
      {99, "Komunikacja nie zainicjowana."},  // a text, although nothing returns 99
      {104, "Brak danych uzytkownika."},
      {106, "Brak wy\x9Cwietlacza klienta."},
      {109, "Brak papieru lub podniesiona g\xB3owica mechanizmu drukuj\xB9\x63\x65go."},
      // 206..208 follow the error table, not the parameter order of ReceiptItem.
      {206, "Parametr <MP> w ReceiptItem poza zakresem."},
      {207, "Parametr <Jedn> w ReceiptItem poza zakresem."},
      {208, "Parametr <Cena> w ReceiptItem poza zakresem."},
      {210, "Nastapi\xB3o uniewa\xBFnienie paragonu."},
      {216, "Wszystkie linie po paragonie zaj\xEAte."},
      {223, "Parametr N poza zakresem."},
      {232, "B\xB3\xB9\x64 sumy CRC w danych wysy\xB3\x61nych do drukarki"},
      {241, "Niezgodna pami\xEA\xE6 fiskalna. Wymagana interwencja serwisu fabrycznego."},
      {999, "W bibliotece wystapi\xB3 wewn\xEAtrzny wyj\xB9tek."}};
  for (const auto& [code, text] : cases) EXPECT_EQ(Text(code), text) << code;
  for (const int32_t code : {2, 6, 22, 26, 115, 242, 1000, -1, INT32_MIN})
    EXPECT_EQ(Text(code), unknown) << code;
  for (int code = 0; code <= 1000; ++code)
    for (const unsigned char c : Text(code))
      EXPECT_TRUE(c != 0xC4 && c != 0xC5) << "UTF-8 " << code;
  const auto lines = [](const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line, '\r');) result.push_back(line);
    return result;
  };
  const std::string send = Text(20);
  EXPECT_EQ(std::pair(send.size(), Text(21).size()), std::pair(size_t{621}, size_t{615}));
  EXPECT_EQ(send.find('\n'), std::string::npos);
  const auto sendLines = lines(send);
  auto receiveLines = lines(Text(21));
  ASSERT_EQ(std::pair(sendLines.size(), receiveLines.size()), std::pair(size_t{13}, size_t{13}));
  EXPECT_EQ(sendLines[0],
            "TIMEOUT NADAWANIA: Komputer nie potrafi wys\xB3\x61\xE6 informacji do drukarki "
            "fiskalnej ");
  EXPECT_EQ(receiveLines[0],
            "TIMEOUT ODBIERANIA: Komputer nie potrafi odebra\xE6 informacji z drukarki fiskalnej ");
  EXPECT_EQ(sendLines[5], "  a\xBF na wy\x9Cwietlaczu klienta za\x9Cwieci si\xEA napis 'ON LINE',");
  EXPECT_EQ(receiveLines[10],
            "* w programie wybrano inn\xB9 pr\xEA\x64ko\x9C\xE6 transmisji ni\xBF ustawiona w "
            "drukarce.");
  receiveLines[0] = sendLines[0];
  receiveLines[10] = sendLines[10];
  EXPECT_EQ(sendLines, receiveLines) << "the other lines are the same";
  // The buffer twin copies the whole text with its NUL and nothing more.
  std::vector<char> buffer(700, 'x');
  EXPECT_EQ(::pErrMessage(20, buffer.data()), 0);
  EXPECT_EQ(std::string(buffer.data()), Text(20));
  EXPECT_EQ(buffer[622], 'x');
  EXPECT_EQ(::pErrMessage(0, buffer.data()), 0);
  EXPECT_EQ(buffer[0], '\0');
  for (int32_t code : {0, 20, 24, 999, -5}) EXPECT_EQ(::pErrMessage(code, nullptr), 225);
}

// A command sent with a shape the printer does not have leaves the two ends out of step.
TEST(CommandTable, EveryCommandHasTheEmulatorsFramingAndBareDataClass) {
  std::set<uint8_t> codes;
  for (const Command& command : kDriverCommands) {
    SCOPED_TRACE(command.name);
    EXPECT_TRUE(codes.insert(command.code).second) << "named twice";
    const auto shape = emu::LookupCommand(command.code);
    ASSERT_TRUE(shape.has_value()) << "a code the printer does not know";
    EXPECT_EQ(command.reply, shape->first == emu::FirstReply::kStatusByte ? 1
                             : shape->first == emu::FirstReply::kSilent   ? 0
                                                                          : shape->dataBytes + 1);
    EXPECT_EQ(command.untilLineFeed, shape->untilLineFeed);
    EXPECT_EQ(command.untilLineFeed ? shape->parameterBytes : command.parameters,
              shape->parameterBytes);
    EXPECT_EQ(command.secondReply, shape->secondReplyBytes);
  }
  for (int code = 0; code < 256; ++code) {
    const auto shape = emu::LookupCommand(static_cast<uint8_t>(code));
    if (!shape) continue;
    EXPECT_EQ(IsBareDataCommand(static_cast<uint8_t>(code)),
              shape->first == emu::FirstReply::kStatusByte)
        << "command " << code;
  }
}

TEST(PortAddress, ComNamesAreNumbersAndAPrinterByPathReconnectsToItAndForgetsIt) {
  const std::pair<const char*, int> cases[] = {
      {"COM3", 3},  {"com255", 255}, {"Com1", 1},  {"COM0", 0},         {"COM256", 0},
      {"COM03", 0}, {"COM", 0},      {"COM3x", 0}, {"/dev/ttyUSB0", 0}, {"\\\\.\\COM12", 0}};
  for (const auto& [device, number] : cases) {
    const PortAddress address = ParsePortAddress(device);
    EXPECT_EQ(address.number, number) << device;
    EXPECT_EQ(address.path, number == 0 ? device : "") << device;
  }
  // "/emu/a" reaches an emulated printer, anything else is not there.
  emu::PrinterConfig model;
  model.deviceType = 2;
  model.rates[0] = 800;
  const auto line = std::make_shared<testing::EmulatorLine>(model);
  SetDeviceOpener([line](const PortAddress& address) {
    if (address.path == "/emu/a") return DeviceOpenResult{.device = line->OpenDevice()};
    return DeviceOpenResult{.device = {}, .osError = kErrorFileNotFound};
  });
  Printer printer;
  ASSERT_EQ(printer.Open("/emu/a", 9600, 1000), TAURAVAT_OK);
  EXPECT_EQ(PrinterInternals(printer).DevicePath(), "/emu/a");
  EXPECT_EQ(PrinterInternals(printer).PortNumber(), 0);
  EXPECT_EQ(PrinterInternals(printer).DeviceType(), 2);
  // A lost connection is made again on the same device before the command.
  const int openings = line->OpenCount();
  PrinterInternals(printer).Connected() = false;
  TaxRates rates;
  EXPECT_EQ(printer.ReadVAT(rates), TAURAVAT_OK);
  EXPECT_EQ(rates.values[0], 800u);
  EXPECT_GT(line->OpenCount(), openings);
  EXPECT_EQ(printer.CommunicationEnd(), TAURAVAT_OK);
  EXPECT_EQ(printer.ReadVAT(rates), TAURAVAT_E_NO_PORT);
  EXPECT_EQ(printer.Open("/emu/none", 9600, 1000), 2) << "no such device";
  SetDeviceOpener({});
}

// The sequence exchange on a scripted line: a printer cannot be made to send most of these.
class ExchangeTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(OpenPort(1, 9600, 1, 1), 0); }
  void TearDown() override { ClosePort(); }

  int32_t Rs(uint8_t command, int32_t replyLength, const Bytes& parameters = {}) {
    Block params{};
    std::copy(parameters.begin(), parameters.end(), params.begin());
    return RSSequence(command, replyLength, static_cast<int32_t>(parameters.size()), reply.data(),
                      params.data());
  }
  Bytes Reply(size_t length) const { return Bytes(reply.begin(), reply.begin() + length); }

  std::shared_ptr<ScriptedLine> line = std::make_shared<ScriptedLine>();
  ScriptedPort port{line};
  Block reply{};
};

TEST_F(ExchangeTest, AcknowledgedAndSilentCommandsReplyCopiesAndRefusalBytes) {
  line->Reply(0x46, {kAck});
  EXPECT_EQ(Rs(0x46, 1, {3}), 0);
  EXPECT_EQ(line->Written(), (Bytes{kEsc, 0x46, 3}));
  line->Reply(0xD9, {kAck, 0x2C, 0x01});
  EXPECT_EQ(Rs(0xD9, 3), 0);
  EXPECT_EQ(Reply(2), (Bytes{0x2C, 0x01})) << "the data overwrites the ACK";
  line->ClearRecord();
  line->Reply(0x06, {0x15});  // an answer that must not be read
  EXPECT_EQ(Rs(0x06, 0, {0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}), 0);
  EXPECT_EQ(line->Written(), (Bytes{kEsc, 0x06, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5}));
  // The reply copy is the whole buffer and keeps earlier bytes.
  line->Reply(0xD8, {kAck, '0', '7', 'A', 'B'});
  EXPECT_EQ(Rs(0xD8, 5), 0);
  line->Reply(0xD9, {kAck, 0x11, 0x22});
  reply.fill(0);
  EXPECT_EQ(Rs(0xD9, 3), 0);
  EXPECT_EQ(Reply(4), (Bytes{0x11, 0x22, 'A', 'B'}));
  // A reply length of 256 reaches the wire as 0: nothing is read, yet the buffer is copied.
  reply.fill(0);
  line->Reply(0x46, {kAck});
  EXPECT_EQ(RSSequence(0x46, 256, 0, reply.data(), nullptr), 0);
  EXPECT_EQ(reply[0], 0x11);
  EXPECT_EQ(line->Written().back(), 0x46);
  // Refusal bytes become results and the parameters stay unsent, except for bare data commands.
  const std::pair<uint8_t, int32_t> cases[] = {{0x15, 24}, {0x01, 101}, {0x65, 201},
                                               {0xC8, 26}, {0x07, 23},  {0xFF, 23}};
  for (const auto& [answer, result] : cases) {
    line->ClearRecord();
    line->Reply(0xD5, {answer});
    EXPECT_EQ(Rs(0xD5, 1, {1, 2, 3}), result) << int(answer);
    EXPECT_EQ(line->Written(), (Bytes{kEsc, 0xD5})) << int(answer);
  }
  // Bare data commands take any first byte as the status.
  for (uint8_t command : Bytes{94, 149}) {
    for (uint8_t status : Bytes{0x00, 0x06, 0x15, 0x01, 0xC8}) {
      line->Reply(command, {status});
      reply[0] = 0xEE;
      EXPECT_EQ(Rs(command, 1), 0) << int(command) << "/" << int(status);
      EXPECT_EQ(reply[0], status);
    }
  }
  line->Reply(0x97, {0x15});
  EXPECT_EQ(Rs(0x97, 1), 24) << "the same answer to an ordinary command is a refusal";
}

TEST_F(ExchangeTest, RecordListsSecondRepliesNullsLineErrorsAndMissingOrUnsentBytes) {
  // Command 231: records of 4 bytes; a 0xFF as data byte 5 starts the second record.
  line->Reply(0x71, {kAck, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA});
  ASSERT_EQ(Rs(0x71, 8), 0);
  line->Reply(231, {kAck, 1, 2, 3, 4, 0xFF, 9, 9});
  EXPECT_EQ(Rs(231, 41), 0);
  // Past the marker the earlier reply stays; the two unread bytes are purged by the next exchange.
  EXPECT_EQ(Reply(7), (Bytes{1, 2, 3, 4, 0xFF, 0xAA, 0xAA}));
  line->Reply(231, {kAck, 0xFE, 0xFF, 0xFF, 0xFF, 5, 6, 7, 8});
  EXPECT_EQ(Rs(231, 9), 0);
  EXPECT_EQ(Reply(8), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 5, 6, 7, 8})) << "0xFF inside a record";
  line->Reply(0x71, {kAck, 0xFF, 0xFF, 3});
  EXPECT_EQ(Rs(0x71, 4), 0);
  EXPECT_EQ(reply[2], 3) << "ordinary commands read the whole length even through 0xFF";
  line->Reply(0x31, {kAck}, 5, {2});
  PrinterInternals(DefaultPrinter()).SendBuffer() = Block{};
  PrinterInternals(DefaultPrinter()).SendBuffer()[0] = 2;
  DefaultPrinter().ExchangeSequence(0x31, 1, 1, 5);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).LastSequenceResult(), 0);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).ReplyBuffer()[0], 2);
  EXPECT_EQ(line->Sequences().back().parameters.size(), 5u);
  line->Always(0x46, {kAck});
  EXPECT_EQ(RSSequence(0x46, 0, 0, nullptr, nullptr), 0);
  EXPECT_EQ(RSSequence(0x46, 1, 0, nullptr, nullptr), 999);
  EXPECT_EQ(RSSequence(0x46, 0, 1, nullptr, nullptr), 999);
  // Negative lengths copy nothing; their low byte still reaches the wire.
  EXPECT_EQ(RSSequence(0x46, -255, 0, nullptr, nullptr), 0);
  line->Always(0x46, {kAck});
  EXPECT_EQ(Rs(0x46, 1), 0);
  line->RaiseLineError(kLineFraming);  // served the next time the caller waits on the port
  // ...after the event thread has run, which a busy machine can delay by milliseconds, many
  // exchanges: a bounded wait, not a count of them.
  int32_t result = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (result == 0 && std::chrono::steady_clock::now() < deadline) result = Rs(0x46, 1);
  EXPECT_EQ(result, 20);
  EXPECT_EQ(Rs(0x46, 1), 20);
  EXPECT_EQ(PrinterInternals(DefaultPrinter()).Link().CommErrorCode(), kLineFraming);
  ASSERT_EQ(ClosePort(), 0);
  ASSERT_EQ(OpenPort(1, 9600, 1, 1), 0);
  EXPECT_EQ(Rs(0x46, 1), 0);
  EXPECT_EQ(Rs(0xD9, 3), 21);  // silence
  line->Reply(0xD9, {kAck, 0x01});
  EXPECT_EQ(Rs(0xD9, 3), 21);  // one data byte short
  line->Reply(0x46, {kAck});
  line->FailWrites(true);
  EXPECT_EQ(Rs(0x46, 1, {5}), 20);
  ASSERT_EQ(ClosePort(), 0);
  EXPECT_EQ(Rs(0x46, 1), 20) << "no port at all";
}

// The port shuts down before the objects its shutdown uses are destroyed (else a double free).
TEST(PortAtExit, AnOpenPortIsClosedCleanlyWhenTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ScriptedPort port(std::make_shared<ScriptedLine>());
        if (OpenPort(1, 9600, 1, 1) != 0) std::_Exit(3);
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace kestradr
