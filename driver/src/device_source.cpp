#include "device_source.hpp"

#include <mutex>
#include <utility>

namespace kestradr {
namespace {

struct Source {
  std::mutex mutex;
  DeviceOpener opener;
  PortProbe probe;
};

Source& TheSource() {
  static Source source;
  return source;
}

}  // namespace

void SetDeviceOpener(DeviceOpener opener) {
  std::lock_guard lock(TheSource().mutex);
  TheSource().opener = std::move(opener);
}

void SetPortProbe(PortProbe probe) {
  std::lock_guard lock(TheSource().mutex);
  TheSource().probe = std::move(probe);
}

DeviceOpenResult OpenConfiguredDevice(const PortAddress& address) {
  DeviceOpener opener;
  {
    std::lock_guard lock(TheSource().mutex);
    opener = TheSource().opener;
  }
  return opener ? opener(address) : OpenPlatformDevice(address);
}

bool ProbeConfiguredPort(int port) {
  PortProbe probe;
  {
    std::lock_guard lock(TheSource().mutex);
    probe = TheSource().probe;
  }
  return probe ? probe(port) : ProbePlatformPort(port);
}

}  // namespace kestradr
