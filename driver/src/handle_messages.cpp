// The texts of the handle interface: the Polish texts of the legacy table in UTF-8, the
// texts of the codes only the handle interface returns, and every text in English.
#include <iterator>
#include <map>
#include <string_view>

#include "cp1250.hpp"
#include "messages.hpp"

namespace kestradr {
namespace {

constexpr std::string_view kUnknownEnglish = "Unknown error (probably a system error)";

// Where the fix for a refused port lies depends on the system.
#if defined(__linux__)
constexpr std::string_view kPermissionPolish =
    "Brak uprawnień do portu szeregowego. Dodaj użytkownika do grupy, do której należy "
    "urządzenie, zwykle dialout (sudo usermod -aG dialout UŻYTKOWNIK), i zaloguj się "
    "ponownie.";
constexpr std::string_view kPermissionEnglish =
    "Permission denied on the serial port. Add the user to the group that owns the device, "
    "usually dialout (sudo usermod -aG dialout USER), then log in again.";
#else
constexpr std::string_view kPermissionPolish =
    "Brak uprawnień do portu szeregowego dla tego użytkownika.";
constexpr std::string_view kPermissionEnglish =
    "Permission denied: this user may not open the serial port.";
#endif

// The legacy table has no row for these: its callers never receive them.
const std::map<int32_t, std::string_view>& HandleOnlyPolish() {
  static const std::map<int32_t, std::string_view> texts = {
      {TAURAVAT_E_BUFFER_TOO_SMALL, "Bufor wyjściowy jest za mały."},
      {TAURAVAT_E_NULL_ARGUMENT, "Brak wymaganego argumentu (pusty wskaźnik)."},
      {TAURAVAT_E_REENTERED, "Sterownik wywołany z wnętrza własnego wywołania zwrotnego."},
      {TAURAVAT_E_PORT_NOT_FOUND, "Port szeregowy nie istnieje (brak takiego urządzenia)."},
      {TAURAVAT_E_PORT_PERMISSION, kPermissionPolish},
      {TAURAVAT_E_PORT_BUSY,
       "Port szeregowy jest zajęty przez inny program (lub inne połączenie tego programu)."},
      {TAURAVAT_E_NOT_A_SERIAL_PORT, "To urządzenie nie jest portem szeregowym."},
      {TAURAVAT_E_PORT_VANISHED,
       "Port szeregowy zniknął: adapter został odłączony lub wyłączony albo serwer portu "
       "w sieci zerwał połączenie."},
      {TAURAVAT_E_PORT_FAILED,
       "Nie można otworzyć ani ustawić portu szeregowego (przyczynę podaje błąd systemu)."},
      {TAURAVAT_E_STOPPED, "Sprzedaż zatrzymana przez wywołanie zwrotne kroku."},
  };
  return texts;
}

std::string EnglishTimeoutText(std::string_view firstLine, std::string_view hint) {
  const std::string_view lines[] = {
      firstLine,
      "",
      "Possible causes:",
      "",
      "* the fiscal printer is not switched on. Switch it on and wait",
      "  until the customer display shows 'ON LINE',",
      "* the fiscal printer is in 'OFF LINE' mode:",
      "  press the printer's UP and DOWN keys together,",
      "* the cable between the computer and the fiscal printer is not connected",
      "  or is connected incorrectly,",
      hint,
      "",
      "After checking these causes, try again whether the error is gone.",
  };
  std::string text;
  for (size_t i = 0; i < std::size(lines); ++i) {
    if (i > 0) text += '\n';
    text += lines[i];
  }
  return text;
}

std::map<int32_t, std::string> BuildEnglish() {
  std::map<int32_t, std::string> table = {
      {0, ""},
      {5,
       "The port cannot be opened. The serial port is probably in use by another "
       "application."},
      {23, "Invalid reply from the printer."},
      {24, "NAK in reply to the control sequence."},
      {99, "Communication not initialised."},
      {100, "No manufacturer data."},
      {101, "Service jumper in the service position."},
      {102, "No communication with the printer controller."},
      {103, "Printer failure."},
      {104, "No user data."},
      {105, "Fiscal module in READ ONLY mode."},
      {106, "No customer display."},
      {107, "CMOS memory erased. Enter the clock initialisation."},
      {108, "Daily report overdue."},
      {109, "Out of paper or print head raised."},
      {110, "A document in memory is waiting to be printed."},
      {111, "Characters in the print buffer are waiting to be printed."},
      {112, "Printing stopped for lack of paper."},
      {113, "No tax rates in the printer."},
      {114, "Communication parameters not set (port number)."},
      {200, "Receipt begun."},
      {201, "Receipt not begun."},
      {202, "Too few significant characters in the article name."},
      {203, "Tax rate of the item out of range."},
      {204, "Message number of the item out of range."},
      {205, "Quantity of the item out of range."},
      {206, "Decimal places of the quantity out of range."},
      {207, "Unit of the item out of range."},
      {208, "Price of the item out of range."},
      {209, "Value of the item differs from quantity times price."},
      {210, "The receipt has been cancelled."},
      {211, "Receipt counter is zero (no sales since the daily report)."},
      {212, "Drawer number out of range."},
      {213, "Command not available."},
      {214, "Package kind out of range."},
      {215, "Parameter passed to the function out of range."},
      {216, "All lines after the receipt are taken."},
      {217, "Tax rates not written."},
      {218, "Receipt counter not zero. A daily report must be made."},
      {219, "Invalid dates for the periodic report."},
      {220, "No reports in the given period."},
      {221, "Invalid numbers for the periodic report."},
      {222, "Month not finished."},
      {223, "Parameter N out of range."},
      {224, "Command not available on this device or in this program version."},
      {225, "Input buffer has zero length."},
      {226, "Tax rate not defined."},
      {227, "Maximum value of a receipt line exceeded."},
      {228, "Printer in training mode."},
      {229, "User data has not been saved."},
      {230, "CMOS memory is not erased."},
      {231, "Service jumper is in the normal position."},
      {232, "CRC error in the data sent to the printer"},
      {233, "Completeness error (data not sent in the right order)"},
      {234,
       "The same data was sent again. It has been saved but will not be printed on the "
       "daily report."},
      {235,
       "Data cannot be sent or erased. The previous data must be printed on a daily "
       "report."},
      {236, "One of the controllers was not identified"},
      {237, "The changeover to the euro must be made"},
      {238, "No data to show on the printer's display"},
      {239, "The clock is already initialised"},
      {240, "Invalid signature. The manufacturer's service must intervene."},
      {241, "Incompatible fiscal memory. The manufacturer's service must intervene."},
      {TAURAVAT_E_BUFFER_TOO_SMALL, "The output buffer is too small."},
      {TAURAVAT_E_NULL_ARGUMENT, "A required argument is missing (null pointer)."},
      {TAURAVAT_E_REENTERED, "The driver was called from inside its own call-back."},
      {TAURAVAT_E_PORT_NOT_FOUND, "The serial port does not exist (no such device)."},
      {TAURAVAT_E_PORT_PERMISSION, std::string(kPermissionEnglish)},
      {TAURAVAT_E_PORT_BUSY,
       "The serial port is in use by another program (or another connection of this one)."},
      {TAURAVAT_E_NOT_A_SERIAL_PORT, "The device is not a serial port."},
      {TAURAVAT_E_PORT_VANISHED,
       "The serial port has vanished: the adapter was unplugged or switched off, or the "
       "network device server dropped the connection."},
      {TAURAVAT_E_PORT_FAILED,
       "The serial port could not be opened or set up (the system's error tells why)."},
      {TAURAVAT_E_STOPPED, "The sale was stopped by its step call-back."},
      {999, "Internal exception in the library."},
  };
  table[20] = EnglishTimeoutText(
      "SEND TIMEOUT: the computer cannot send data to the fiscal printer ",
      "* the printer is connected to another serial port than the one chosen in the program.");
  table[21] = EnglishTimeoutText(
      "RECEIVE TIMEOUT: the computer cannot receive data from the fiscal printer ",
      "* the program uses another transmission speed than the one set in the printer.");
  return table;
}

std::string PolishUtf8(int32_t code) {
  if (const auto found = HandleOnlyPolish().find(code); found != HandleOnlyPolish().end())
    return std::string(found->second);
  // The legacy texts separate their lines by a bare carriage return.
  std::string text = Cp1250ToUtf8(MessageText(code));
  for (char& c : text)
    if (c == '\r') c = '\n';
  return text;
}

}  // namespace

std::string MessageTextUtf8(int32_t code, Language language) {
  if (language == Language::Polish) return PolishUtf8(code);
  static const std::map<int32_t, std::string> english = BuildEnglish();
  const auto found = english.find(code);
  return found == english.end() ? std::string(kUnknownEnglish) : found->second;
}

}  // namespace kestradr
