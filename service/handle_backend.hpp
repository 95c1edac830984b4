// The shipped driver behind the service: one handle of the driver's handle interface
// (tauravat.h) per printer.
#pragma once

#include <memory>

#include "printer_backend.hpp"

namespace tauravatd {

std::unique_ptr<Driver> MakeHandleDriver();

// The name of a result code as tauravat.h names it ("TAURAVAT_E_PAPER_OUT"); codes the
// header does not name (operating-system errors from opening a port) are "OS_ERROR".
std::string CodeName(int32_t code);

}  // namespace tauravatd
