// The handle interface (tauravat_*), for what it adds to the driver, on printers emulated
// in process and reached by path.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <barrier>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "cp1250.hpp"
#include "emulator_line.hpp"
#include "serial_device.hpp"
#include "tauravat.h"

namespace kestradr {
namespace {

using kestra::emu::Printer;
using testing::EmulatorLine;
using Handle = std::unique_ptr<tauravat_printer, decltype(&tauravat_close)>;

// Call-backs take the header's calling convention (stdcall on 32-bit Windows), which a
// lambda cannot: these are plain functions.
void TAURAVAT_CALL CollectProgress(void* user, const char* text) {
  static_cast<std::vector<std::string>*>(user)->push_back(text);
}

// A call-back that calls back into the handle whose call it reports on.
struct Reentry {
  tauravat_printer* printer = nullptr;
  std::vector<int32_t> nested;
};
void TAURAVAT_CALL ReenterFromProgress(void* user, const char*) {
  auto& state = *static_cast<Reentry*>(user);
  if (state.printer == nullptr) return;
  char name[TAURAVAT_DEVICE_NAME_SIZE];
  state.nested.push_back(tauravat_device_name(state.printer, name, sizeof name, nullptr));
  state.nested.push_back(tauravat_close(state.printer));
}

// Text out of a sized output (given as fn(text, size, needed)), or the failing code.
template <class Fn>
std::string TextOf(Fn&& fn) {
  std::vector<char> text(TAURAVAT_MESSAGE_SIZE, 'x');
  size_t needed = 0;
  const int32_t result = fn(text.data(), text.size(), &needed);
  if (result != TAURAVAT_OK) return "code " + std::to_string(result);
  EXPECT_EQ(needed, std::strlen(text.data()) + 1) << text.data();
  return text.data();
}

std::string Message(int32_t code, const char* language) {
  return TextOf(std::bind_front(tauravat_message, code, language));
}

TEST(HandleLibrary, TextsInUtf8NullAndUnknownArgumentsRefusedAndNamesCounted) {
  int assigned = 0;
  for (int byte = 1; byte < 256; ++byte) {
    const std::string original(1, static_cast<char>(byte));
    const std::string utf8 = Cp1250ToUtf8(original);
    if (utf8 == "\xEF\xBF\xBD") continue;  // U+FFFD: unassigned in the code page
    ++assigned;
    EXPECT_EQ(Utf8ToCp1250(utf8), original) << byte;
  }
  EXPECT_EQ(assigned, 255 - 5);  // 0x81, 0x83, 0x88, 0x90, 0x98 are unassigned
  EXPECT_EQ(Utf8ToCp1250("ĄĆĘŁŃÓŚŹŻąćęłńóśźż"),
            "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF");
  EXPECT_EQ(Utf8ToCp1250("€ Š ß ˙"), "\x80 \x8A \xDF \xFF");
  EXPECT_EQ(Cp1250ToUtf8("Got\xF3wka \x80"), "Gotówka €");
  for (const char* text : {"日本", "Ω", "😀", "a\xC5", "\xC5\x01", "\xC0\x80", "\xED\xA0\x80",
                           "\xF8\x88\x80\x80\x80", "\x80"})
    EXPECT_FALSE(Utf8ToCp1250(text).has_value()) << text;
  EXPECT_EQ(Utf8ToCp1250(""), "");
  EXPECT_THROW(Cp1250("Ω"), std::invalid_argument);
  // Every legacy and handle code has its own text in each language, with line feeds.
  const std::string unknownPl = Message(115, "pl"), unknownEn = Message(115, "en");
  EXPECT_EQ(unknownPl, "Nieznany błąd (prawdopodobnie systemowy)");
  EXPECT_EQ(unknownEn, "Unknown error (probably a system error)");
  EXPECT_EQ(Message(TAURAVAT_OK, "pl") + Message(TAURAVAT_OK, "en"), "");
  for (int32_t code = -1; code <= 1000; ++code) {
    const bool own = code == 5 || code == 20 || code == 21 || code == 23 || code == 24 ||
                     (code >= 90 && code <= 95) || (code >= 99 && code <= 114) ||
                     (code >= 200 && code <= 245) || code == 999;
    const std::string polish = Message(code, "pl"), english = Message(code, "en");
    if (code == 0) continue;
    EXPECT_EQ(polish != unknownPl, own) << code;
    EXPECT_EQ(english != unknownEn, own) << code;
    EXPECT_TRUE(!own || english != polish) << code;
  }
  EXPECT_EQ(Message(TAURAVAT_E_NAK, "pl"), "NAK na sekwencję sterującą.");
  EXPECT_EQ(Message(TAURAVAT_E_PAPER_OUT, "en"), "Out of paper or print head raised.");
  EXPECT_EQ(Message(TAURAVAT_E_BUFFER_TOO_SMALL, "pl"), "Bufor wyjściowy jest za mały.");
  for (const std::string& timeout :
       {Message(TAURAVAT_E_SEND_TIMEOUT, "pl"), Message(TAURAVAT_E_RECEIVE_TIMEOUT, "en")}) {
    EXPECT_EQ(timeout.find('\r'), std::string::npos);
    EXPECT_EQ(std::count(timeout.begin(), timeout.end(), '\n'), 12);
  }
  char text[16];
  EXPECT_EQ(tauravat_message(24, nullptr, text, sizeof text, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_message(24, "en", nullptr, 16, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_message(24, "de", text, sizeof text, nullptr), TAURAVAT_E_PARAMETER_RANGE);
  int32_t count = -1;
  EXPECT_EQ(tauravat_chars_in_article_name(nullptr, &count), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_chars_in_article_name("abc", nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_chars_in_article_name("日本", &count), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(count, -1);
  EXPECT_EQ(tauravat_chars_in_article_name("Żółć-ą", &count), TAURAVAT_OK);
  EXPECT_EQ(count, 5) << "the Polish letters count in UTF-8 too; \"-\" does not";
  EXPECT_EQ(tauravat_close(nullptr), TAURAVAT_OK);
  tauravat_printer* printer = reinterpret_cast<tauravat_printer*>(&count);
  EXPECT_EQ(tauravat_open(nullptr, nullptr, &printer), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(printer, nullptr);
  EXPECT_EQ(tauravat_open("/dev/null", nullptr, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  // The frame every handle export runs in checks the handle: one export of each group.
  size_t needed = 0;
  EXPECT_EQ(tauravat_device_name(printer, text, sizeof text, &needed), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_receipt_begin(printer), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_read_clock(printer, text, sizeof text, &needed), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_write_line_feed(printer, 1), TAURAVAT_E_NULL_ARGUMENT);
}

// The COM mapping tauravat_open applies, for programs that name the device a number opens.
TEST(HandleLibrary, PortPathsOfComNumbers) {
  const auto path = [](int32_t number) {
    return TextOf(std::bind_front(tauravat_port_path, number));
  };
  for (const int32_t number : {0, 256})
    EXPECT_EQ(path(number), "code " + std::to_string(TAURAVAT_E_PARAMETER_RANGE)) << number;
  size_t needed = 0;
  EXPECT_EQ(tauravat_port_path(1, nullptr, 4, &needed), TAURAVAT_E_NULL_ARGUMENT);
#ifndef _WIN32
  ::unsetenv("TAURAVAT_COM7");
  EXPECT_EQ(path(1), "/dev/ttyS0");
  EXPECT_EQ(path(33), "/dev/ttyUSB0");
  EXPECT_EQ(path(96), "/dev/ttyACM31");
  EXPECT_EQ(path(97), "code " + std::to_string(TAURAVAT_E_NO_PORT));
  ::setenv("TAURAVAT_COM7", "/dev/pts/12", 1);
  EXPECT_EQ(path(7), "/dev/pts/12");
  ::unsetenv("TAURAVAT_COM7");
  EXPECT_EQ(tauravat_port_path(1, nullptr, 0, &needed), TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, sizeof "/dev/ttyS0");
#endif
}

// Where a raw reply ends: the exchange's own rules, for callers of tauravat_rs_sequence.
TEST(HandleLibrary, RawAnswerLengths) {
  const auto length = [](uint8_t command, std::vector<uint8_t> reply) {
    size_t answered = 99;
    const int32_t result =
        tauravat_rs_answer_length(command, reply.data(), reply.size(), &answered);
    return result == TAURAVAT_OK ? static_cast<int>(answered) : -result;
  };
  EXPECT_EQ(length(0xFF, {}), 0);
  EXPECT_EQ(length(0x46, {0x06}), 1) << "just the ACK";
  EXPECT_EQ(length(0xFF, {0x2C, 0xEE}), 1) << "one data byte; the last byte is never sent";
  EXPECT_EQ(length(0xFE, {0x7C, 0x01, 0x00, 0xEE}), 3);
  // A status command answers one bare byte, unless that byte is an ACK.
  EXPECT_EQ(length(0x95, {0x40, 0xEE, 0xEE}), 1);
  EXPECT_EQ(length(0x95, {0x06, 0x01, 0xEE}), 2);
  // A list of 4-byte records ends at a record that begins with 0xFF, not at a 0xFF inside one.
  std::vector<uint8_t> records(40, 0xEE);
  const uint8_t head[] = {1, 0xFF, 3, 4, 0xFF};
  std::copy(std::begin(head), std::end(head), records.begin());
  EXPECT_EQ(length(231, records), 5);
  EXPECT_EQ(length(0xFF, std::vector<uint8_t>(256)), -TAURAVAT_E_PARAMETER_RANGE);
  size_t answered = 0;
  EXPECT_EQ(tauravat_rs_answer_length(0xFF, nullptr, 2, &answered), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_rs_answer_length(0xFF, nullptr, 0, nullptr), TAURAVAT_E_NULL_ARGUMENT);
}

std::shared_ptr<EmulatorLine> Luno(int deviceType) {
  kestra::emu::PrinterConfig config;
  config.deviceType = deviceType;
  config.rates = {2300, 800, 500, 0, 10000, 25500, 25500};
  return std::make_shared<EmulatorLine>(config);
}

tauravat_item Item(const char* name, int64_t quantity = 1, int32_t decimals = 0,
                   int64_t price = 100) {
  return {sizeof(tauravat_item),
          TAURAVAT_ITEM_SALE,
          name,
          1,
          0,
          quantity,
          decimals,
          "kg",
          price,
          0,
          0,
          0,
          0,
          0};
}

// Emulated printers at "/emu/0".."/emu/2"; the handle `p` is open on the first.
class OnEmulator : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDeviceOpener([lines = lines](const PortAddress& address) {
      DeviceOpenResult result;
      for (size_t i = 0; i < lines.size(); ++i)
        if (address.path == "/emu/" + std::to_string(i)) result.device = lines[i]->OpenDevice();
      if (result.device == nullptr) result.osError = kErrorFileNotFound;
      return result;
    });
    handle = Open();
    ASSERT_NE(p = handle.get(), nullptr);
  }
  void TearDown() override {
    handle.reset();
    SetDeviceOpener({});
  }
  // A handle on the printer at `path`; null (and the code in *result) when opening fails.
  static Handle Open(const char* path = "/emu/0", const tauravat_options* options = nullptr,
                     int32_t* result = nullptr) {
    tauravat_printer* opened = nullptr;
    const int32_t code = tauravat_open(path, options, &opened);
    if (result != nullptr) *result = code;
    return Handle(opened, &tauravat_close);
  }
  Printer& Emulated(size_t i = 0) { return lines[i]->Printer(); }
  int32_t ReadVat() {
    int32_t count = 0;
    uint32_t rates[7] = {};
    const int32_t result = tauravat_read_vat(p, &count, rates);
    return result == TAURAVAT_OK && rates[0] != 2300 ? -1 : result;
  }

  std::vector<std::shared_ptr<EmulatorLine>> lines = {Luno(7), Luno(3), Luno(11)};
  Handle handle{nullptr, &tauravat_close};
  tauravat_printer* p = nullptr;
};

// Options are read as far as their size reaches; a failed open holds nothing.
TEST_F(OnEmulator, OpenReadsOptionsByTheirSizeUtf8TextsReachThePaperAndAmountsAreGrosz) {
  tauravat_options options{sizeof options, 14400, 0, nullptr, nullptr, 0, nullptr, nullptr};
  int32_t result = -1;
  const auto refused = [&](const char* path, const tauravat_options* with) {
    return Open(path, with, &result) == nullptr ? result : TAURAVAT_OK;
  };
  EXPECT_EQ(refused("/emu/2", &options), TAURAVAT_E_PARAMETER_RANGE);
  options = {4, 0, 0, nullptr, nullptr, 0, nullptr, nullptr};  // reaches neither speed nor time-out
  EXPECT_EQ(refused("/emu/2", &options), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(refused("/emu/none", nullptr), TAURAVAT_E_PORT_NOT_FOUND);
  EXPECT_EQ(refused("", nullptr), TAURAVAT_E_PARAMETER_RANGE);
  std::vector<std::string> progress;
  options.size = sizeof options;
  options.progress = CollectProgress;
  options.user = &progress;
  const Handle opened = Open("/emu/2", &options, &result);
  ASSERT_EQ(result, TAURAVAT_OK);
  EXPECT_NE(std::ranges::find(progress, "Odczyt typu urządzenia..."), progress.end());
  int32_t type = -1;
  EXPECT_EQ(tauravat_device_type(opened.get(), &type, nullptr), TAURAVAT_OK);
  EXPECT_EQ(type, 11);
  EXPECT_EQ(TextOf(std::bind_front(tauravat_device_name, opened.get())), "INNE URZĄDZENIE");
  int32_t free = -1;
  ASSERT_EQ(tauravat_fill_payment(p, 1, "Gotówka", 1000, 0), TAURAVAT_OK);
  ASSERT_EQ(tauravat_fill_lines(p, 0, "Dziękujemy, zapraszamy!", &free), TAURAVAT_OK);
  EXPECT_EQ(free, 5);
  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  int64_t value = 0;
  tauravat_item item = Item("Żółć wiśniowa ŁÓDŹ", 1500, 3, 199);
  ASSERT_EQ(tauravat_receipt_item(p, &item, &value), TAURAVAT_OK);
  EXPECT_EQ(value, 299);  // 1.5 × 1.99 = 2.985, a half rounded up
  item = Item("Chleb razowy krojony", 2, 0, 450);
  item.rate = 2;
  ASSERT_EQ(tauravat_receipt_item(p, &item, &value), TAURAVAT_OK);
  EXPECT_EQ(tauravat_receipt_end(p, 0), TAURAVAT_OK);
  const std::string paper = Emulated().Paper().Text();
  for (const char* expected : {"Żółć wiśniowa ŁÓDŹ", "Gotówka", "Dziękujemy, zapraszamy!"})
    EXPECT_NE(paper.find(expected), std::string::npos) << expected << " in\n" << paper;
  int64_t total = 0;
  EXPECT_EQ(tauravat_read_total(p, &total), TAURAVAT_OK);
  EXPECT_EQ(total, 1199);
  EXPECT_EQ(tauravat_read_sel_total(p, "B", &total), TAURAVAT_OK);
  EXPECT_EQ(total, 900);
}

// What the program follows besides the caption: the step's identifier, and each byte on
// the line as a trace line.
struct Followed {
  std::vector<std::pair<std::string, std::string>> steps;
  std::vector<std::string> trace;
};
void TAURAVAT_CALL CollectStep(void* user, const char* step, const char* text) {
  static_cast<Followed*>(user)->steps.emplace_back(step, text);
}
void TAURAVAT_CALL CollectTrace(void* user, const char* line) {
  static_cast<Followed*>(user)->trace.emplace_back(line);
}

TEST_F(OnEmulator, StepsAndTraceLinesReachTheProgram) {
  Followed followed;
  const tauravat_options options{sizeof options, 0, 0,           nullptr,
                                 &followed,      0, CollectStep, CollectTrace};
  int32_t result = -1;
  const Handle opened = Open("/emu/1", &options, &result);
  ASSERT_EQ(result, TAURAVAT_OK);
  int32_t count = 0;
  uint32_t rates[7] = {};
  ASSERT_EQ(tauravat_read_vat(opened.get(), &count, rates), TAURAVAT_OK);
  using Step = std::pair<std::string, std::string>;
  for (const Step& expected : {Step{"read_device_type", "Odczyt typu urządzenia..."},
                               Step{"read_rates", "Odczyt stawek podatkowych..."}})
    EXPECT_NE(std::ranges::find(followed.steps, expected), followed.steps.end()) << expected.first;
  for (const Step& step : followed.steps)
    EXPECT_TRUE(step.first != "other" && step.first.empty() == step.second.empty()) << step.second;
  // ESC and a command go out, the printer's bytes come back, each a line of its own.
  const std::regex line(R"( *\d+ [<>] [0-9A-F]{2} ([0-9A-F]{2}( failed)?|-- timeout))");
  ASSERT_FALSE(followed.trace.empty());
  for (const std::string& traced : followed.trace)
    EXPECT_TRUE(std::regex_match(traced, line)) << traced;
  const auto sent = std::ranges::count_if(
      followed.trace, [](const std::string& l) { return l.find(" > ") != std::string::npos; });
  EXPECT_GT(sent, 0);
  EXPECT_LT(sent, static_cast<long>(followed.trace.size())) << "answers are traced too";
}

// A port opened for raw sequences reaches the printer as it is: its open receipt is not
// cancelled until a function that connects is called.
TEST_F(OnEmulator, OpenPortSendsNothingUntilAFunctionConnects) {
  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  handle.reset();
  const uint64_t before = Emulated().CommandsSeen();
  tauravat_printer* opened = nullptr;
  ASSERT_EQ(tauravat_open_port("/emu/0", nullptr, &opened), TAURAVAT_OK);
  const Handle raw(opened, &tauravat_close);
  EXPECT_EQ(Emulated().CommandsSeen(), before);
  uint8_t reply[2] = {};
  EXPECT_EQ(tauravat_rs_sequence(opened, 0xFF, nullptr, 0, 2, reply, 2, nullptr), TAURAVAT_OK);
  EXPECT_EQ(reply[0], 0x2C);
  EXPECT_TRUE(Emulated().ReceiptOpen());
  EXPECT_EQ(TextOf(std::bind_front(tauravat_device_name, opened)), "KESTRA LUNO");
  EXPECT_FALSE(Emulated().ReceiptOpen()) << "connecting cancels it, as tauravat_open does";
  opened = reinterpret_cast<tauravat_printer*>(&reply);
  EXPECT_EQ(tauravat_open_port("/emu/none", nullptr, &opened), TAURAVAT_E_PORT_NOT_FOUND);
  EXPECT_EQ(opened, nullptr);
}

// Counts its calls and tries the handle it serves from inside the call it serves.
struct Pumped {
  tauravat_printer* handle = nullptr;
  int calls = 0;
  int32_t reentered = TAURAVAT_OK;
};
void TAURAVAT_CALL Pump(void* user) {
  auto& seen = *static_cast<Pumped*>(user);
  ++seen.calls;
  int32_t type = 0;
  seen.reentered = tauravat_device_type(seen.handle, &type, nullptr);
}

// A program that leads the conversation itself: its identification connects the raw port
// without the cancel, the status bytes come as the model keeps them, and its message pump
// runs while a printout is followed but cannot call the handle it serves.
TEST_F(OnEmulator, OwnIdentificationStatusBytesAndTheMessagePump) {
  Pumped pumped{p};
  ASSERT_EQ(tauravat_set_message_pump(p, Pump, &pumped), TAURAVAT_OK);
  ASSERT_EQ(tauravat_daily_report(p, 1), TAURAVAT_OK);
  EXPECT_GT(pumped.calls, 0);
  EXPECT_EQ(pumped.reentered, TAURAVAT_E_REENTERED);
  ASSERT_EQ(tauravat_set_message_pump(p, nullptr, nullptr), TAURAVAT_OK);
  pumped.calls = 0;
  ASSERT_EQ(tauravat_daily_report(p, 1), TAURAVAT_OK);
  EXPECT_EQ(pumped.calls, 0);

  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  int32_t type = -1;
  EXPECT_EQ(tauravat_identify(p, &type), TAURAVAT_E_RECEIPT_OPEN);
  handle.reset();
  tauravat_printer* opened = nullptr;
  ASSERT_EQ(tauravat_open_port("/emu/0", nullptr, &opened), TAURAVAT_OK);
  const Handle raw(opened, &tauravat_close);
  EXPECT_EQ(tauravat_identify(opened, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  ASSERT_EQ(tauravat_identify(opened, &type), TAURAVAT_OK);
  EXPECT_EQ(type, 7);
  EXPECT_EQ(TextOf(std::bind_front(tauravat_device_name, opened)), "KESTRA LUNO");
  Emulated().Status().extraF3 = 0x02;
  uint8_t status[TAURAVAT_STATUS_BYTES] = {};
  uint32_t present = 0;
  EXPECT_EQ(tauravat_read_status_bytes(opened, status, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  ASSERT_EQ(tauravat_read_status_bytes(opened, status, &present), TAURAVAT_OK);
  EXPECT_EQ(present, 0x7Fu) << "a LUNO keeps seven, no eighth";
  EXPECT_EQ(status[6], 0x02);
  EXPECT_TRUE(Emulated().ReceiptOpen()) << "identified, not settled: nothing was cancelled";
}

TEST_F(OnEmulator, WhatCannotTravelIsRefusedBeforeTheLineGoesOut) {
  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  const auto before = Emulated().CommandsSeen();
  const auto herbata = [](auto field, auto value) {
    tauravat_item item = Item("Herbata");
    item.*field = value;
    return item;
  };
  const std::pair<tauravat_item, int32_t> cases[] = {
      {herbata(&tauravat_item::name, "Herbata 日本 zielona"), TAURAVAT_E_PARAMETER_RANGE},
      {herbata(&tauravat_item::quantity, int64_t{1} << 32), TAURAVAT_E_QUANTITY_RANGE},
      {herbata(&tauravat_item::price, -(int64_t{1} << 40)), TAURAVAT_E_PRICE_RANGE},
      {herbata(&tauravat_item::unit, "litry"), TAURAVAT_E_UNIT_RANGE},
      {herbata(&tauravat_item::value, int64_t{5} << 31), TAURAVAT_E_LINE_VALUE_TOO_LARGE},
      {herbata(&tauravat_item::kind, 2), TAURAVAT_E_PARAMETER_RANGE},
      {herbata(&tauravat_item::kind, TAURAVAT_ITEM_SUBTOTAL), TAURAVAT_E_PARAMETER_RANGE},
      {herbata(&tauravat_item::size, uint32_t{offsetof(tauravat_item, package_kind) - 8}),
       TAURAVAT_E_PARAMETER_RANGE}};
  for (size_t i = 0; i < std::size(cases); ++i) {
    int64_t value = -7;
    EXPECT_EQ(tauravat_receipt_item(p, &cases[i].first, &value), cases[i].second) << i;
    EXPECT_EQ(value, -7) << i;
  }
  for (const int32_t refused : {tauravat_fill_payment(p, 1, "Karta", int64_t{1} << 31, 0),
                                tauravat_fill_lines(p, 0, "Ω", nullptr),
                                tauravat_package_item(p, 0, 1, 1, int64_t{1} << 31)})
    EXPECT_EQ(refused, TAURAVAT_E_PARAMETER_RANGE);
  int32_t number = 0;
  uint32_t rates[7] = {};
  for (const int32_t refused :
       {tauravat_device_type(p, nullptr, &number), tauravat_read_total(p, nullptr),
        tauravat_read_sel_total(p, nullptr, nullptr), tauravat_read_vat(p, &number, nullptr),
        tauravat_set_vat(p, nullptr, rates), tauravat_read_clock(p, nullptr, 20, nullptr),
        tauravat_receipt_number(p, nullptr),
        tauravat_printer_number(p, nullptr, nullptr, 0, nullptr),
        tauravat_receipt_item(p, nullptr, nullptr), tauravat_fill_payment(p, 1, nullptr, 0, 0),
        tauravat_rs_sequence(p, 0x46, nullptr, 1, 1, nullptr, 0, nullptr)})
    EXPECT_EQ(refused, TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(Emulated().CommandsSeen(), before);
  EXPECT_EQ(tauravat_receipt_cancel(p), TAURAVAT_OK);
}

// The item rules are tauravat_check_item's (tests/check); here, that the handle applies them
// for its printer's model and reserved rates before a byte goes out.
TEST_F(OnEmulator, ARefusedItemSendsNothingAndLeavesTheReceiptOpen) {
  const auto seen = Emulated().CommandsSeen();
  tauravat_model_info model{};
  model.size = sizeof model;
  ASSERT_EQ(tauravat_printer_model(p, &model), TAURAVAT_OK);
  EXPECT_EQ(model.type, 7);
  EXPECT_STREQ(model.short_name, "luno");
  EXPECT_EQ(Emulated().CommandsSeen(), seen) << "the type identified at the open is known";
  model.size = 4;
  EXPECT_EQ(tauravat_printer_model(p, &model), TAURAVAT_E_PARAMETER_RANGE);

  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  const auto before = Emulated().CommandsSeen();
  const std::pair<tauravat_item, int32_t> refused[] = {
      {Item("Herbata"), TAURAVAT_E_UNIT_RANGE},  // its unit "kg…" prints as "kg..."
      {Item("Herbata zielona liściasta duża €"), TAURAVAT_E_PARAMETER_RANGE},
      {Item("Herbata"), TAURAVAT_E_RATE_UNDEFINED},  // F, reserved in this printer
      {Item("Herbata"), TAURAVAT_E_MESSAGE_RANGE}};
  tauravat_item items[std::size(refused)];
  for (size_t i = 0; i < std::size(refused); ++i) items[i] = refused[i].first;
  items[0].unit = "kg…";
  items[2].rate = 6;
  items[3].message = 8;
  for (size_t i = 0; i < std::size(refused); ++i) {
    int64_t value = -7;
    EXPECT_EQ(tauravat_receipt_item(p, &items[i], &value), refused[i].second) << i;
    EXPECT_EQ(value, -7) << i;
  }
  EXPECT_EQ(Emulated().CommandsSeen(), before);
  const tauravat_item tea = Item("Herbata zielona", 1, 0, 1250);
  ASSERT_EQ(tauravat_receipt_item(p, &tea, nullptr), TAURAVAT_OK);
  ASSERT_EQ(tauravat_receipt_end(p, 0), TAURAVAT_OK);
  EXPECT_EQ(Emulated().Memory().ReceiptsToday(), 1);
  EXPECT_EQ(Emulated().Memory().DayTotals()[0], 1250);
  EXPECT_EQ(Emulated().Paper().Text().find("PARAGON ANULOWANY"), std::string::npos);
}

TEST_F(OnEmulator, SizedOutputsAnswerTooSmallWithTheSizeAndRatesAndReportsTakeTheirOwnUnits) {
  char text[TAURAVAT_CLOCK_SIZE];
  std::fill(std::begin(text), std::end(text), 'x');
  size_t needed = 0;
  EXPECT_EQ(tauravat_read_clock(p, text, 19, &needed), TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 20u);  // "YYYY-MM-DD hh:mm:ss" and the NUL, one more than given
  EXPECT_EQ(std::string(text, 2), std::string("\0x", 2));
  ASSERT_EQ(tauravat_read_clock(p, text, needed, &needed), TAURAVAT_OK);
  EXPECT_TRUE(std::regex_match(text, std::regex(R"(20\d\d-\d\d-\d\d \d\d:\d\d:\d\d)"))) << text;
  EXPECT_EQ(tauravat_read_unique_number(p, nullptr, 0, &needed), TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 12u);
  EXPECT_EQ(TextOf(std::bind_front(tauravat_read_unique_number, p)), "KES12345678");
  int32_t number = -1;
  EXPECT_EQ(TextOf(std::bind_front(tauravat_printer_number, p, &number)), "KE");
  EXPECT_EQ(number, 1);
  uint8_t reply[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  EXPECT_EQ(tauravat_rs_sequence(p, 0xFF, nullptr, 0, 2, reply, 1, &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, 2u);
  EXPECT_EQ(reply[0], 0xAA);
  EXPECT_EQ(tauravat_rs_sequence(p, 0xFF, nullptr, 0, 2, reply, 2, &needed), TAURAVAT_OK);
  EXPECT_EQ(reply[0], 0x2C);  // the LUNO's identification byte
  EXPECT_EQ(reply[2], 0xAA);
  int32_t count = 0;
  uint32_t rates[7] = {};
  ASSERT_EQ(tauravat_read_vat(p, &count, rates), TAURAVAT_OK);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(std::vector<uint32_t>(rates, rates + 7),
            (std::vector<uint32_t>{2300, 800, 500, 0, 10000, 25500, 25500}));
  const uint32_t wanted[7] = {2300, 800, 500, 0, 10000, 2000, TAURAVAT_RATE_RESERVED};
  EXPECT_EQ(tauravat_set_vat(p, &count, wanted), TAURAVAT_OK);
  EXPECT_EQ(Emulated().Memory().Rates()[5], 2000);
  // Four-digit years; everything out of range is refused before anything is printed.
  const std::string paper = Emulated().Paper().Text();
  for (const int32_t refused :
       {tauravat_period_report(p, TAURAVAT_REPORT_SHORT, 1999, 1, 1, 2026, 1, 31),
        tauravat_monthly_report(p, TAURAVAT_REPORT_DETAILED, 2026, 13),
        tauravat_number_report(p, TAURAVAT_REPORT_SHORT, 1, 70000),
        tauravat_number_report(p, 2, 1, 2), tauravat_write_line_feed(p, 256),
        tauravat_print_control(p, 2)})
    EXPECT_EQ(refused, TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(Emulated().Paper().Text(), paper);
  EXPECT_EQ(tauravat_daily_report(p, 0), TAURAVAT_E_NO_SALES_SINCE_REPORT);
  EXPECT_EQ(tauravat_daily_report(p, 1), TAURAVAT_OK);
}

// The number at the foot of the last receipt, or word that the counter cannot tell it: on
// the LUNO models a 0 may stay 0 through a receipt, and the legacy number then reads the
// cancelled receipts instead.
// A rate write spends a fiscal-memory entry and prints its notice: tauravat_write_rates spends
// them only on a change (the printer refuses every rate write, so one sent would fail), a
// partial table keeps the rates it does not give, and only TAURAVAT_FORCE writes the same
// rates again.
TEST_F(OnEmulator, WriteRatesWritesOnlyAChangeUnlessForced) {
  const auto notices = [&] {
    const std::string paper = Emulated().Paper().Text();
    int count = 0;
    for (size_t at = paper.find("ZMIANA STAWEK PTU"); at != std::string::npos;
         at = paper.find("ZMIANA STAWEK PTU", at + 1))
      ++count;
    return count;
  };
  const auto table = [](std::initializer_list<uint32_t> values) {
    tauravat_rates rates{
        static_cast<uint32_t>(sizeof(tauravat_rates)), static_cast<int32_t>(values.size()), {}};
    std::copy(values.begin(), values.end(), rates.values);
    return rates;
  };
  int32_t count = 0;
  uint32_t values[7] = {};
  ASSERT_EQ(tauravat_read_vat(p, &count, values), TAURAVAT_OK);
  tauravat_rates held = table({});
  held.count = count;
  std::copy(values, values + 7, held.values);
  ASSERT_GE(count, 6);
  ASSERT_NE(held.values[0], TAURAVAT_RATE_RESERVED);

  for (const uint8_t command : {uint8_t{0x44}, uint8_t{0xD4}, uint8_t{0xD5}})
    Emulated().Faults().AddRule({command, kestra::emu::FaultKind::kNak, 0, -1});
  int32_t written = -1;
  for (const tauravat_rates& same : {held, table({held.values[0]}), table({})}) {
    EXPECT_EQ(tauravat_write_rates(p, &same, 0, &written), TAURAVAT_OK);
    EXPECT_EQ(written, 0);
  }
  EXPECT_EQ(tauravat_write_rates(p, &held, 0, nullptr), TAURAVAT_OK);
  // Refused before anything is written: by the check, a flag it does not know, no table.
  const tauravat_rates tooHigh = table({15000});
  EXPECT_EQ(tauravat_write_rates(p, &tooHigh, 0, &written), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_write_rates(p, &held, 2, &written), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(tauravat_write_rates(p, nullptr, 0, &written), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(std::tuple(notices(), Emulated().Memory().RateChanges()), std::tuple(0, 0));

  Emulated().Faults() = kestra::emu::FaultInjector({});
  EXPECT_EQ(tauravat_write_rates(p, &held, TAURAVAT_FORCE, &written), TAURAVAT_OK);
  EXPECT_EQ(std::tuple(written, notices(), Emulated().Memory().RateChanges()), std::tuple(1, 1, 1));
  // Only the second rate given: the rest stay as they were.
  const uint32_t second = held.values[1] == 700 ? 800 : 700;
  const tauravat_rates changed = table({held.values[0], second});
  EXPECT_EQ(tauravat_write_rates(p, &changed, 0, &written), TAURAVAT_OK);
  EXPECT_EQ(std::tuple(written, notices(), Emulated().Memory().RateChanges()), std::tuple(1, 2, 2));
  std::vector<uint32_t> expected(held.values, held.values + 7);
  expected[1] = second;
  const auto& now = Emulated().Memory().Rates();
  EXPECT_EQ(std::vector<uint32_t>(now.begin(), now.end()), expected);
}

TEST_F(OnEmulator, TheReceiptCounterIsTheNumberOnThePaperOrSaysItCannotTell) {
  kestra::emu::PrinterConfig config = Emulated().Config();
  config.cancelledCounter = 2;
  lines[0]->Reset(config);
  int32_t number = -1, known = -1, legacy = -1;
  EXPECT_EQ(tauravat_receipt_counter(p, &number, &known), TAURAVAT_OK);
  EXPECT_EQ(std::pair(number, known), std::pair(0, 0));
  EXPECT_EQ(tauravat_receipt_number(p, &legacy), TAURAVAT_OK);
  EXPECT_EQ(legacy, 2);
  ASSERT_EQ(tauravat_receipt_begin(p), TAURAVAT_OK);
  const tauravat_item item = Item("Chleb razowy krojony");
  ASSERT_EQ(tauravat_receipt_item(p, &item, nullptr), TAURAVAT_OK);
  EXPECT_EQ(tauravat_receipt_counter(p, &number, &known), TAURAVAT_E_RECEIPT_OPEN);
  ASSERT_EQ(tauravat_receipt_end(p, 0), TAURAVAT_OK);
  EXPECT_EQ(tauravat_receipt_counter(p, &number, &known), TAURAVAT_OK);
  EXPECT_EQ(std::pair(number, known), std::pair(1, 1));
  EXPECT_NE(Emulated().Paper().Text().find("#00001"), std::string::npos);
  // A TAURA II keeps no other counter: its 0 is no receipt since the daily report.
  const Handle taura = Open("/emu/1");
  EXPECT_EQ(tauravat_receipt_counter(taura.get(), &number, &known), TAURAVAT_OK);
  EXPECT_EQ(std::pair(number, known), std::pair(0, 1));
  EXPECT_EQ(tauravat_receipt_counter(p, nullptr, &known), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_receipt_counter(p, &number, nullptr), TAURAVAT_E_NULL_ARGUMENT);
}

// A printer that says it prints for ever holds a call only for the handle's print limit,
// and the code says what is unfinished: characters printing, a document waiting in memory
// (TAURA II; the LUNO is not asked while following), a printout stopped for paper.
TEST_F(OnEmulator, APrintoutThatNeverEndsHoldsACallOnlyForThePrintLimit) {
  using namespace std::chrono_literals;
  handle.reset();
  tauravat_options options{sizeof options, 0, 0, nullptr, nullptr, 100, nullptr, nullptr};
  const Handle luno = Open("/emu/0", &options), tauraII = Open("/emu/1", &options);
  ASSERT_TRUE(luno != nullptr && tauraII != nullptr);
  const auto held = [](std::function<int32_t()> call, int32_t expected) {
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(call(), expected);
    return std::chrono::steady_clock::now() - started;
  };
  Emulated(0).Status().print95 = 0x01;  // printing
  EXPECT_GE(held([&] { return tauravat_print_control(luno.get(), TAURAVAT_PRINT_FOLLOW); },
                 TAURAVAT_E_CHARS_IN_PRINT_BUFFER),
            100ms);
  held([&] { return tauravat_receipt_begin(luno.get()); }, TAURAVAT_E_CHARS_IN_PRINT_BUFFER);
  Emulated(0).Status().print95 = 0x40;  // stopped for paper, with paper in
  held([&] { return tauravat_print_control(luno.get(), TAURAVAT_PRINT_FOLLOW); },
       TAURAVAT_E_STOPPED_FOR_PAPER);
  Emulated(0).Status().print95 = 0;
  EXPECT_EQ(tauravat_print_control(luno.get(), TAURAVAT_PRINT_FOLLOW), TAURAVAT_OK);
  Emulated(1).Status().memory94 = 0x02;  // a document waiting
  held([&] { return tauravat_print_control(tauraII.get(), TAURAVAT_PRINT_FOLLOW); },
       TAURAVAT_E_DOCUMENT_IN_MEMORY);
  Emulated(1).Status().memory94 = 0;
  EXPECT_EQ(tauravat_print_control(tauraII.get(), TAURAVAT_PRINT_FOLLOW), TAURAVAT_OK);
  EXPECT_EQ(Emulated(0).Memory().ReceiptsToday() + Emulated(1).Memory().ReceiptsToday(), 0);
}

// Interleaved on the wire, the answers to several threads would be each other's bytes.
TEST_F(OnEmulator, OneHandleTakesThreadsOneAtATimeNotItsCallBackAndTwoPrintersWorkAtOnce) {
  constexpr int kThreads = 3;
  std::atomic<int> wrong{0};
  std::barrier start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      start.arrive_and_wait();
      for (int round = 0; round < 15; ++round) {
        if (ReadVat() != TAURAVAT_OK) ++wrong;
        if (TextOf(std::bind_front(tauravat_read_unique_number, p)) != "KES12345678") ++wrong;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0);
  handle.reset();
  Reentry reentry;
  const tauravat_options options{sizeof options, 0, 0,       ReenterFromProgress,
                                 &reentry,       0, nullptr, nullptr};
  handle = Open("/emu/0", &options);
  ASSERT_NE(reentry.printer = p = handle.get(), nullptr);
  EXPECT_EQ(ReadVat(), TAURAVAT_OK);
  ASSERT_FALSE(reentry.nested.empty());
  for (const int32_t code : reentry.nested) EXPECT_EQ(code, TAURAVAT_E_REENTERED);
  reentry.printer = nullptr;  // the refused close freed nothing: the handle still works
  EXPECT_EQ(ReadVat(), TAURAVAT_OK);
  // Two printers each driven from its own thread: each gets its own receipts, whole.
  constexpr int kReceipts = 4;
  handle.reset();
  std::barrier both(2);
  int32_t results[2] = {-1, -1};
  const auto sell = [&](int i, std::string article, int64_t price) {
    both.arrive_and_wait();
    const Handle own = Open(("/emu/" + std::to_string(i)).c_str());
    int32_t result = own == nullptr ? TAURAVAT_E_NULL_ARGUMENT : TAURAVAT_OK;
    for (int receipt = 0; result == TAURAVAT_OK && receipt < kReceipts; ++receipt) {
      result = tauravat_receipt_begin(own.get());
      for (int line = 0; result == TAURAVAT_OK && line < 2; ++line) {
        const std::string name =
            article + " " + std::to_string(receipt) + "-" + std::to_string(line);
        const tauravat_item item = Item(name.c_str(), 1, 0, price);
        result = tauravat_receipt_item(own.get(), &item, nullptr);
      }
      if (result == TAURAVAT_OK) result = tauravat_receipt_end(own.get(), 0);
    }
    results[i] = result;
  };
  std::thread first(sell, 0, "Masło extra", 649), second(sell, 1, "Kawa ziarnista", 2999);
  first.join();
  second.join();
  for (const auto& [i, price] : {std::pair{0, 649}, std::pair{1, 2999}}) {
    EXPECT_EQ(results[i], TAURAVAT_OK) << i;
    EXPECT_EQ(Emulated(i).Memory().DayTotals()[0], kReceipts * 2 * price);
    EXPECT_EQ(Emulated(i).Memory().ReceiptsToday(), kReceipts);
  }
  EXPECT_EQ(Emulated(0).Paper().Text().find("Kawa"), std::string::npos);
  EXPECT_EQ(Emulated(1).Paper().Text().find("Masło"), std::string::npos);
  EXPECT_NE(Emulated(1).Paper().Text().find("Kawa ziarnista 3-1"), std::string::npos);
}

}  // namespace
}  // namespace kestradr
