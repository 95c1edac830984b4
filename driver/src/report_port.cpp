#include "report_port.hpp"

#include "comm.hpp"
#include "connection.hpp"
#include "port_choice.hpp"

namespace kestradr {

namespace {
void Reopen(uint16_t readTimeout) {
  const ReportPort chosen = PortForReports();
  // A caller that opened the port itself (OpenPort) named it to nobody: closing it would
  // lose it, so only its time-outs change.
  if (chosen.port == 0) {
    SetPortTimeouts(PortWriteTimeout, readTimeout);
    return;
  }
  DonePort();
  InitPort(chosen.port, chosen.speed, PortWriteTimeout, readTimeout);
}
}  // namespace

ReportPort PortForReports() {
  if (SelectedPort != 0) return {SelectedPort, SelectedSpeed};
  return {static_cast<uint8_t>(PortNumber), BaudRate};
}

void ReopenForLongReport() {
  Reopen(kReportReadTimeout);
}

void ReopenWithDefaultTimeouts() {
  Reopen(PortReadTimeout);
}

}  // namespace kestradr
