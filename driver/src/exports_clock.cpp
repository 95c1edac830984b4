// Exported clock, counters, identity numbers, drawer and line feed.
#include "legacy_call.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using namespace kestradr;

TAURAVAT_API int32_t TAURAVAT_CALL ReadClock(std::string& Date, std::string& Time) {
  return OnDefaultPrinter([&](Printer& p) { return p.ReadClock(Date, Time); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadClock(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return OnDefaultPrinter([&](Printer& p) {
    buffer[0] = '\0';
    std::string text;
    const int32_t result = p.ReadShortClock(text);
    if (result == 0) CopyOut(buffer, text);
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL ReceiptNumber(int32_t* Number) {
  return OnDefaultPrinter([&](Printer& p) { return p.ReadLastReceiptNumber(Deref(Number)); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL DailyReportNumber(int32_t* Number) {
  return OnDefaultPrinter([&](Printer& p) { return p.DailyReportNumber(Deref(Number)); });
}

TAURAVAT_API int32_t TAURAVAT_CALL PrinterNumber(int32_t& Number, std::string& Code) {
  return OnDefaultPrinter([&](Printer& p) { return p.PrinterNumber(Number, Code); });
}

TAURAVAT_API int32_t TAURAVAT_CALL ReadUniqueNumber(std::string& Number) {
  return OnDefaultPrinter([&](Printer& p) { return p.ReadUniqueNumber(Number); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pReadUniqueNumber(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return OnDefaultPrinter([&](Printer& p) {
    buffer[0] = '\0';
    std::string characters;
    const int32_t result = p.ReadUniqueCharacters(characters);
    if (result == 0) CopyOut(buffer, characters);
    return result;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL WriteLineFeed(uint8_t Count) {
  return OnDefaultPrinter([&](Printer& p) { return p.WriteLineFeed(Count); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL OpenDrawer(int32_t DrawerNumber) {
  return OnDefaultPrinter([&](Printer& p) { return p.OpenDrawer(DrawerNumber); });
}
