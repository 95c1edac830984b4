#include "rate_readout.hpp"

#include "communication_flow.hpp"

namespace taurasw {

std::optional<ReadOutView> ReadOutLines(int32_t count, const RateValues& rates, QChar separator) {
  if (count != 4 && count != 6 && count != 7) return std::nullopt;
  ReadOutView view;
  for (size_t i = 0; i < view.lines.size(); ++i) {
    const uint32_t value = rates[i];
    QString shown;
    if (value == kReservedRateValue) {
      shown = QStringLiteral("REZERWA");
    } else if (value == kExemptRateValue) {
      shown = QStringLiteral("ZWOLNIONA");
    } else if (count == 4) {
      shown = QString::number(value / 100) + QStringLiteral(" %");
    } else {
      shown = ShortestDecimal(value / 100.0, separator) + QStringLiteral(" %");
    }
    view.lines[i] =
        QStringLiteral("Stawka PTU %1 : ").arg(QChar('A' + static_cast<int>(i))) + shown;
    view.visible[i] = static_cast<int32_t>(i) < count;
  }
  return view;
}

RateReadOut::RateReadOut(AppState& state, PrinterGateway& printer, UserInterface& ui,
                         AppServices& services, Connector& connector)
    : state_(state), printer_(printer), ui_(ui), services_(services), connector_(connector) {}

void RateReadOut::Odczyt1Click() {
  BusyScope busy(ui_);
  uint8_t type = kDeviceUnknown;
  bool errorShown = false;
  if (!connector_.ConnectAndIdentify(type, errorShown)) {
    if (!errorShown) {
      ui_.SignalBeep();
      ui_.ShowCentreMessage(QString());
      ui_.MessageBox(BoxKind::Error, texts::kNotFiscalPrinter);
    }
    ui_.ShowCentreMessage(QString());
    return;
  }

  bool commError = false;
  const bool erased = services_.TestCmosErased(commError);
  if (commError) return;
  if (erased) {
    ui_.SignalBeep();
    ui_.ShowCentreMessage(QString());
    ui_.MessageBox(BoxKind::Error, texts::kCmosErased);
    return;
  }

  RateValues rates{};
  int32_t count = 0;
  const int32_t result = printer_.ReadVAT(count, rates);
  if (result != 0) {
    ui_.MessageBox(BoxKind::Error, services_.DriverErrorText(result));
    return;
  }
  state_.CurrentRates.fill(0);
  for (int32_t i = 0; i < count && i < 7; ++i)
    state_.CurrentRates[static_cast<size_t>(i)] =
        static_cast<uint16_t>(rates[static_cast<size_t>(i)]);

  const std::optional<ReadOutView> view = ReadOutLines(count, rates, state_.DecimalSeparator);
  if (!view) {
    ui_.ShowCentreMessage(QString());
    return;
  }
  ui_.SignalBeep();
  ui_.ShowReadOut(*view);
}

}  // namespace taurasw
