#include "services.hpp"

#include <array>
#include <utility>

namespace taurasw {

int ComputePrinterStateCode(const StatusRead& status) {
  const auto& s = status.s;
  int code = kPrinterReady;
  if (s[2] & 0x10) code = kCmosErased;
  if (s[1] & 0x04) code = kReadOnlyMode;
  if (status.count >= 5 && (s[5] & 0x40)) code = kNoProgrammingVoltage;
  if (status.count >= 7 && (s[7] & 0x02)) code = kLowBattery;
  if (s[2] & 0x80) code = kNoControllerLink;
  if (s[3] & 0x04) code = kPrinterFailure;
  if (s[3] & 0x02) code = kPaperOut;
  return code;
}

QString PrinterStateText(int code) {
  switch (code) {
    case kPrinterReady:
      return {};
    case kCmosErased:
      return texts::kCmosErased;
    case kReadOnlyMode:
      return QStringLiteral("Drukarka w trybie TYLKO ODCZYT.");
    case kNoProgrammingVoltage:
      return QStringLiteral("Brak napięcia programującego pamięć fiskalną.");
    case kLowBattery:
      return QStringLiteral("Niskie napięcie akumulatora głównego");
    case kNoControllerLink:
      return QStringLiteral("Brak komunikacji z kontrolerem drukarki");
    case kPrinterFailure:
      return QStringLiteral("Wystąpiła awaria drukarki");
    case kPaperOut:
      return QStringLiteral("Brak papieru lub podniesiona głowica mechanizmu drukującego");
    default:
      return QStringLiteral("NIEZDEFINIOWANY BŁĄD");
  }
}

QString LockMessage(uint8_t lockByte) {
  // Bit 0x40 has no text of its own.
  static const std::array<std::pair<uint8_t, const char*>, 7> kReasons = {{
      {0x01, "USZKODZONA PAMIĘĆ PROGRAMU."},
      {0x02, "Błąd odczytu z pamięci fiskalnej."},
      {0x04, "Brak pamięci fiskalnej."},
      {0x08, "Uszkodzone dane w pamięci nieulotnej."},
      {0x10, "Brak danych producenta w pamięci fiskalnej."},
      {0x20, "Niezgodna pamięć fiskalna."},
      {0x80, "Uszkodzona pamięć programu."},
  }};
  QString text = QStringLiteral("KASA ZABLOKOWANA: \r\n");
  for (const auto& [bit, line] : kReasons) {
    if (lockByte & bit) text += QString::fromUtf8(line) + QStringLiteral("\r\n");
  }
  return text;
}

QString ShortestDecimal(double value, QChar separator) {
  QString text = QString::number(value, 'g', 15);
  text.replace(QChar('.'), separator);
  return text;
}

void AppServices::ErrorBox(const QString& text) {
  ui_.SignalBeep();
  ui_.MessageBox(BoxKind::Error, text);
}

bool AppServices::CheckPrinterState(bool& commError, int& state) {
  BusyScope busy(ui_);
  state = kPrinterReady;
  StatusRead status;
  if (!ReadStatus(status, commError)) return false;
  state = ComputePrinterStateCode(status);
  return state == kPrinterReady;
}

QString AppServices::DriverErrorText(int32_t code) {
  return printer_.ErrMessage(code);
}

void AppServices::ShowDriverError(int32_t code) {
  ErrorBox(DriverErrorText(code));
}

bool AppServices::TestCmosErased(bool& commError) {
  StatusRead status;
  if (!ReadStatus(status, commError)) return false;
  return (status.s[2] & 0x10) != 0;
}

bool AppServices::ReadStatus(StatusRead& status, bool& commError) {
  const int32_t result = printer_.ReadStatusBytes(status);
  commError = result != 0;
  if (commError) ShowDriverError(result);
  return !commError;
}

}  // namespace taurasw
