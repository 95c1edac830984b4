// Which device a network path opens.
#include "os_error.hpp"
#include "tcp_serial_device.hpp"

namespace kestradr {

DeviceOpenResult OpenRfc2217Device(const NetAddress& address);  // rfc2217_device.cpp

DeviceOpenResult OpenNetworkDevice(std::string_view path) {
  const std::optional<NetAddress> address = ParseNetAddress(path);
  if (!address) {
    DeviceOpenResult result;
    result.osError = kErrorInvalidParameter;
    return result;
  }
  return address->protocol == NetAddress::Protocol::Rfc2217 ? OpenRfc2217Device(*address)
                                                            : TcpSerialDevice::Open(*address);
}

}  // namespace kestradr
