// Every text the serial layer records, in code page 1250 as the driver hands text out.
// The sources are UTF-8; Cp1250Text converts the Polish letters at compile time and
// refuses (does not compile) any other non-ASCII character.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace kestradr {

template <std::size_t N>
struct Cp1250Text {
  std::array<char, N> bytes{};
  std::size_t size = 0;

  consteval Cp1250Text(const char (&utf8)[N]) {
    for (std::size_t i = 0; i + 1 < N;) {
      const auto lead = static_cast<unsigned char>(utf8[i]);
      if (lead < 0x80) {
        bytes[size++] = utf8[i++];
        continue;
      }
      if ((lead & 0xE0) != 0xC0 || i + 2 >= N) throw "only two-byte UTF-8 letters are known";
      const unsigned code =
          ((lead & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3Fu);
      bytes[size++] = static_cast<char>(ToCp1250(code));
      i += 2;
    }
  }

  std::string str() const { return std::string(bytes.data(), size); }
  std::string_view view() const { return std::string_view(bytes.data(), size); }

 private:
  static consteval unsigned char ToCp1250(unsigned code) {
    switch (code) {
      case 0x104:
        return 0xA5;  // Ą
      case 0x105:
        return 0xB9;  // ą
      case 0x106:
        return 0xC6;  // Ć
      case 0x107:
        return 0xE6;  // ć
      case 0x118:
        return 0xCA;  // Ę
      case 0x119:
        return 0xEA;  // ę
      case 0x141:
        return 0xA3;  // Ł
      case 0x142:
        return 0xB3;  // ł
      case 0x143:
        return 0xD1;  // Ń
      case 0x144:
        return 0xF1;  // ń
      case 0x0D3:
        return 0xD3;  // Ó
      case 0x0F3:
        return 0xF3;  // ó
      case 0x15A:
        return 0x8C;  // Ś
      case 0x15B:
        return 0x9C;  // ś
      case 0x179:
        return 0x8F;  // Ź
      case 0x17A:
        return 0x9F;  // ź
      case 0x17B:
        return 0xAF;  // Ż
      case 0x17C:
        return 0xBF;  // ż
      default:
        throw "letter outside the Polish set of code page 1250";
    }
  }
};

namespace commtext {

// Opening, configuring, closing.
inline constexpr Cp1250Text kAlreadyOpen{"Ten port jest już zainicjowany"};
inline constexpr Cp1250Text kLineSettings{"Błąd podczas aktualizacji bloku kontroli danych."};
inline constexpr Cp1250Text kQueueSizes{"Błędna inicjalizacja buforów Zapisu/Odczytu."};
inline constexpr Cp1250Text kReadTimeouts{" Błąd odczytu aktualnych czasów."};
inline constexpr Cp1250Text kSetTimeouts{"Błąd podczas aktualizacji czasów."};
inline constexpr Cp1250Text kCreateAbortEvent{"Error CreateEvent. "};
inline constexpr Cp1250Text kSignalEvent{"Błąd podczas sygnalizacji zdarzenia."};
inline constexpr Cp1250Text kCancelEvent{"Błąd podczas anulacji zdarzenia."};
inline constexpr Cp1250Text kCreateEvent{"Błąd CreateEvent. "};
inline constexpr Cp1250Text kCreateReadEvent{"Błąd CreateEvent."};
inline constexpr Cp1250Text kCloseHandle{"Błąd zamknięcia uchwytu."};
inline constexpr Cp1250Text kNotOpen{"Port nie jest otwarty, niemożliwa operacja."};

// Opening the device.
inline constexpr Cp1250Text kDeviceNotFound{"System nie potrafi znależć danego urządzenia."};
inline constexpr Cp1250Text kDeviceDenied{"Zabroniony dostęp do urządzenia."};
inline constexpr Cp1250Text kDeviceBadHandle{"Niepoprawny uchwyt do urządzenia, proces przerwany."};
inline constexpr Cp1250Text kDeviceOther{"Błędnie określone urządzenie."};

// Line errors.
inline constexpr Cp1250Text kBreak{"Urządzenie wykryło stan BREAK (CE_BREAK)."};
inline constexpr Cp1250Text kFrame{"Urządzenie wykryło błąd ramki (CE_FRAME)."};
inline constexpr Cp1250Text kOverrun{"Zgubiono znaki (CE_OVERRUN)."};
inline constexpr Cp1250Text kRxOver{"Zapełniony bufor wejściowy (CE_RXOVER)."};
inline constexpr Cp1250Text kParity{"Urządzenie wykryło błąd parzystości (CE_RXPARITY)."};
inline constexpr Cp1250Text kTxFull{"Zapełniony bufor wyjściowy (CE_TXFULL)."};

// Transfers on the writer thread.
inline constexpr Cp1250Text kBadWrite{"Niepoprawny zapis."};
inline constexpr Cp1250Text kWriteTimeout{"Timeout zapisu."};
inline constexpr Cp1250Text kWriteAborted{"Zapis przerwany."};
inline constexpr Cp1250Text kBadWriteToPort{"Niepoprawny zapis do portu."};
inline constexpr Cp1250Text kBadRead{"Niepoprawny odczyt."};
inline constexpr Cp1250Text kReadTimeout{"Timeout odczytu."};
inline constexpr Cp1250Text kReadAborted{"Odczyt przerwany."};

// The caller's side of a transfer.
inline constexpr Cp1250Text kWaitFunction{"Błąd funkcji WaitForMultipleObjects."};
inline constexpr Cp1250Text kReadWaitAborted{"Przerwany zapis "};

}  // namespace commtext
}  // namespace kestradr
