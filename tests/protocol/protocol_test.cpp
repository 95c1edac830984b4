// The driver's tables and the Printer object: result-code texts as ErrMessage gives them
// (code page 1250 bytes, exact), the command table against the emulator's framing, and a
// connection opened by device path.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "commands.hpp"
#include "emulator_line.hpp"
#include "kestra/emu/protocol.hpp"
#include "messages.hpp"
#include "printer.hpp"
#include "tauravat.hpp"

namespace kestradr {
namespace {

namespace emu = kestra::emu;

std::string Text(int32_t code) {
  std::string text = "stale";
  EXPECT_EQ(::ErrMessage(code, text), 0);
  return text;
}

TEST(Messages, EveryCodeGetsItsExactCp1250Text) {
  const std::string unknown = "Nieznany b\xB3\xB9\x64 (prawdopodobnie systemowy)";
  const struct {
    int32_t code;
    std::string text;
  } cases[] = {
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
      {999, "W bibliotece wystapi\xB3 wewn\xEAtrzny wyj\xB9tek."},
  };
  for (const auto& c : cases) EXPECT_EQ(Text(c.code), c.text) << c.code;
  for (const int32_t code : {2, 6, 22, 26, 115, 242, 1000, -1, INT32_MIN})
    EXPECT_EQ(Text(code), unknown) << code;
  for (int code = 0; code <= 1000; ++code) {
    for (const unsigned char c : Text(code))
      EXPECT_TRUE(c != 0xC4 && c != 0xC5) << "UTF-8 " << code;
  }
}

TEST(Messages, TimeoutTextsHaveThirteenLinesJoinedByBareCarriageReturns) {
  const auto lines = [](const std::string& text) {
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line, '\r');) result.push_back(line);
    return result;
  };
  const std::string send = Text(20);
  EXPECT_EQ(send.size(), 621u);
  EXPECT_EQ(Text(21).size(), 615u);
  EXPECT_EQ(std::count(send.begin(), send.end(), '\n'), 0);
  const auto sendLines = lines(send);
  auto receiveLines = lines(Text(21));
  ASSERT_EQ(sendLines.size(), 13u);
  ASSERT_EQ(receiveLines.size(), 13u);
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
}

TEST(Messages, BufferTwinCopiesTheWholeTextWithItsNulAndNothingMore) {
  std::vector<char> buffer(700, 'x');
  EXPECT_EQ(::pErrMessage(20, buffer.data()), 0);
  EXPECT_EQ(std::string(buffer.data()), Text(20));
  EXPECT_EQ(buffer[622], 'x');
  EXPECT_EQ(::pErrMessage(0, buffer.data()), 0);
  EXPECT_EQ(buffer[0], '\0');
  for (int32_t code : {0, 20, 24, 999, -5}) EXPECT_EQ(::pErrMessage(code, nullptr), 225);
}

// A command sent with a shape the printer does not have leaves the two ends out of step.
TEST(CommandTable, EveryCommandTheDriverSendsHasTheEmulatorsFraming) {
  std::set<uint8_t> codes;
  for (const Command& command : kDriverCommands) {
    SCOPED_TRACE(command.name);
    EXPECT_TRUE(codes.insert(command.code).second) << "named twice";
    const auto shape = emu::LookupCommand(command.code);
    ASSERT_TRUE(shape.has_value()) << "a code the printer does not know";
    if (shape->first == emu::FirstReply::kStatusByte) {
      EXPECT_EQ(command.reply, 1) << "one status byte, no acknowledgement";
    } else if (shape->first == emu::FirstReply::kSilent) {
      EXPECT_EQ(command.reply, 0);
    } else {
      EXPECT_EQ(command.reply, shape->dataBytes + 1) << "the ACK and the data bytes";
    }
    EXPECT_EQ(command.untilLineFeed, shape->untilLineFeed);
    if (!command.untilLineFeed) {
      EXPECT_EQ(command.parameters, shape->parameterBytes);
    }
    EXPECT_EQ(command.secondReply, shape->secondReplyBytes);
  }
}

TEST(CommandTable, BareDataClassAgreesWithTheEmulatorForEveryCode) {
  for (int code = 0; code < 256; ++code) {
    const auto shape = emu::LookupCommand(static_cast<uint8_t>(code));
    if (!shape) continue;
    EXPECT_EQ(IsBareDataCommand(static_cast<uint8_t>(code)),
              shape->first == emu::FirstReply::kStatusByte)
        << "command " << code;
  }
}

TEST(PortAddress, ComNamesMapToPortNumbersAndAnythingElseIsAPath) {
  const std::pair<const char*, int> cases[] = {
      {"COM3", 3},  {"com255", 255}, {"Com1", 1},  {"COM0", 0},         {"COM256", 0},
      {"COM03", 0}, {"COM", 0},      {"COM3x", 0}, {"/dev/ttyUSB0", 0}, {"\\\\.\\COM12", 0}};
  for (const auto& [device, number] : cases) {
    const PortAddress address = ParsePortAddress(device);
    EXPECT_EQ(address.number, number) << device;
    EXPECT_EQ(address.path, number == 0 ? device : "") << device;
  }
}

emu::PrinterConfig Model(int type, uint16_t rateA) {
  emu::PrinterConfig config;
  config.deviceType = type;
  config.rates = emu::AllReserved();
  config.rates[0] = rateA;
  return config;
}

// A printer opened by path reconnects to that path and forgets it at the end; the path
// "/emu/a" reaches an emulated printer, anything else is not there.
TEST(PrinterByPath, ReconnectsToThatPathAndForgetsItAtTheEnd) {
  const auto line = std::make_shared<testing::EmulatorLine>(Model(2, 800));
  SetDeviceOpener([line](const PortAddress& address) {
    DeviceOpenResult result;
    if (address.path == "/emu/a") {
      result.device = line->OpenDevice();
    } else {
      result.osError = kErrorFileNotFound;
    }
    return result;
  });
  Printer printer;
  ASSERT_EQ(printer.Open("/emu/a", 9600, 1000), kOk);
  EXPECT_EQ(printer.DevicePath, "/emu/a");
  EXPECT_EQ(printer.PortNumber, 0);
  EXPECT_EQ(printer.DeviceType, 2);

  // A lost connection is made again on the same device before the command.
  const int openings = line->OpenCount();
  printer.Connected = false;
  int32_t count = 0;
  RateArray rates{};
  EXPECT_EQ(printer.ReadVAT(count, rates), kOk);
  EXPECT_EQ(rates[0], 800u);
  EXPECT_GT(line->OpenCount(), openings);

  EXPECT_EQ(printer.CommunicationEnd(), kOk);
  EXPECT_EQ(printer.ReadVAT(count, rates), kNoPortNumber);
  EXPECT_EQ(printer.Open("/emu/none", 9600, 1000), 2) << "no such device";
  SetDeviceOpener({});
}

}  // namespace
}  // namespace kestradr
