// Where the port object gets its device and the port probe its answer: the platform's
// own, or what a test installed with SetDeviceOpener / SetPortProbe.
#pragma once

#include "serial_device.hpp"

namespace kestradr {

DeviceOpenResult OpenConfiguredDevice(const PortAddress& address);
bool ProbeConfiguredPort(int port);

}  // namespace kestradr
