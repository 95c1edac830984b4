// The main window's printer services that the dialog and the editor share: the
// printer-state check with its codes and texts, the CMOS test, the lock-reason text
// and the error box preceded by the beep.
#pragma once

#include <QString>
#include <cstdint>

#include "printer_gateway.hpp"
#include "user_interface.hpp"

namespace taurasw {

enum PrinterStateCode : int {
  kPrinterReady = 0,
  kCmosErased = 1,
  kReadOnlyMode = 2,
  kNoProgrammingVoltage = 3,
  kNoControllerLink = 4,
  kPrinterFailure = 5,
  kPaperOut = 6,
  kLowBattery = 7,
};

// The conditions are tested row by row and each match overwrites the code, so the
// later row wins: paper out over failure over lost controller over low battery ...
int ComputePrinterStateCode(const StatusRead& status);
QString PrinterStateText(int code);  // empty for kPrinterReady

// "KASA ZABLOKOWANA: " and one line per set bit of the lock byte (command 0x60).
QString LockMessage(uint8_t lockByte);

// Rate value / 100 in shortest decimal form: 2200 gives "22", 2250 "22,5" with ','.
QString ShortestDecimal(double value, QChar separator);

namespace texts {
inline const QString kCmosErased =
    QStringLiteral("Skasowana pamięć CMOS. Należy zainicjować zegar.");
inline const QString kNotFiscalPrinter =
    QStringLiteral("Podłączone urządzenie nie jest drukarką fiskalną");
inline const QString kNoSerialPorts = QStringLiteral("Brak portów szeregowych w systemie");
}  // namespace texts

class AppServices {
 public:
  AppServices(PrinterGateway& printer, UserInterface& ui) : printer_(printer), ui_(ui) {}

  // SignalBeep, then the error box.
  void ErrorBox(const QString& text);
  // The driver's text of a result code: the one place the program asks for it.
  QString DriverErrorText(int32_t code);
  // The error box (after the beep) with the driver's text of `code`.
  void ShowDriverError(int32_t code);

  // True only for a ready printer. A failed status read is shown here (commError);
  // a printer that is not ready is the caller's to show, by `state`.
  bool CheckPrinterState(bool& commError, int& state);
  // True when the CMOS memory was erased. A failed status read is shown here.
  bool TestCmosErased(bool& commError);

 private:
  // Reads the status bytes; a failure is shown and marked in commError.
  bool ReadStatus(StatusRead& status, bool& commError);

  PrinterGateway& printer_;
  UserInterface& ui_;
};

}  // namespace taurasw
