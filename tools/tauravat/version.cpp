#include "version.hpp"

#include <nlohmann/json.hpp>

#include "tauravat.h"

namespace tauravat::cli {

std::string VersionText(bool json) {
  const std::string library = tauravat_version();
  if (json) {
    const nlohmann::json out = {{"ok", true},
                                {"code", 0},
                                {"version", TAURAVAT_PROGRAM_VERSION},
                                {"library_version", library}};
    return out.dump(2) + "\n";
  }
  return std::string("tauravat ") + TAURAVAT_PROGRAM_VERSION + "\nlibtauravat " + library + "\n";
}

}  // namespace tauravat::cli
