// The handle interface's port listing: the platform's list kept in one allocation the
// caller frees, read through a size-prefixed struct so that the struct can grow.
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "export_guard.hpp"
#include "port_list.hpp"
#include "tauravat.h"

using namespace kestradr;

struct tauravat_port_list {
  struct Port {
    SerialPortInfo info;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::vector<int32_t> comNumbers;
  };
  std::vector<Port> ports;
};

namespace {

// The minimum a caller's struct must have: every field of this header's.
constexpr uint32_t kPortInfoSize = sizeof(tauravat_port_info);

// sysfs writes ids as four hex digits; anything else reads as 0.
uint16_t HexId(const std::string& text) {
  if (text.empty() || text.size() > 4) return 0;
  char* end = nullptr;
  const unsigned long value = std::strtoul(text.c_str(), &end, 16);
  return *end == '\0' ? static_cast<uint16_t>(value) : 0;
}

}  // namespace

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_list_ports(tauravat_port_list** out,
                                                                  size_t* count) {
  if (out == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  *out = nullptr;
  return Guarded([&]() -> int32_t {
    auto list = std::make_unique<tauravat_port_list>();
    for (SerialPortInfo& found : ListSerialPorts()) {
      tauravat_port_list::Port port;
      if (found.usb) {
        port.vendorId = HexId(found.usb->vendorId);
        port.productId = HexId(found.usb->productId);
      }
      port.comNumbers.assign(found.comNumbers.begin(), found.comNumbers.end());
      port.info = std::move(found);
      list->ports.push_back(std::move(port));
    }
    if (count != nullptr) *count = list->ports.size();
    *out = list.release();
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL
tauravat_port_list_item(const tauravat_port_list* list, size_t index, tauravat_port_info* info) {
  if (list == nullptr || info == nullptr) return TAURAVAT_E_NULL_ARGUMENT;
  return Guarded([&]() -> int32_t {
    if (info->size < kPortInfoSize || index >= list->ports.size()) {
      return TAURAVAT_E_PARAMETER_RANGE;
    }
    const tauravat_port_list::Port& port = list->ports[index];
    static const std::string kNone;
    const UsbDevice* usb = port.info.usb ? &*port.info.usb : nullptr;
    info->path = port.info.path.c_str();
    info->by_id = port.info.byId.c_str();
    info->usb = usb != nullptr ? 1 : 0;
    info->usb_vendor_id = port.vendorId;
    info->usb_product_id = port.productId;
    info->usb_serial = (usb != nullptr ? usb->serial : kNone).c_str();
    info->usb_manufacturer = (usb != nullptr ? usb->manufacturer : kNone).c_str();
    info->usb_product = (usb != nullptr ? usb->product : kNone).c_str();
    info->com_numbers = port.comNumbers.data();
    info->com_count = port.comNumbers.size();
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL tauravat_free_ports(tauravat_port_list* list) {
  delete list;
  return TAURAVAT_OK;
}
