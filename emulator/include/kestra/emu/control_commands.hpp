#pragma once

#include <string>
#include <string_view>

#include "kestra/emu/printer.hpp"

namespace kestra::emu {

// One command of kestra-emu's control socket, a JSON object on one line, carried out on
// the printer; returns the one-line JSON reply (without the line feed):
//
//   {"command":"load-paper"}                       paper in again (a stopped printout
//                                                  waits for the computer's resume)
//   {"command":"paper-out"}                        the paper runs out now
//   {"command":"paper-out","after":N}              ... after N more printed lines
//   {"command":"fault","rule":"0x24:nak:0:1"}      as --fault; SKIP counts from now
//   {"command":"set-status","name":"status94","value":8}    as --status94 and the like
//   {"command":"state"}                            {"ok":true,"state":<the snapshot>}
//   {"command":"paper"}                            {"ok":true,"paper":[lines],"printedLines":N}
//
// Success answers {"ok":true} (with the data asked for); a mistake {"ok":false,"error":
// "<why>"} and changes nothing. Numbers may also be given as text ("0x08").
std::string ControlReply(Printer& printer, std::string_view line);

}  // namespace kestra::emu
