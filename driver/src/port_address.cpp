#include <charconv>

#include "serial_device.hpp"

namespace kestradr {

PortAddress ParsePortAddress(std::string_view device) {
  const auto isCom = [](std::string_view text) {
    return text.size() >= 3 && (text[0] == 'C' || text[0] == 'c') &&
           (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
  };
  if (isCom(device) && device.size() > 3 && device.size() <= 6) {
    int number = 0;
    const char* first = device.data() + 3;
    const char* last = device.data() + device.size();
    const auto [end, error] = std::from_chars(first, last, number);
    if (error == std::errc() && end == last && *first != '0' && number >= 1 && number <= 255)
      return {number, {}};
  }
  return {0, std::string(device)};
}

}  // namespace kestradr
