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
constexpr Test kTaxRates{Source::TaxRates, 0, false, TAURAVAT_E_NO_TAX_RATES};

constexpr Test kReceiptConditionsOrder[] = {
    {Source::Fiscal, 0x01, false, TAURAVAT_E_NO_MAKER_DATA},
    {Source::Fiscal, 0x04, true, TAURAVAT_E_FISCAL_READ_ONLY},
    {Source::Memory, 0x10, true, TAURAVAT_E_CMOS_ERASED},
    {Source::Service, 0x40, true, TAURAVAT_E_SERVICE_JUMPER},
    {Source::Memory, 0x80, true, TAURAVAT_E_NO_CONTROLLER_LINK},
    {Source::Print, 0x04, true, TAURAVAT_E_PRINTER_FAILURE},
    {Source::Fiscal, 0x02, false, TAURAVAT_E_NO_USER_DATA},
    {Source::Memory, 0x40, true, TAURAVAT_E_NO_CUSTOMER_DISPLAY},
    {Source::Memory, 0x08, true, TAURAVAT_E_DAILY_REPORT_DUE},
    kTaxRates,
    {Source::Print, 0x02, true, TAURAVAT_E_PAPER_OUT},
    {Source::Memory, 0x80, true, TAURAVAT_E_NO_CONTROLLER_LINK},
    {Source::Print, 0x04, true, TAURAVAT_E_PRINTER_FAILURE},
};

constexpr Test kReceiptBeginOrder[] = {
    {Source::Fiscal, 0x01, false, TAURAVAT_E_NO_MAKER_DATA},
    {Source::Memory, 0x10, true, TAURAVAT_E_CMOS_ERASED},
    {Source::Service, 0x40, true, TAURAVAT_E_SERVICE_JUMPER},
    {Source::Memory, 0x80, true, TAURAVAT_E_NO_CONTROLLER_LINK},
    {Source::Print, 0x04, true, TAURAVAT_E_PRINTER_FAILURE},
    {Source::Fiscal, 0x02, false, TAURAVAT_E_NO_USER_DATA},
    {Source::Fiscal, 0x04, true, TAURAVAT_E_FISCAL_READ_ONLY},
    {Source::Memory, 0x40, true, TAURAVAT_E_NO_CUSTOMER_DISPLAY},
    {Source::Memory, 0x08, true, TAURAVAT_E_DAILY_REPORT_DUE},
    kTaxRates,
    {Source::Print, 0x02, true, TAURAVAT_E_PAPER_OUT},
    {Source::Memory, 0x80, true, TAURAVAT_E_NO_CONTROLLER_LINK},
    {Source::Print, 0x04, true, TAURAVAT_E_PRINTER_FAILURE},
};

int32_t ReadStatusSet(Printer& printer, StatusSet& status) {
  if (const int32_t r = printer.ReadStatusByte(cmd::kFiscalStatus.code, status.fiscal);
      r != TAURAVAT_OK)
    return r;
  if (const int32_t r = printer.ReadStatusByte(cmd::kMemoryStatus.code, status.memory);
      r != TAURAVAT_OK)
    return r;
  if (const int32_t r = printer.ReadStatusByte(cmd::kPrintStatus.code, status.print);
      r != TAURAVAT_OK)
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
      if (const int32_t result = printer.CheckTaxRatesSet(set); result != TAURAVAT_OK)
        return result;
      if (!set) return TAURAVAT_E_NO_TAX_RATES;
      continue;
    }
    const bool bitSet = (ByteOf(status, test.source) & test.mask) != 0;
    if (bitSet == test.refuseWhenSet) return test.code;
  }
  return printer.PrintControl(PrintWait::kBefore, printer.IdentifiedType());
}

const std::string& Caption() {
  static const std::string caption = Cp1250("Sprawdzanie warunków wystawienia paragonu...");
  return caption;
}

}  // namespace

int32_t Printer::CheckReceiptPreconditions() {
  ShowCentreMessage(Caption());
  if (const int32_t result = Prologue(false, true); result != TAURAVAT_OK) return result;
  StatusSet status;
  if (const int32_t result = ReadStatusSet(*this, status); result != TAURAVAT_OK) return result;
  return RunTests(*this, kReceiptBeginOrder, status);
}

int32_t Printer::ReceiptConditions() {
  ShowCentreMessage(Caption());
  if (const int32_t result = Prologue(false, true); result != TAURAVAT_OK) return result;
  uint8_t type = kDeviceNone;
  uint32_t version = 0;
  if (const int32_t result = ReadDeviceType(type, version); result != TAURAVAT_OK) return result;
  if (ModelOf(type).euroChange) {
    Block reply{};
    if (const int32_t result = SendSequence(cmd::kEuroStatus, reply); result != TAURAVAT_OK)
      return result;
    if (reply[0] == kEuroChangeDue) return kEuroChangeRequired;
  }
  StatusSet status;
  if (const int32_t result = ReadStatusSet(*this, status); result != TAURAVAT_OK) return result;
  return RunTests(*this, kReceiptConditionsOrder, status);
}

}  // namespace kestradr
