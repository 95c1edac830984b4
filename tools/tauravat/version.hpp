// --version: the program's version and the version of the library it has loaded, which
// may be another build than the one it was compiled with.
#pragma once

#include <string>

namespace tauravat::cli {

// "tauravat 10.0.0\nlibtauravat 10.0.0\n", or the same as one JSON object.
std::string VersionText(bool json);

}  // namespace tauravat::cli
