// The port around a long report: reopened with a read time-out long enough for the
// printer to finish the report before it answers, and reopened as usual afterwards.
#pragma once

#include <cstdint>

namespace kestradr {

inline constexpr uint16_t kReportReadTimeout = 90;  // seconds

// The port and speed a reopening uses: the application's choice, or, for a caller that
// never chose one, what CommunicationInit recorded; port 0 when neither is known, and
// then the open port only gets the new time-outs.
struct ReportPort {
  uint8_t port = 0;
  uint32_t speed = 0;
};
ReportPort PortForReports();

// The outcomes are not checked here: a port that failed to open fails the next exchange.
void ReopenForLongReport();
void ReopenWithDefaultTimeouts();

}  // namespace kestradr
