#include "report_port.hpp"

#include "comm.hpp"
#include "connection.hpp"
#include "port_choice.hpp"

namespace kestradr {

namespace {
void Reopen(uint16_t writeTimeout, uint16_t readTimeout) {
  const ReportPort chosen = PortForReports();
  // A caller that opened the port itself (OpenPort) named it to nobody: closing it would
  // lose it, so only its time-outs change.
  if (chosen.port == 0) {
    SetPortTimeouts(writeTimeout, readTimeout);
    return;
  }
  DonePort();
  InitPort(chosen.port, chosen.speed, writeTimeout, readTimeout);
}
}  // namespace

ReportPort PortForReports() {
  if (SelectedPort != 0) return {SelectedPort, SelectedSpeed};
  return {static_cast<uint8_t>(PortNumber), BaudRate};
}

PortTimeouts ReopenForLongReport() {
  // No port open: the driver opens its ports with the application's time-out both ways.
  const auto application = static_cast<uint16_t>(ReadTimeout);
  PortTimeouts before{application, application};
  CurrentPortTimeouts(before.writeSeconds, before.readSeconds);
  Reopen(PortWriteTimeout, kReportReadTimeout);
  return before;
}

void ReopenWithDefaultTimeouts(const PortTimeouts& before) {
  Reopen(before.writeSeconds, before.readSeconds);
}

}  // namespace kestradr
