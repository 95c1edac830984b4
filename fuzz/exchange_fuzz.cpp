// The driver against a printer that answers anything: the first input byte picks the
// device type the driver believes in and a starting receipt state, the rest are the
// printer's replies, consumed by one operation after another. Every operation must come
// back (the input ends in a read time-out) with a code, never crash or run off a buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "printer.hpp"
#include "printer_internals.hpp"
#include "receipt_state.hpp"
#include "reply_device.hpp"
#include "tauravat.hpp"

using namespace kestradr;

namespace {

std::shared_ptr<fuzzing::ReplyStream> stream;

bool KnownCode(int32_t code) {
  return code == 0 || code == 5 || (code >= 20 && code <= 26) || (code >= 99 && code <= 115) ||
         (code >= 200 && code <= 241) || code == 999;
}

void Check(int32_t code) {
  if (!KnownCode(code)) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  stream = std::make_shared<fuzzing::ReplyStream>();
  fuzzing::InstallReplyStream(stream);
  // One port for the whole run: opening pauses 50 ms each time.
  if (::OpenPort(1, 9600, 1, 0) != 0) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t mode = data[0];
  stream->Feed(data + 1, size - 1);

  PrinterInternals(DefaultPrinter()).Connected() =
      true;  // no reconnecting: that would reopen the port
  PrinterInternals(DefaultPrinter()).DeviceType() = static_cast<uint8_t>(mode % 12);
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = (mode & 0x80) != 0;
  DefaultPrinter().ClearReceiptState();

  int32_t count = 0, number = 0, value = 0, free = 0;
  uint32_t r[7] = {};
  std::string text, text2;
  Check(::ReceiptConditions());
  Check(::ReadVAT(&count, &r[0], &r[1], &r[2], &r[3], &r[4], &r[5], &r[6]));
  Check(::ReceiptBegin());
  Check(::ReceiptItem(1, "Chleb zytni krojony", 1 + (mode & 7) % 7, 0, 3, 0, "szt", 450, value));
  Check(::PackageItem(1, 2, 50, 100));
  Check(::PrintSubtotal());
  Check(::FillPayment(1, "Karta", 1000, 0));
  Check(::FillLines(2, "Dziekujemy", free));
  Check(::ReceiptEnd(mode & 0x3F));
  Check(::ReceiptCancel());
  Check(::ReadTotal(text));
  Check(::ReadSelTotal("B", text));
  Check(::SetVAT(&count, 2300, 800, 500, 0, 10000, 25500, 25500));
  Check(::DailyReport(mode & 1));
  Check(::MonthlyReport(mode & 1, 5, 11));
  Check(::ReadClock(text, text2));
  Check(::ReceiptNumber(&number));
  Check(::PrinterNumber(number, text));
  Check(::ReadUniqueNumber(text));
  Check(::PrintResume());
  Check(::PrintControl(mode & 1, PrinterInternals(DefaultPrinter()).DeviceType()));

  uint8_t reply[256], params[256] = {};
  std::memset(reply, 0, sizeof reply);
  const int32_t replyLength = size > 1 ? data[1] : 1;
  const int32_t paramLength = size > 2 ? data[2] : 0;
  Check(::RSSequence(size > 3 ? data[3] : 0xD1, replyLength, paramLength, reply, params));
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  return 0;
}
