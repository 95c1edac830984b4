// The port and speed the application chose (its dialog or command line). Long
// reports reopen the port with them; a caller that never chose (any point-of-sale
// program) leaves them 0 and the reports use what CommunicationInit recorded.
#pragma once

#include <cstdint>

namespace kestradr {

extern uint8_t SelectedPort;
extern uint16_t SelectedSpeed;

}  // namespace kestradr
