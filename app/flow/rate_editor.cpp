#include "rate_editor.hpp"

#include <QLocale>
#include <algorithm>
#include <cmath>

#include "communication_flow.hpp"
#include "device_models.hpp"
#include "rate_readout.hpp"

namespace taurasw {
namespace {

constexpr int kRows = 7;
constexpr double kHighestRate = 99.83;  // percent, as the confirmation has always allowed
constexpr int32_t kReceiptCounterNotZero = 218;
constexpr int32_t kPaperOutCode = 109;

// The rows the editor lays out and checks follow the model's rate format.
bool FiveRateModel(uint8_t type) {
  return kestradr::ModelOf(type).rateCount == 4;
}
bool SixRateModel(uint8_t type) {
  return kestradr::ModelOf(type).rateCount == 6;
}
bool HasCancelledReceiptCounter(uint8_t type) {
  return kestradr::ModelOf(type).cancelledReceiptCounter;
}

// How many of A..G the model's rate format carries, chosen by device type as the
// write chooses it: A..D on 0 and 4, A..F on 1, 2 and 5, A..G on the others.
size_t RatesCarried(uint8_t type) {
  if (FiveRateModel(type)) return 4;
  if (SixRateModel(type)) return 6;
  return kRows;
}

}  // namespace

bool OrderCheckPasses(const RateValues& rates, uint8_t deviceType) {
  size_t checked = 0;
  if (FiveRateModel(deviceType))
    checked = 4;
  else if (SixRateModel(deviceType))
    checked = 6;
  std::optional<uint32_t> previous;
  for (size_t i = 0; i < checked; ++i) {
    if (rates[i] == kReservedRateValue || rates[i] == kExemptRateValue) continue;
    if (previous && rates[i] > *previous) return false;
    previous = rates[i];
  }
  return true;
}

RateEditorFlow::RateEditorFlow(AppState& state, PrinterGateway& printer, UserInterface& ui,
                               AppServices& services)
    : state_(state), printer_(printer), ui_(ui), services_(services) {}

void RateEditorFlow::ReserveClick(int row, bool checked) {
  RateRow& r = rows[static_cast<size_t>(row)];
  r.reserve = checked;
  if (checked) r.exempt = false;
  r.fieldVisible = !checked;
}

void RateEditorFlow::ExemptClick(int row, bool checked) {
  RateRow& r = rows[static_cast<size_t>(row)];
  r.exempt = checked;
  if (checked) r.reserve = false;
  r.fieldVisible = !checked;
}

void RateEditorFlow::Tick(int row, bool reserve) {
  if (reserve)
    ReserveClick(row, true);
  else
    ExemptClick(row, true);
}

void RateEditorFlow::FirstLayoutPass(uint8_t deviceType) {
  if (FiveRateModel(deviceType)) {
    for (size_t i = 4; i < kRows; ++i) {
      rows[i].fieldVisible = false;
      rows[i].labelVisible = false;
      rows[i].reserveVisible = false;
    }
    for (RateRow& row : rows) row.exemptVisible = false;
    Tick(4, true);
    Tick(5, true);
    Tick(6, false);
  } else if (SixRateModel(deviceType)) {
    rows[6].fieldVisible = false;
    for (RateRow& row : rows) row.exemptVisible = false;
    rows[6].reserveVisible = false;
    rows[6].labelVisible = false;
  }
}

void RateEditorFlow::Prepare(const RateValues& read, uint8_t deviceType) {
  RateValues rates = read;
  const bool unprogrammed =
      std::all_of(rates.begin(), rates.end(), [](uint32_t v) { return v == kReservedRateValue; });
  if (unprogrammed) {
    rates = {
        2200, 700, 0, kReservedRateValue, kReservedRateValue, kReservedRateValue, kExemptRateValue};
  }
  for (int i = 0; i < kRows; ++i) {
    const uint32_t rate = rates[static_cast<size_t>(i)];
    RateRow& row = rows[static_cast<size_t>(i)];
    if (rate == kReservedRateValue) {
      Tick(i, true);
    } else if (rate == kExemptRateValue) {
      Tick(i, false);
    } else {
      row.fieldVisible = true;
      row.text = ShortestDecimal(rate / 100.0, QChar(','));
      row.reserve = false;
      row.exempt = false;
    }
  }

  ui_.SignalBeep();
  if (FiveRateModel(deviceType)) {
    for (size_t i = 4; i < kRows; ++i) {
      rows[i].fieldVisible = false;
      rows[i].labelVisible = false;
      rows[i].reserveVisible = false;
    }
    for (RateRow& row : rows) row.exemptVisible = false;
    Tick(6, false);
  } else if (SixRateModel(deviceType)) {
    for (size_t i = 0; i < 6; ++i) rows[i].exemptVisible = false;
    rows[6].reserveVisible = false;
    rows[6].labelVisible = false;
    Tick(6, false);
    rows[6].exemptVisible = false;
  } else {
    for (RateRow& row : rows) row.exemptVisible = true;
    rows[6].reserveVisible = true;
    rows[6].labelVisible = true;
  }
}

bool RateEditorFlow::ParseRate(const QString& text, double& value) const {
  QString plain = text.trimmed();
  plain.replace(state_.DecimalSeparator, QChar('.'));
  bool ok = false;
  value = QLocale::c().toDouble(plain, &ok);
  return ok && std::isfinite(value);
}

void RateEditorFlow::FieldExit(int row) {
  RateRow& r = rows[static_cast<size_t>(row)];
  if (r.text.trimmed().isEmpty()) r.text = QStringLiteral("0");
  double value = 0;
  if (!ParseRate(r.text, value)) {
    ui_.SignalBeep();
    ui_.MessageBox(BoxKind::Error, texts::kRateError + r.text);
    value = 0;
  }
  if (value < 0 || value > 99) {
    ui_.SignalBeep();
    ui_.MessageBox(BoxKind::Error, texts::kRateError + r.text + texts::kOutOfRange);
  }
  // The focus is not forced back: the check only informs.
}

std::optional<RateValues> RateEditorFlow::CollectRates() {
  RateValues rates{};
  for (size_t i = 0; i < kRows; ++i) {
    RateRow& row = rows[i];
    if (row.exempt) {
      rates[i] = kExemptRateValue;
    } else if (row.reserve) {
      rates[i] = kReservedRateValue;
    } else {
      if (row.text.trimmed().isEmpty()) row.text = QStringLiteral("0");
      double value = 0;
      if (!ParseRate(row.text, value)) {
        // Text that is no number at all stops the confirmation like one out of range.
        ui_.SignalBeep();
        ui_.MessageBox(BoxKind::Error, texts::kRateError + row.text);
        return std::nullopt;
      }
      if (value < 0 || value > kHighestRate) {
        ui_.SignalBeep();
        ui_.MessageBox(BoxKind::Error, texts::kRateError +
                                           ShortestDecimal(value, state_.DecimalSeparator) +
                                           texts::kOutOfRange);
        return std::nullopt;
      }
      rates[i] = static_cast<uint32_t>(std::lround(value * 100));
    }
  }
  return rates;
}

void RateEditorFlow::Button1Click() {
  BusyScope busy(ui_);
  uint8_t type = kDeviceUnknown;
  bool errorShown = false;
  if (connector_ == nullptr || !connector_->ConnectAndIdentify(type, errorShown)) {
    if (!errorShown) {
      ui_.SignalBeep();
      ui_.ShowCentreMessage(QString());
      ui_.MessageBox(BoxKind::Error, texts::kNotFiscalPrinter + QStringLiteral("."));
    }
    ui_.ShowCentreMessage(QString());
    return;
  }

  if (HasCancelledReceiptCounter(type)) {
    std::vector<uint8_t> reply;
    const int32_t result = printer_.RSSequence(0xF7, 7, reply);
    if (result != 0) {
      ui_.MessageBox(BoxKind::Error, services_.DriverErrorText(result));
      ui_.ShowCentreMessage(QString());
      return;
    }
    if (reply.size() < 2 || reply[0] != 0 || reply[1] != 0) {
      ui_.ShowCentreMessage(QString());
      ui_.MessageBox(BoxKind::Error, texts::kCancelledReceipts);
      ui_.ShowCentreMessage(QString());
      return;
    }
  }

  const std::optional<RateValues> rates = CollectRates();
  if (!rates) return;
  if (!OrderCheckPasses(*rates, type)) {
    ui_.MessageBox(BoxKind::OrderError, texts::kOrder);
    return;
  }

  takEnabled = false;
  // The rows a model does not carry (E..G on 4-rate models, G on 6-rate ones) hold the
  // editor's fixed markers, not anything the printer keeps: comparing them would
  // rewrite an unchanged table, and could force a daily report for it.
  const auto carried = static_cast<std::ptrdiff_t>(RatesCarried(type));
  const bool unchanged =
      std::equal(rates->begin(), rates->begin() + carried, state_.CurrentRates.begin(),
                 [](uint32_t rate, uint16_t held) { return rate == held; });
  if (unchanged) {
    takEnabled = true;
    ui_.SignalBeep();
    ui_.MessageBox(BoxKind::Information, texts::kUnchanged);
    return;
  }
  WriteLoop(*rates, type);
  takEnabled = true;
}

void RateEditorFlow::WriteLoop(const RateValues& rates, uint8_t deviceType) {
  for (;;) {
    int32_t count = 7;
    const int32_t result = printer_.SetVAT(count, rates);
    if (result == 0) {
      takEnabled = true;
      if (readOut_ != nullptr) readOut_->Odczyt1Click();
      return;
    }
    if (result != kReceiptCounterNotZero) {
      // Every failure is shown; the operator stays in the editor.
      services_.ShowDriverError(result);
      ui_.ShowCentreMessage(QString());
      return;
    }
    if (!ui_.MessageBox(BoxKind::Question, texts::kReceiptCounter)) return;

    ui_.ShowCentreMessage(texts::kDailyReport);
    const int32_t report = printer_.DailyReport(1);
    if (report == kPaperOutCode) {
      if (!PaperLoop(report, deviceType)) return;
    } else if (report != 0) {
      // A failed report is shown rather than followed by the same question again.
      services_.ShowDriverError(report);
      ui_.ShowCentreMessage(QString());
      return;
    }
  }
}

bool RateEditorFlow::PaperLoop(int32_t result, uint8_t deviceType) {
  while (result == kPaperOutCode) {
    if (!ui_.MessageBox(BoxKind::WarningQuestion, texts::kPaperOut)) return true;
    result = printer_.PrintControl(1, deviceType);
  }
  if (result != 0) {
    const QString text = services_.DriverErrorText(result);
    ui_.SignalBeep();
    ui_.ShowCentreMessage(QString());
    ui_.MessageBox(BoxKind::Error, text);
    return false;
  }
  return true;
}

}  // namespace taurasw
