// The result-code texts as callers receive them: code page 1250 bytes, exact.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tauravat.hpp"

namespace {

std::string Text(int32_t code) {
  std::string text = "stale";
  EXPECT_EQ(ErrMessage(code, text), 0);
  return text;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines(1);
  for (char c : text) {
    if (c == '\r')
      lines.emplace_back();
    else
      lines.back() += c;
  }
  return lines;
}

TEST(Messages, TextsOfOrdinaryCodesAreExactCp1250Bytes) {
  EXPECT_EQ(Text(0), "");
  EXPECT_EQ(Text(24), "NAK na sekwencj\xEA steruj\xB9\x63\xB9.");
  EXPECT_EQ(Text(5),
            "Niemo\xBFliwe otwarcie portu. Port szeregowy jest prawdopodobnie u\xBFywany przez "
            "inn\xB9 aplikacj\xEA.");
  EXPECT_EQ(Text(104), "Brak danych uzytkownika.");
  EXPECT_EQ(Text(109), "Brak papieru lub podniesiona g\xB3owica mechanizmu drukuj\xB9\x63\x65go.");
  EXPECT_EQ(Text(210), "Nastapi\xB3o uniewa\xBFnienie paragonu.");
  EXPECT_EQ(Text(216), "Wszystkie linie po paragonie zaj\xEAte.");
  EXPECT_EQ(Text(232), "B\xB3\xB9\x64 sumy CRC w danych wysy\xB3\x61nych do drukarki");
  EXPECT_EQ(Text(241),
            "Niezgodna pami\xEA\xE6 fiskalna. Wymagana interwencja serwisu fabrycznego.");
  EXPECT_EQ(Text(999), "W bibliotece wystapi\xB3 wewn\xEAtrzny wyj\xB9tek.");
  // 206..208 follow the error table, not the parameter order of ReceiptItem.
  EXPECT_EQ(Text(206), "Parametr <MP> w ReceiptItem poza zakresem.");
  EXPECT_EQ(Text(207), "Parametr <Jedn> w ReceiptItem poza zakresem.");
  EXPECT_EQ(Text(208), "Parametr <Cena> w ReceiptItem poza zakresem.");
}

TEST(Messages, PolishLettersUseCp1250Codes) {
  const std::string all = Text(107) + Text(106) + Text(5) + Text(210) + Text(222) + Text(20);
  // ż ł ą ę ś ć ń ó
  for (int expected : {0xBF, 0xB3, 0xB9, 0xEA, 0x9C, 0xE6, 0xF1, 0xF3})
    EXPECT_NE(all.find(static_cast<char>(expected)), std::string::npos) << int(expected);
  EXPECT_EQ(Text(223) + Text(106), "Parametr N poza zakresem.Brak wy\x9Cwietlacza klienta.");
  // No UTF-8 lead bytes anywhere.
  for (int code = 0; code <= 1000; ++code)
    for (unsigned char c : Text(code)) EXPECT_TRUE(c != 0xC4 && c != 0xC5) << code;
}

TEST(Messages, UnknownAndNegativeCodesGetTheCatchAllText) {
  const std::string unknown = "Nieznany b\xB3\xB9\x64 (prawdopodobnie systemowy)";
  for (int32_t code : {26, 115, 2, -1, 1000, 6, 22, 242, INT32_MIN}) EXPECT_EQ(Text(code), unknown);
  // 99 has a text although nothing returns it.
  EXPECT_EQ(Text(99), "Komunikacja nie zainicjowana.");
}

TEST(Messages, TimeoutTextsHaveThirteenLinesJoinedByBareCarriageReturns) {
  const std::string send = Text(20);
  const std::string receive = Text(21);
  EXPECT_EQ(send.size(), 621u);
  EXPECT_EQ(receive.size(), 615u);
  EXPECT_EQ(std::count(send.begin(), send.end(), '\n'), 0);
  const auto sendLines = Lines(send);
  const auto receiveLines = Lines(receive);
  ASSERT_EQ(sendLines.size(), 13u);
  ASSERT_EQ(receiveLines.size(), 13u);
  EXPECT_EQ(sendLines[0],
            "TIMEOUT NADAWANIA: Komputer nie potrafi wys\xB3\x61\xE6 informacji do drukarki "
            "fiskalnej ");
  EXPECT_EQ(receiveLines[0],
            "TIMEOUT ODBIERANIA: Komputer nie potrafi odebra\xE6 informacji z drukarki fiskalnej ");
  EXPECT_EQ(sendLines[1], "");
  EXPECT_EQ(sendLines[11], "");
  EXPECT_EQ(sendLines[5], "  a\xBF na wy\x9Cwietlaczu klienta za\x9Cwieci si\xEA napis 'ON LINE',");
  EXPECT_EQ(receiveLines[10],
            "* w programie wybrano inn\xB9 pr\xEA\x64ko\x9C\xE6 transmisji ni\xBF ustawiona w "
            "drukarce.");
  for (size_t i = 1; i < 13; ++i) {
    if (i != 10) {
      EXPECT_EQ(sendLines[i], receiveLines[i]) << i;
    }
  }
}

TEST(Messages, BufferTwinCopiesWholeTextWithNul) {
  std::vector<char> buffer(700, 'x');
  EXPECT_EQ(pErrMessage(20, buffer.data()), 0);
  EXPECT_EQ(buffer[621], '\0');
  EXPECT_EQ(std::string(buffer.data()), Text(20));
  EXPECT_EQ(buffer[622], 'x');  // nothing written past the NUL

  EXPECT_EQ(pErrMessage(0, buffer.data()), 0);
  EXPECT_EQ(buffer[0], '\0');
  for (int32_t code : {0, 20, 24, 999, -5}) EXPECT_EQ(pErrMessage(code, nullptr), 225);
}

}  // namespace
