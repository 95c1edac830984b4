// Exported clock, counters, identity numbers, drawer, line feed and the driver's own
// version and maker.
#include "callbacks.hpp"
#include "connection.hpp"
#include "cp1250.hpp"
#include "date_time_formats.hpp"
#include "exchange.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tauravat.hpp"
#include "device_groups.hpp"

using namespace kestradr;

namespace {

constexpr uint8_t kClockWithSeconds = 0x40;
constexpr uint8_t kClock = 0x35;
constexpr uint8_t kDailyReportNumber = 0xD9;
constexpr uint8_t kPrinterNumber = 0xD8;
constexpr uint8_t kUniqueNumber = 0x71;
constexpr uint8_t kLineFeed = 0x46;
constexpr uint8_t kFirstDrawer = 0x57;

constexpr size_t kUniqueNumberLength = 11;
constexpr size_t kUniqueNumberPrefix = 3;

// The clock comes as one digit value per byte, tens first; each is written as it came.
std::string Field(const Block& digits, size_t at) {
  return std::to_string(digits[at]) + std::to_string(digits[at + 1]);
}

int Value(const Block& digits, size_t at) {
  return digits[at] * 10 + digits[at + 1];
}

int32_t ReadUniqueCharacters(std::string& number) {
  static const std::string caption = Cp1250("Odczyt numeru unikatowego...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != kOk) return result;
  Block reply{};
  if (const uint8_t result = SendSequence(kUniqueNumber, kUniqueNumberLength + 1, reply);
      result != kOk)
    return result;
  number.assign(reply.begin(), reply.begin() + kUniqueNumberLength);
  return kOk;
}

const std::string& VersionText() {
  static const std::string version = "10.00";
  return version;
}

const std::string& AuthorText() {
  static const std::string author = Cp1250("tauravat - sterownik drukarek fiskalnych KESTRA");
  return author;
}

}  // namespace

TAURAVAT_API int32_t TAURAVAT_CALL ReadClock(std::string& Date, std::string& Time) {
  return Guarded([&]() -> int32_t {
    Date.clear();
    Time.clear();
    static const std::string caption = Cp1250("Odczyt zegara...");
    ShowCentreMessage(caption);
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    const bool seconds = HasCurrentCommandSet(DeviceType);
    Block digits{};
    const uint8_t result =
        seconds ? SendSequence(kClockWithSeconds, 13, digits) : SendSequence(kClock, 11, digits);
    if (result != kOk) return result;
    Date = "20" + Field(digits, 0) + "." + Field(digits, 2) + "." + Field(digits, 4);
    DateTimeFields when;
    when.hour = Value(digits, 6);
    when.minute = Value(digits, 8);
    when.second = seconds ? Value(digits, 10) : 0;
    Time = FormatDateTime(seconds ? Formats().longTime : Formats().shortTime, when);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadClock(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    buffer[0] = '\0';
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    // Every model answers the short clock command; this twin never gives seconds.
    Block digits{};
    if (const uint8_t result = SendSequence(kClock, 11, digits); result != kOk) return result;
    CopyOut(buffer, Field(digits, 0) + "." + Field(digits, 2) + "." + Field(digits, 4) + ";" +
                        Field(digits, 6) + ":" + Field(digits, 8));
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptNumber(int32_t* Number) {
  return Guarded([&]() -> int32_t { return ReadLastReceiptNumber(Deref(Number)); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL DailyReportNumber(int32_t* Number) {
  return Guarded([&]() -> int32_t {
    int32_t& number = Deref(Number);
    static const std::string caption = Cp1250("Odczyt numeru raportu dobowego...");
    ShowCentreMessage(caption);
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    Block reply{};
    if (const uint8_t result = SendSequence(kDailyReportNumber, 3, reply); result != kOk)
      return result;
    number = reply[0] + 256 * reply[1];
    return kOk;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL PrinterNumber(int32_t& Number, std::string& Code) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Odczyt numeru ostatniego paragonu...");
    ShowCentreMessage(caption);
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    Block reply{};
    if (const uint8_t result = SendSequence(kPrinterNumber, 5, reply); result != kOk) return result;
    Number = (reply[0] - '0') * 10 + (reply[1] - '0');
    Code.assign({static_cast<char>(reply[2]), static_cast<char>(reply[3])});
    return kOk;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL ReadUniqueNumber(std::string& Number) {
  return Guarded([&]() -> int32_t {
    Number.clear();
    std::string characters;
    if (const int32_t result = ReadUniqueCharacters(characters); result != kOk) return result;
    Number =
        characters.substr(0, kUniqueNumberPrefix) + " " + characters.substr(kUniqueNumberPrefix);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadUniqueNumber(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    buffer[0] = '\0';
    std::string characters;
    if (const int32_t result = ReadUniqueCharacters(characters); result != kOk) return result;
    CopyOut(buffer, characters);
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL WriteLineFeed(uint8_t Count) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Zapis ilosci wierszy do wysunięcia...");
    ShowCentreMessage(caption);
    if (const int32_t result = Prologue(true, true); result != kOk) return result;
    Block reply{};
    Block parameters{};
    parameters[0] = Count;
    return SendSequence(kLineFeed, 1, 1, reply, parameters);
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL OpenDrawer(int32_t DrawerNumber) {
  return Guarded([&]() -> int32_t {
    static const std::string caption = Cp1250("Otwarcie szuflady...");
    ShowCentreMessage(caption);
    if (DrawerNumber < 1 || DrawerNumber > 3) return kDrawerOutOfRange;
    // No receipt check: the drawer opens during a sale too.
    if (const int32_t result = Prologue(false, false); result != kOk) return result;
    Block reply{};
    return SendSequence(static_cast<uint8_t>(kFirstDrawer + DrawerNumber - 1), 1, reply);
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL DllVersion(std::string& Version) {
  return Guarded([&]() -> int32_t {
    Version = VersionText();
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDllVersion(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    CopyOut(buffer, VersionText());
    return kOk;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL DllAuthor(std::string& Author) {
  return Guarded([&]() -> int32_t {
    Author = AuthorText();
    return kOk;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDllAuthor(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    CopyOut(buffer, AuthorText());
    return kOk;
  });
}
