// Code page 1250 and UTF-8, the conversion behind every text of the handle interface.
#include <gtest/gtest.h>

#include <string>

#include "cp1250.hpp"

namespace kestradr {
namespace {

TEST(Cp1250Text, EveryAssignedByteSurvivesTheRoundTrip) {
  int assigned = 0;
  for (int byte = 1; byte < 256; ++byte) {
    const std::string original(1, static_cast<char>(byte));
    const std::string utf8 = Cp1250ToUtf8(original);
    if (utf8 == "\xEF\xBF\xBD") continue;  // U+FFFD: unassigned in the code page
    ++assigned;
    EXPECT_EQ(Utf8ToCp1250(utf8), original) << byte;
  }
  EXPECT_EQ(assigned, 255 - 5);  // 0x81, 0x83, 0x88, 0x90, 0x98 are unassigned
}

TEST(Cp1250Text, KnownLettersLandOnTheirBytes) {
  EXPECT_EQ(Utf8ToCp1250("ĄĆĘŁŃÓŚŹŻąćęłńóśźż"),
            "\xA5\xC6\xCA\xA3\xD1\xD3\x8C\x8F\xAF\xB9\xE6\xEA\xB3\xF1\xF3\x9C\x9F\xBF");
  EXPECT_EQ(Utf8ToCp1250("€ Š ß ˙"), "\x80 \x8A \xDF \xFF");
  EXPECT_EQ(Cp1250ToUtf8("Got\xF3wka \x80"), "Gotówka €");
}

TEST(Cp1250Text, CharactersOutsideTheCodePageAndBrokenUtf8AreRefused) {
  for (const char* text : {"日本", "Ω", "😀", "a\xC5", "\xC5\x01", "\xC0\x80", "\xED\xA0\x80",
                           "\xF8\x88\x80\x80\x80", "\x80"}) {
    EXPECT_FALSE(Utf8ToCp1250(text).has_value()) << text;
  }
  EXPECT_EQ(Utf8ToCp1250(""), "");
  EXPECT_THROW(Cp1250("Ω"), std::invalid_argument);
}

}  // namespace
}  // namespace kestradr
