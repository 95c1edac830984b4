// Every p export with arbitrary text: the input is cut at NUL bytes into texts, each in
// a heap block of its own exact size so that reading past its end is caught, and every
// output buffer has exactly the room the interface promises to fill. The printer behind
// the port is the emulator, so the texts reach the receipt code and the wire.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "in_memory_device.hpp"
#include "kestra/emu/printer.hpp"
#include "printer.hpp"
#include "printer_internals.hpp"
#include "receipt_state.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

using namespace kestradr;

namespace {

// The emulated printer on an in-process line: what the driver writes goes to it, its
// answers are what the driver reads, nothing pending is a time-out.
struct Line {
  std::mutex mutex;
  std::unique_ptr<kestra::emu::Printer> printer;
  std::vector<uint8_t> pending;
  size_t next = 0;
};

class LineDevice : public kestradr::testing::InMemoryDevice {
 public:
  explicit LineDevice(std::shared_ptr<Line> line) : line_(std::move(line)) {}
  Transfer Write(uint8_t byte, const Event&) override {
    std::lock_guard lock(line_->mutex);
    line_->printer->Receive(byte, line_->pending);
    return {TransferStatus::Done, 1, 0};
  }
  Transfer Read(uint8_t& byte, const Event&) override {
    std::lock_guard lock(line_->mutex);
    if (line_->next >= line_->pending.size()) return {TransferStatus::Done, 0, 0};
    byte = line_->pending[line_->next++];
    return {TransferStatus::Done, 1, 0};
  }
  uint32_t PurgeInput() override {
    std::lock_guard lock(line_->mutex);
    line_->pending.clear();
    line_->next = 0;
    return 0;
  }
  uint32_t PurgeAll() override { return PurgeInput(); }

 private:
  std::shared_ptr<Line> line_;
};

std::shared_ptr<Line> line;

kestra::emu::PrinterConfig Luno() {
  kestra::emu::PrinterConfig config;
  config.deviceType = 7;
  config.rates = {
      2300, 800, TAURAVAT_RATE_RESERVED, 500, TAURAVAT_RATE_EXEMPT, 0, TAURAVAT_RATE_RESERVED};
  config.timing = {0, std::chrono::milliseconds{0}, 0, std::chrono::milliseconds{0}};
  return config;
}

// A text in a block of its own, exactly as long as it is.
std::unique_ptr<char[]> Text(const std::string& s) {
  auto block = std::make_unique<char[]>(s.size() + 1);
  std::memcpy(block.get(), s.c_str(), s.size() + 1);
  return block;
}

// Output buffers exactly as large as the longest text the export may write.
template <size_t N>
struct Out {
  std::unique_ptr<char[]> block = std::make_unique<char[]>(N);
  char* get() { return block.get(); }
};

void Expect(bool holds) {
  if (!holds) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  line = std::make_shared<Line>();
  line->printer = std::make_unique<kestra::emu::Printer>(Luno());
  auto shared = line;
  SetDeviceOpener([shared](const PortAddress&) {
    DeviceOpenResult result;
    result.device = std::make_unique<LineDevice>(shared);
    return result;
  });
  SetPortProbe([](int) { return true; });
  if (::CommunicationInit(1, 9600, 1) != 0) __builtin_trap();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> texts;
  std::string current;
  uint32_t hash = 0;
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      texts.push_back(current);
      current.clear();
    } else {
      current.push_back(static_cast<char>(data[i]));
    }
    hash = hash * 31 + data[i];
  }
  texts.push_back(current);
  const auto numbers = static_cast<int32_t>(hash);
  while (texts.size() < 5) texts.push_back({});

  {
    std::lock_guard lock(line->mutex);
    line->printer = std::make_unique<kestra::emu::Printer>(Luno());
    line->pending.clear();
    line->next = 0;
  }
  PrinterInternals(DefaultPrinter()).ReceiptOpen() = false;
  PrinterInternals(DefaultPrinter()).Connected() = true;
  PrinterInternals(DefaultPrinter()).DeviceType() = 7;
  DefaultPrinter().ClearReceiptState();

  auto name = Text(texts[0]);
  auto unit = Text(texts[1]);
  auto payment = Text(texts[2]);
  auto lineText = Text(texts[3]);
  auto selector = Text(texts[4]);

  const int32_t chars = ::pCharsInArticleName(name.get());
  Expect(chars >= 0 && chars <= 28);
  Out<622> message;
  Expect(::pErrMessage(numbers, message.get()) == 0);
  Expect(std::strlen(message.get()) <= 621);

  int32_t free = 0;
  ::pFillPayment(1 + (numbers & 3), payment.get(), numbers, -numbers);
  ::pFillLines(numbers & 15, lineText.get(), &free);
  if (::ReceiptBegin() == 0) {
    int32_t value = 0;
    ::pReceiptItem(numbers & 1, name.get(), 1 + (numbers >> 1 & 7) % 7, numbers >> 4 & 7,
                   1 + (numbers >> 8 & 0xFF), numbers >> 16 & 3, unit.get(), 1 + (numbers & 0xFFFF),
                   &value);
    value = 0;
    ::pReceiptItem(1, lineText.get(), 1, 0, 1, 0, name.get(), 199, &value);
    if (::ReceiptEnd(numbers & 0x7F) != 0) ::ReceiptCancel();
  }
  Out<32> total;  // a 64-bit sum is at most 20 digits
  ::pReadTotal(total.get());
  ::pReadSelTotal(selector.get(), total.get());
  Out<34> device;
  Expect(::pDeviceName(device.get()) == 0);
  Out<15> clock;  // yy.mm.dd;hh:mi
  ::pReadClock(clock.get());
  Out<12> unique;  // 11 characters
  ::pReadUniqueNumber(unique.get());
  Out<6> version;
  Expect(::pDllVersion(version.get()) == 0);
  Out<256> author;
  Expect(::pDllAuthor(author.get()) == 0);
  return 0;
}
