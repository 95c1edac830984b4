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

struct PortTimeouts {
  uint16_t writeSeconds = 0;
  uint16_t readSeconds = 0;
};

// The outcomes are not checked here: a port that failed to open fails the next exchange.
// The first returns the time-outs the port worked with before; the second puts them back,
// so a report leaves the caller's time-outs (CommunicationInit's, or OpenPort's) as they
// were.
PortTimeouts ReopenForLongReport();
void ReopenWithDefaultTimeouts(const PortTimeouts& before);

}  // namespace kestradr
