#include "port_choice.hpp"

namespace kestradr {

// 0 until the program's dialog or command line chooses; a point-of-sale caller never does.
uint8_t SelectedPort = 0;
uint16_t SelectedSpeed = 0;

}  // namespace kestradr
