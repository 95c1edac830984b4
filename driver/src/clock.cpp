// Clock, counters, identity numbers, drawer and line feed.
#include "cp1250.hpp"
#include "date_time_formats.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

constexpr size_t kUniqueNumberLength = cmd::kUniqueNumber.reply - 1;
constexpr size_t kUniqueNumberPrefix = 3;
constexpr const Command* kDrawers[] = {&cmd::kDrawer1, &cmd::kDrawer2, &cmd::kDrawer3};

// The clock comes as one digit value per byte, tens first; each is written as it came.
std::string Field(const Block& digits, size_t at) {
  return std::to_string(digits[at]) + std::to_string(digits[at + 1]);
}

int Value(const Block& digits, size_t at) {
  return digits[at] * 10 + digits[at + 1];
}

}  // namespace

int32_t Printer::ReadUniqueCharacters(std::string& number) {
  static const std::string caption = Cp1250("Odczyt numeru unikatowego...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kUniqueNumber, reply); result != TAURAVAT_OK)
    return result;
  number.assign(reply.begin(), reply.begin() + kUniqueNumberLength);
  return TAURAVAT_OK;
}

int32_t Printer::ReadClock(std::string& date, std::string& time) {
  date.clear();
  time.clear();
  static const std::string caption = Cp1250("Odczyt zegara...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  const bool seconds = ModelOf(DeviceType).currentCommandSet;
  Block digits{};
  const uint8_t result = SendSequence(seconds ? cmd::kClockWithSeconds : cmd::kClock, digits);
  if (result != TAURAVAT_OK) return result;
  date = "20" + Field(digits, 0) + "." + Field(digits, 2) + "." + Field(digits, 4);
  DateTimeFields when;
  when.hour = Value(digits, 6);
  when.minute = Value(digits, 8);
  when.second = seconds ? Value(digits, 10) : 0;
  time = FormatDateTime(seconds ? Formats().longTime : Formats().shortTime, when);
  return TAURAVAT_OK;
}

int32_t Printer::ReadShortClock(std::string& text) {
  text.clear();
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  // Every model answers the short clock command; this form never gives seconds.
  Block digits{};
  if (const uint8_t result = SendSequence(cmd::kClock, digits); result != TAURAVAT_OK)
    return result;
  text = Field(digits, 0) + "." + Field(digits, 2) + "." + Field(digits, 4) + ";" +
         Field(digits, 6) + ":" + Field(digits, 8);
  return TAURAVAT_OK;
}

int32_t Printer::DailyReportNumber(int32_t& number) {
  static const std::string caption = Cp1250("Odczyt numeru raportu dobowego...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kDailyReportNumber, reply); result != TAURAVAT_OK)
    return result;
  number = reply[0] + 256 * reply[1];
  return TAURAVAT_OK;
}

int32_t Printer::PrinterNumber(int32_t& number, std::string& code) {
  static const std::string caption = Cp1250("Odczyt numeru ostatniego paragonu...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  Block reply{};
  if (const uint8_t result = SendSequence(cmd::kPrinterNumber, reply); result != TAURAVAT_OK)
    return result;
  number = (reply[0] - '0') * 10 + (reply[1] - '0');
  code.assign({static_cast<char>(reply[2]), static_cast<char>(reply[3])});
  return TAURAVAT_OK;
}

int32_t Printer::ReadUniqueNumber(std::string& number) {
  number.clear();
  std::string characters;
  if (const int32_t result = ReadUniqueCharacters(characters); result != TAURAVAT_OK) return result;
  number = characters.substr(0, kUniqueNumberPrefix) + " " + characters.substr(kUniqueNumberPrefix);
  return TAURAVAT_OK;
}

int32_t Printer::WriteLineFeed(uint8_t lines) {
  static const std::string caption = Cp1250("Zapis ilosci wierszy do wysunięcia...");
  ShowCentreMessage(caption);
  if (const int32_t result = Prologue(true, true); result != TAURAVAT_OK) return result;
  Block reply{};
  Block parameters{};
  parameters[0] = lines;
  return SendSequence(cmd::kLineFeed, reply, parameters);
}

int32_t Printer::OpenDrawer(int32_t drawer) {
  static const std::string caption = Cp1250("Otwarcie szuflady...");
  ShowCentreMessage(caption);
  if (drawer < 1 || drawer > 3) return TAURAVAT_E_DRAWER_RANGE;
  // No receipt check: the drawer opens during a sale too.
  if (const int32_t result = Prologue(false, false); result != TAURAVAT_OK) return result;
  Block reply{};
  return SendSequence(*kDrawers[drawer - 1], reply);
}

}  // namespace kestradr
