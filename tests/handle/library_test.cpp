// The handle interface's functions that need no printer, through the shared library: the
// messages in both languages, sized buffers, null arguments, the version.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

#include "tauravat.h"

extern "C" int tauravat_handle_c_check(void);

namespace {

TEST(HandleLibrary, UsableFromC) {
  EXPECT_EQ(tauravat_handle_c_check(), 0);
}

std::string Message(int32_t code, const char* language) {
  std::vector<char> text(TAURAVAT_MESSAGE_SIZE, 'x');
  size_t needed = 0;
  EXPECT_EQ(tauravat_message(code, language, text.data(), text.size(), &needed), TAURAVAT_OK)
      << code;
  EXPECT_EQ(needed, std::strlen(text.data()) + 1) << code;
  return text.data();
}

// Every code the legacy message table knows, and the three of the handle interface.
std::vector<int32_t> CodesWithText() {
  std::vector<int32_t> codes = {5, 20, 21, 23, 24, 999};
  for (int32_t code = 99; code <= 114; ++code) codes.push_back(code);
  for (int32_t code = 200; code <= 244; ++code) codes.push_back(code);
  return codes;
}

TEST(HandleMessages, EveryCodeHasItsOwnTextInPolishAndInEnglish) {
  const std::string unknownPl = Message(115, "pl");
  const std::string unknownEn = Message(115, "en");
  EXPECT_EQ(unknownPl, "Nieznany błąd (prawdopodobnie systemowy)");
  EXPECT_EQ(unknownEn, "Unknown error (probably a system error)");
  for (const int32_t code : CodesWithText()) {
    const std::string polish = Message(code, "pl");
    const std::string english = Message(code, "en");
    EXPECT_NE(polish, unknownPl) << code;
    EXPECT_NE(english, unknownEn) << code;
    EXPECT_NE(english, polish) << code;
  }
  // Codes without a row get the catch-all in both languages; 0 has no text.
  for (const int32_t code : {int32_t{TAURAVAT_E_REFUSED}, 2, -1, 1000}) {
    EXPECT_EQ(Message(code, "pl"), unknownPl) << code;
    EXPECT_EQ(Message(code, "en"), unknownEn) << code;
  }
  EXPECT_EQ(Message(TAURAVAT_OK, "pl"), "");
  EXPECT_EQ(Message(TAURAVAT_OK, "en"), "");
}

TEST(HandleMessages, TextsAreUtf8WithLineFeeds) {
  EXPECT_EQ(Message(TAURAVAT_E_NAK, "pl"), "NAK na sekwencję sterującą.");
  EXPECT_EQ(Message(TAURAVAT_E_PAPER_OUT, "en"), "Out of paper or print head raised.");
  EXPECT_EQ(Message(TAURAVAT_E_BUFFER_TOO_SMALL, "pl"), "Bufor wyjściowy jest za mały.");
  const std::string timeout = Message(TAURAVAT_E_SEND_TIMEOUT, "pl");
  EXPECT_EQ(timeout.find('\r'), std::string::npos);
  EXPECT_EQ(std::count(timeout.begin(), timeout.end(), '\n'), 12);
  const std::string english = Message(TAURAVAT_E_RECEIVE_TIMEOUT, "en");
  EXPECT_EQ(std::count(english.begin(), english.end(), '\n'), 12);
}

TEST(HandleMessages, BufferTooSmallTellsTheSizeAndWritesOnlyANul) {
  const std::string full = Message(TAURAVAT_E_CMOS_ERASED, "pl");
  std::vector<char> text(full.size(), 'x');  // one short: no room for the NUL
  size_t needed = 0;
  EXPECT_EQ(tauravat_message(TAURAVAT_E_CMOS_ERASED, "pl", text.data(), text.size(), &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, full.size() + 1);
  EXPECT_EQ(text[0], '\0');
  EXPECT_EQ(text[1], 'x');
  // A size query: no buffer at all.
  needed = 0;
  EXPECT_EQ(tauravat_message(TAURAVAT_E_CMOS_ERASED, "en", nullptr, 0, &needed),
            TAURAVAT_E_BUFFER_TOO_SMALL);
  EXPECT_EQ(needed, Message(TAURAVAT_E_CMOS_ERASED, "en").size() + 1);
}

TEST(HandleMessages, NullAndUnknownArgumentsAreRefused) {
  char text[16];
  EXPECT_EQ(tauravat_message(24, nullptr, text, sizeof text, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_message(24, "en", nullptr, 16, nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_message(24, "de", text, sizeof text, nullptr), TAURAVAT_E_PARAMETER_RANGE);
  int32_t count = 0;
  EXPECT_EQ(tauravat_chars_in_article_name(nullptr, &count), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_chars_in_article_name("abc", nullptr), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(tauravat_close(nullptr), TAURAVAT_OK);
  tauravat_printer* printer = reinterpret_cast<tauravat_printer*>(&count);
  EXPECT_EQ(tauravat_open(nullptr, nullptr, &printer), TAURAVAT_E_NULL_ARGUMENT);
  EXPECT_EQ(printer, nullptr);
  EXPECT_EQ(tauravat_open("/dev/null", nullptr, nullptr), TAURAVAT_E_NULL_ARGUMENT);
}

// Every function that takes a handle, called with none and otherwise sound arguments.
TEST(HandleLibrary, ANullHandleIsRefusedByEveryFunction) {
  char text[64];
  size_t needed = 0;
  int32_t number = 0;
  int64_t amount = 0;
  uint32_t rates[7] = {};
  uint8_t reply[4] = {};
  tauravat_item item{};
  item.size = sizeof item;
  item.kind = TAURAVAT_ITEM_SALE;
  item.name = "Chleb razowy";
  item.rate = 1;
  item.quantity = 1;
  item.price = 100;
  tauravat_printer* const none = nullptr;
  const int32_t results[] = {
      tauravat_device_type(none, &number, &number),
      tauravat_device_name(none, text, sizeof text, &needed),
      tauravat_receipt_conditions(none),
      tauravat_print_control(none, TAURAVAT_PRINT_BEFORE),
      tauravat_print_resume(none),
      tauravat_rs_sequence(none, 0x35, nullptr, 0, 1, reply, sizeof reply, &needed),
      tauravat_receipt_begin(none),
      tauravat_receipt_item(none, &item, &amount),
      tauravat_package_item(none, 0, 1, 1, 1),
      tauravat_print_subtotal(none),
      tauravat_receipt_end(none, 0),
      tauravat_receipt_cancel(none),
      tauravat_fill_payment(none, 1, "Karta", 1, 0),
      tauravat_fill_lines(none, 0, "Dziękujemy", &number),
      tauravat_erase_payments(none),
      tauravat_erase_lines(none),
      tauravat_read_total(none, &amount),
      tauravat_read_sel_total(none, "A", &amount),
      tauravat_read_vat(none, &number, rates),
      tauravat_set_vat(none, &number, rates),
      tauravat_daily_report(none, 0),
      tauravat_locked_articles_report(none),
      tauravat_printer_status_report(none),
      tauravat_period_report(none, 0, 2026, 1, 1, 2026, 1, 31),
      tauravat_monthly_report(none, 0, 2026, 1),
      tauravat_number_report(none, 0, 1, 2),
      tauravat_read_clock(none, text, sizeof text, &needed),
      tauravat_receipt_number(none, &number),
      tauravat_daily_report_number(none, &number),
      tauravat_printer_number(none, &number, text, sizeof text, &needed),
      tauravat_read_unique_number(none, text, sizeof text, &needed),
      tauravat_open_drawer(none, 1),
      tauravat_write_line_feed(none, 1),
  };
  for (size_t i = 0; i < std::size(results); ++i)
    EXPECT_EQ(results[i], TAURAVAT_E_NULL_ARGUMENT) << "call " << i;
}

TEST(HandleLibrary, CountsSignificantCharactersOfUtf8Names) {
  int32_t count = -1;
  // The Polish letters count, in UTF-8 as in code page 1250; "-" does not.
  EXPECT_EQ(tauravat_chars_in_article_name("Żółć-ą", &count), TAURAVAT_OK);
  EXPECT_EQ(count, 5);
  count = -1;
  EXPECT_EQ(tauravat_chars_in_article_name("日本", &count), TAURAVAT_E_PARAMETER_RANGE);
  EXPECT_EQ(count, -1);
}

TEST(HandleLibrary, VersionMatchesTheHeader) {
  const std::string expected = std::to_string(TAURAVAT_VERSION_MAJOR) + "." +
                               std::to_string(TAURAVAT_VERSION_MINOR) + "." +
                               std::to_string(TAURAVAT_VERSION_PATCH);
  EXPECT_EQ(tauravat_version(), expected);
  EXPECT_EQ(expected, TAURAVAT_VERSION_STRING);
}

}  // namespace
