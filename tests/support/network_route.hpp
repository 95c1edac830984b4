// The suites' in-process lines reached through a real serial device server. With
// TAURAVAT_TEST_NETWORK=raw or =rfc2217 every port the driver opens on a routed line is
// the socket:// or rfc2217:// device, connected to ser2net on loopback, which holds a
// pseudo-terminal whose other end a pump feeds to the line and answers from it. Records,
// printers and fault hooks stay the line's; only the way the bytes travel changes.
#pragma once

#include <memory>
#include <string>

#include "serial_device.hpp"

namespace kestradr::testing {

class InProcessLine;

// "raw" or "rfc2217" from TAURAVAT_TEST_NETWORK; empty: lines are reached in process.
std::string NetworkRouteMode();

// Opens every port on `line` over the network route; ser2net is started on first use and
// stopped by its pid when the program ends.
DeviceOpener NetworkOpener(std::shared_ptr<InProcessLine> line);

// Kills the device server (it vanishes without a word) and starts it again on the same
// ports: every connection to it drops, which the driver reads as a line error.
void RestartNetworkServer();

}  // namespace kestradr::testing
