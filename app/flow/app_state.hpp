// The program-wide state the dialog, the editor and the read-out share for one run.
// Nothing of it is stored anywhere.
#pragma once

#include <QChar>
#include <array>
#include <cstdint>

namespace taurasw {

// The COM numbers the program can name: the driver takes a byte, and the platform's
// port mapping (with its TAURAVAT_COM<n> overrides on POSIX) may name any of them.
inline constexpr int kHighestComPort = 255;

struct AppState {
  bool FirstActivation = true;  // the start-up connection has not run yet
  uint8_t SelectedPort = 0;     // 0: none chosen
  uint16_t SelectedSpeed = 0;   // 0: none chosen
  // The rates as the printer held them when last read, A..G.
  std::array<uint16_t, 7> CurrentRates{};
  // The program's decimal separator, used by the read-out view.
  QChar DecimalSeparator = QChar('.');
};

}  // namespace taurasw
