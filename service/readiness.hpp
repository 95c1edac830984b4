// Telling systemd that the service is ready (a Type=notify unit).
#pragma once

#include <string_view>

namespace tauravatd {

// Sends `state` ("READY=1", "STOPPING=1", ...) to the service manager's socket named by
// $NOTIFY_SOCKET, a path or "@" and an abstract name. False when the variable is not set
// (not started by systemd) or the datagram could not be sent; nothing else happens then.
bool NotifyServiceManager(std::string_view state);

}  // namespace tauravatd
