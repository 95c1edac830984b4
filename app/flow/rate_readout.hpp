// The rate read-out (Odczyt1Click of the main window): reads the rates the printer
// holds after a write, keeps them as CurrentRates and fills TfOdczytStawek.
#pragma once

#include <cstdint>
#include <optional>

#include "app_state.hpp"
#include "printer_gateway.hpp"
#include "services.hpp"
#include "user_interface.hpp"

namespace taurasw {

class Connector;

// The lines of the view for `count` rates (4, 6 or 7); nothing for another count.
std::optional<ReadOutView> ReadOutLines(int32_t count, const RateValues& rates, QChar separator);

class RateReadOut {
 public:
  RateReadOut(AppState& state, PrinterGateway& printer, UserInterface& ui, AppServices& services,
              Connector& connector);

  void Odczyt1Click();

 private:
  AppState& state_;
  PrinterGateway& printer_;
  UserInterface& ui_;
  AppServices& services_;
  Connector& connector_;
};

}  // namespace taurasw
