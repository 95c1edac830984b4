// The decisions of the tax-rate editor TfStawkiPodatkowe: its preparation and layout
// by device type, the box handlers, the field check, and the confirmation with its
// checks and the write loop (daily report and paper loop included).
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <optional>

#include "app_state.hpp"
#include "printer_gateway.hpp"
#include "services.hpp"
#include "tauravat.h"
#include "user_interface.hpp"

namespace taurasw {

class Connector;
class RateReadOut;

// One row of the editor: the field me<N>, the boxes cb<N>R and cb<N>Z, Label<N>.
struct RateRow {
  QString text;
  bool reserve = false;
  bool exempt = false;
  bool fieldVisible = true;
  bool labelVisible = true;
  bool reserveVisible = true;
  bool exemptVisible = true;
};

namespace texts {
inline const QString kRateError = QStringLiteral("Błąd w stawce podatkowej: ");
inline const QString kOutOfRange = QStringLiteral(" (stawka poza zakresem)");
inline const QString kCancelledReceipts = QStringLiteral(
    "  Licznik paragonów anulowanych jest większy od 0.   \r"
    "Nie można zapisać stawek VAT! Wykonaj Raport Dobowy");
inline const QString kOrder = QStringLiteral(
    "W podłączonym urządzeniu stawki można wprowadzać tylko w kolejności nierosnącej.\r"
    "Należy zmienić kolejność stawek.");
inline const QString kUnchanged =
    QStringLiteral("Stawki podatkowe nie uległy zmianie dlatego nie zostaną zapisane.");
inline const QString kReceiptCounter =
    QStringLiteral("  Licznik paragonów jest różny od 0  \rCzy wykonać raport dobowy?");
inline const QString kDailyReport = QStringLiteral("Raport dobowy...");
inline const QString kPaperOut = QStringLiteral(
    " Brak papieru lub podniesiona głowica mechanizmu drukującego\r"
    "Czy wznowić wydruk po założeniu papieru?");
}  // namespace texts

// The order check of the driver's rate check (tauravat_check_rates): the ordinary rates of
// the rows the model orders (A..D on the 5-rate models, A..F on the 7-rate RX820 and TAURA
// I, none elsewhere) must not grow from one to the next (A >= B >= C ...). Reserved and
// exempt rates are left out.
bool OrderCheckPasses(const RateValues& rates, uint8_t deviceType);

class RateEditorFlow {
 public:
  RateEditorFlow(AppState& state, PrinterGateway& printer, UserInterface& ui,
                 AppServices& services);
  void SetConnector(Connector* connector) { connector_ = connector; }
  void SetReadOut(RateReadOut* readOut) { readOut_ = readOut; }

  std::array<RateRow, 7> rows;
  bool takEnabled = true;  // Button1 "Tak"
  QString statusText;      // sb

  // The dialog's first pass over the layout, before it knows the rates.
  void FirstLayoutPass(uint8_t deviceType);
  // The rates read (the proposal when none is programmed), then the layout.
  void Prepare(const RateValues& read, uint8_t deviceType);

  void FormActivate() { takEnabled = true; }
  void ReserveClick(int row, bool checked);  // cb1RClick .. cb7RClick
  void ExemptClick(int row, bool checked);   // cb1ZClick .. cb7ZClick
  void FieldExit(int row);                   // me1Exit, shared by all seven
  void Button1Click();                       // "Tak"

  // The seven rates of the rows, or nothing after a field that failed (shown): each a
  // number from 0 to the model's highest rate.
  std::optional<RateValues> CollectRates(const tauravat_model_info& model);

 private:
  void Tick(int row, bool reserve);
  void WriteLoop(const RateValues& rates);
  // Follows a daily report that stopped for paper; true when the write goes on.
  bool PaperLoop(int32_t result);
  bool ParseRate(const QString& text, double& value) const;

  AppState& state_;
  PrinterGateway& printer_;
  UserInterface& ui_;
  AppServices& services_;
  Connector* connector_ = nullptr;
  RateReadOut* readOut_ = nullptr;
};

}  // namespace taurasw
