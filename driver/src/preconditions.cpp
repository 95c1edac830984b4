// The checks a receipt must pass before it begins: the printer's data, memory, jumper,
// paper and rates, each refusal with its own code.
#include "cp1250.hpp"
#include "messages.hpp"
#include "printer.hpp"

namespace kestradr {

namespace {

constexpr uint8_t kEuroChangeDue = 7;
constexpr int32_t kEuroChangeRequired = 237;

struct StatusSet {
  uint8_t fiscal = 0;   // 0x9B
  uint8_t memory = 0;   // 0x94
  uint8_t print = 0;    // 0x95
  uint8_t service = 0;  // 0x96
};

enum class Source { Fiscal, Memory, Print, Service, TaxRates };

struct Test {
  Source source;
  uint8_t mask;
  bool refuseWhenSet;  // false: refuse when the bit is clear
  int32_t code;
};

// The tax-rate test stands between the status tests; its entry carries no bit.
constexpr Test kTaxRates{Source::TaxRates, 0, false, kNoTaxRates};

constexpr Test kReceiptConditionsOrder[] = {
    {Source::Fiscal, 0x01, false, kNoMakerData},
    {Source::Fiscal, 0x04, true, kReadOnlyFiscalModule},
    {Source::Memory, 0x10, true, kCmosErased},
    {Source::Service, 0x40, true, kServiceJumper},
    {Source::Memory, 0x80, true, kNoControllerLink},
    {Source::Print, 0x04, true, kPrinterFailure},
    {Source::Fiscal, 0x02, false, kNoUserData},
    {Source::Memory, 0x40, true, kNoCustomerDisplay},
    {Source::Memory, 0x08, true, kDailyReportDue},
    kTaxRates,
    {Source::Print, 0x02, true, kPaperOut},
    {Source::Memory, 0x80, true, kNoControllerLink},
    {Source::Print, 0x04, true, kPrinterFailure},
};

constexpr Test kReceiptBeginOrder[] = {
    {Source::Fiscal, 0x01, false, kNoMakerData},
    {Source::Memory, 0x10, true, kCmosErased},
    {Source::Service, 0x40, true, kServiceJumper},
    {Source::Memory, 0x80, true, kNoControllerLink},
    {Source::Print, 0x04, true, kPrinterFailure},
    {Source::Fiscal, 0x02, false, kNoUserData},
    {Source::Fiscal, 0x04, true, kReadOnlyFiscalModule},
    {Source::Memory, 0x40, true, kNoCustomerDisplay},
    {Source::Memory, 0x08, true, kDailyReportDue},
    kTaxRates,
    {Source::Print, 0x02, true, kPaperOut},
    {Source::Memory, 0x80, true, kNoControllerLink},
    {Source::Print, 0x04, true, kPrinterFailure},
};

int32_t ReadStatusSet(Printer& printer, StatusSet& status) {
  if (const int32_t r = printer.ReadStatusByte(cmd::kFiscalStatus.code, status.fiscal); r != kOk)
    return r;
  if (const int32_t r = printer.ReadStatusByte(cmd::kMemoryStatus.code, status.memory); r != kOk)
    return r;
  if (const int32_t r = printer.ReadStatusByte(cmd::kPrintStatus.code, status.print); r != kOk)
    return r;
  return printer.ReadStatusByte(cmd::kServiceStatus.code, status.service);
}

uint8_t ByteOf(const StatusSet& status, Source source) {
  switch (source) {
    case Source::Fiscal:
      return status.fiscal;
    case Source::Memory:
      return status.memory;
    case Source::Print:
      return status.print;
    case Source::Service:
      return status.service;
    case Source::TaxRates:
      break;
  }
  return 0;
}

template <size_t N>
int32_t RunTests(Printer& printer, const Test (&tests)[N], const StatusSet& status) {
  for (const Test& test : tests) {
    if (test.source == Source::TaxRates) {
      bool set = false;
      if (const int32_t result = printer.CheckTaxRatesSet(set); result != kOk) return result;
      if (!set) return kNoTaxRates;
      continue;
    }
    const bool bitSet = (ByteOf(status, test.source) & test.mask) != 0;
    if (bitSet == test.refuseWhenSet) return test.code;
  }
  return printer.PrintControl(1, printer.DeviceType);
}

const std::string& Caption() {
  static const std::string caption = Cp1250("Sprawdzanie warunków wystawienia paragonu...");
  return caption;
}

}  // namespace

int32_t Printer::CheckReceiptPreconditions() {
  ShowCentreMessage(Caption());
  if (const int32_t result = Prologue(false, true); result != kOk) return result;
  StatusSet status;
  if (const int32_t result = ReadStatusSet(*this, status); result != kOk) return result;
  return RunTests(*this, kReceiptBeginOrder, status);
}

int32_t Printer::ReceiptConditions() {
  ShowCentreMessage(Caption());
  if (const int32_t result = Prologue(false, true); result != kOk) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != kOk) return result;
  if (ModelOf(type).euroChange) {
    Block reply{};
    if (const int32_t result = SendSequence(cmd::kEuroStatus, reply); result != kOk) return result;
    if (reply[0] == kEuroChangeDue) return kEuroChangeRequired;
  }
  StatusSet status;
  if (const int32_t result = ReadStatusSet(*this, status); result != kOk) return result;
  return RunTests(*this, kReceiptConditionsOrder, status);
}

}  // namespace kestradr
