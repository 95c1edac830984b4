#include "version.hpp"

#include <nlohmann/json.hpp>

#include "encoding.hpp"
#include "tauravat.hpp"

namespace tauravat::cli {

std::string VersionText(bool json) {
  std::string library;
  if (DllVersion(library) != 0) library = "unknown";
  library = Cp1250ToUtf8(library);
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
