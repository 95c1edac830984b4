#include "rate_editor.hpp"

#include <QLocale>
#include <algorithm>
#include <cmath>

#include "communication_flow.hpp"
#include "printer_model.hpp"
#include "rate_readout.hpp"

namespace taurasw {
namespace {

constexpr int kRows = 7;
constexpr int32_t kReceiptCounterNotZero = 218;
constexpr int32_t kPaperOutCode = 109;

// The rows the editor lays out follow the model's rate format.
bool FiveRateModel(uint8_t type) {
  return PrinterModel(type).rate_count == 4;
}
bool SixRateModel(uint8_t type) {
  return PrinterModel(type).rate_count == 6;
}

// The driver's verdict on the table for the model: TAURAVAT_OK or the first problem.
tauravat_problem CheckRates(const RateValues& rates, const tauravat_model_info& model) {
  tauravat_rates table{sizeof table, kRows, {}};
  std::copy(rates.begin(), rates.end(), table.values);
  tauravat_problem problem{};
  problem.size = sizeof problem;
  tauravat_check_rates(&model, &table, &problem);
  return problem;
}

}  // namespace

bool OrderCheckPasses(const RateValues& rates, uint8_t deviceType) {
  return CheckRates(rates, PrinterModel(deviceType)).rule != TAURAVAT_RULE_ORDER;
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

std::optional<RateValues> RateEditorFlow::CollectRates(const tauravat_model_info& model) {
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
      if (value < 0 || value > model.highest_rate / 100.0) {
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

  const tauravat_model_info model = PrinterModel(type);
  if ((model.features & TAURAVAT_FEATURE_CANCELLED_COUNTER) != 0) {
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

  const std::optional<RateValues> rates = CollectRates(model);
  if (!rates) return;
  // The rules of the model's rate format are the driver's; the wording the editor's own.
  const tauravat_problem problem = CheckRates(*rates, model);
  if (problem.rule == TAURAVAT_RULE_ORDER) {
    ui_.MessageBox(BoxKind::OrderError, texts::kOrder);
    return;
  }
  if (problem.code != TAURAVAT_OK) {
    services_.ShowDriverError(problem.code);
    return;
  }

  takEnabled = false;
  // The rows a model does not carry (E..G on 4-rate models, G on 6-rate ones) hold the
  // editor's fixed markers, not anything the printer keeps: comparing them would
  // rewrite an unchanged table, and could force a daily report for it.
  const auto carried = static_cast<std::ptrdiff_t>(model.rate_count);
  const bool unchanged =
      std::equal(rates->begin(), rates->begin() + carried, state_.CurrentRates.begin(),
                 [](uint32_t rate, uint16_t held) { return rate == held; });
  if (unchanged) {
    takEnabled = true;
    ui_.SignalBeep();
    ui_.MessageBox(BoxKind::Information, texts::kUnchanged);
    return;
  }
  WriteLoop(*rates);
  takEnabled = true;
}

void RateEditorFlow::WriteLoop(const RateValues& rates) {
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
      if (!PaperLoop(report)) return;
    } else if (report != 0) {
      // A failed report is shown rather than followed by the same question again.
      services_.ShowDriverError(report);
      ui_.ShowCentreMessage(QString());
      return;
    }
  }
}

bool RateEditorFlow::PaperLoop(int32_t result) {
  while (result == kPaperOutCode) {
    if (!ui_.MessageBox(BoxKind::WarningQuestion, texts::kPaperOut)) return true;
    result = printer_.PrintControl(1);
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
