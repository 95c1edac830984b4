#include "messages.hpp"

#include <iterator>
#include <map>
#include <string_view>

#include "cp1250.hpp"

namespace kestradr {
namespace {

// The two time-out texts share all but their first line and one hint; lines are
// joined by a bare carriage return, as the texts have always been shown.
std::string TimeoutText(std::string_view firstLine, std::string_view hint) {
  const std::string_view lines[] = {
      firstLine,
      "",
      "Możliwe przyczyny błędu:",
      "",
      "* drukarka fiskalna nie jest włączona. Należy włączyć drukarkę i poczekać",
      "  aż na wyświetlaczu klienta zaświeci się napis 'ON LINE',",
      "* drukarka fiskalna znajduje się w trybie 'OFF LINE'",
      "  należy nacisnąć równocześnie klawisze UP i DOWN drukarki fiskalnej,",
      "* kabel łączący komputer z drukarką fiskalną nie jest podłączony",
      "  lub jest podłączony niepoprawnie",
      hint,
      "",
      "Po sprawdzeniu opisanych przyczyn można spróbować, czy błąd został usunięty.",
  };
  std::string text;
  for (size_t i = 0; i < std::size(lines); ++i) {
    if (i > 0) text += '\r';
    text += Cp1250(lines[i]);
  }
  return text;
}

std::map<int32_t, std::string> BuildTable() {
  std::map<int32_t, std::string> table = {
      {0, ""},
      {5, "Niemożliwe otwarcie portu. Port szeregowy jest prawdopodobnie używany przez inną "
          "aplikację."},
      {23, "Niepoprawna odpowiedź z drukarki."},
      {24, "NAK na sekwencję sterującą."},
      {99, "Komunikacja nie zainicjowana."},
      {100, "Brak danych producenta."},
      {101, "Zwora serwisowa w pozycji serwisowej."},
      {102, "Brak komunikacji z kontrolerem drukarki."},
      {103, "Awaria drukarki."},
      {104, "Brak danych uzytkownika."},
      {105, "Moduł fiskalny w trybie TYLKO ODCZYT."},
      {106, "Brak wyświetlacza klienta."},
      {107, "Skasowana pamięć CMOS. Wejdź do inicjowania zegara."},
      {108, "Zaległy raport dobowy do wykonania."},
      {109, "Brak papieru lub podniesiona głowica mechanizmu drukującego."},
      {110, "W pamięci znajduje się dokument do wydrukowania."},
      {111, "W buforze drukowania są znaki do wydrukowania."},
      {112, "Wydruk zatrzymany z powodu braku papieru."},
      {113, "Brak stawek podatkowych w drukarce."},
      {114, "Nieustawione parametry komunikacji (numer portu)."},
      {200, "Paragon rozpoczęty."},
      {201, "Paragon nierozpoczęty."},
      {202, "Za mało znaków znaczących (parametr <Nazwa> w ReceiptItem)."},
      {203, "Parametr <Stawka> w ReceiptItem poza zakresem."},
      {204, "Parametr <Komunikat> w ReceiptItem poza zakresem."},
      {205, "Parametr <Ilosc> w ReceiptItem poza zakresem."},
      {206, "Parametr <MP> w ReceiptItem poza zakresem."},
      {207, "Parametr <Jedn> w ReceiptItem poza zakresem."},
      {208, "Parametr <Cena> w ReceiptItem poza zakresem."},
      {209, "Parametr <Wartosc> w ReceiptItem rozny od <Ilosc>*<Cena>."},
      {210, "Nastapiło unieważnienie paragonu."},
      {211, "Zerowy licznik paragonów (brak sprzedaży po rap.dobowym)."},
      {212, "Parametr <DrawerNumber> w OpenDrawer poza zakresem."},
      {213, "Rozkaz niedostępny."},
      {214, "Parametr <Param> w PackageItem poza zakresem."},
      {215, "Parametr przekazany do funkcji poza zakresem."},
      {216, "Wszystkie linie po paragonie zajęte."},
      {217, "Stawki podatkowe niezapisane."},
      {218, "Niezerowy licznik paragonów. Należy wykonać raport dobowy."},
      {219, "Błędne daty dla raportu okresowego."},
      {220, "Brak raportów w podanym okresie."},
      {221, "Błędne numery dla raportu okresowego."},
      {222, "Niezakończony miesiąc."},
      {223, "Parametr N poza zakresem."},
      {224, "Rozkaz niedostępny w tym urządzeniu lub w tej wersji programu."},
      {225, "Bufor wejściowy ma zerową długość."},
      {226, "Stawka niezdefiniowana."},
      {227, "Przekroczona maksymalna wartość pozycji paragonowej."},
      {228, "Drukarka w trybie szkoleniowym."},
      {229, "Dane użytkownika nie zostały zapisane."},
      {230, "Pamięć CMOS nie jest skasowana."},
      {231, "Zwora serwisowa jest w pozycji normalnej."},
      {232, "Błąd sumy CRC w danych wysyłanych do drukarki"},
      {233, "Błąd kompletności (dane nie zostały przesłane we właściwej kolejności)"},
      {234, "Powtórnie przesłano te same dane. Zostały one zapisane ale nie zostaną wydrukowane "
            "na raporcie dobowym."},
      {235, "Nie można przesłać/skasować danych. Należy wydrukować poprzednie dane na raporcie "
            "dobowym."},
      {236, "Nie zidentyfikowano jednego z kontrolerów"},
      {237, "Należy wykonać przejście na euro"},
      {238, "Brak danych do wyświetlania w drukarce"},
      {239, "Zegar jest już zainicjowany"},
      {240, "Błędna sygnatura. Wymagana interwencja serwisu fabrycznego."},
      {241, "Niezgodna pamięć fiskalna. Wymagana interwencja serwisu fabrycznego."},
      {999, "W bibliotece wystapił wewnętrzny wyjątek."},
  };
  for (auto& [code, text] : table) text = Cp1250(text);
  table[20] = TimeoutText(
      "TIMEOUT NADAWANIA: Komputer nie potrafi wysłać informacji do drukarki fiskalnej ",
      "* drukarka jest podłączona do innego portu szeregowego niż wybrany w programie.");
  table[21] = TimeoutText(
      "TIMEOUT ODBIERANIA: Komputer nie potrafi odebrać informacji z drukarki fiskalnej ",
      "* w programie wybrano inną prędkość transmisji niż ustawiona w drukarce.");
  return table;
}

}  // namespace

const std::string& MessageText(int32_t code) {
  static const std::map<int32_t, std::string> table = BuildTable();
  static const std::string unknown = Cp1250("Nieznany błąd (prawdopodobnie systemowy)");
  const auto found = table.find(code);
  return found == table.end() ? unknown : found->second;
}

}  // namespace kestradr
