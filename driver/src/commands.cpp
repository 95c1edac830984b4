#include "commands.hpp"

namespace kestradr {

bool IsBareDataCommand(uint8_t command) {
  switch (command) {
    case 94:
    case 96:
    case 144:
    case 148:
    case 149:
    case 150:
    case 155:
    case 159:
      return true;
    default:
      return false;
  }
}

uint8_t RecordLength(uint8_t command) {
  switch (command) {
    case 162:
    case 163:
    case 165:
      return 11;
    case 173:
    case 174:
      return 16;
    case 231:
      return 4;
    case 233:
    case 238:
      return 20;
    case 234:
      return 8;
    default:
      return 0;
  }
}

}  // namespace kestradr
