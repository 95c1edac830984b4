#include "language.hpp"

#include <cstdlib>
#include <string_view>

namespace tauravat::cli {

std::string LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (value == nullptr || *value == '\0') continue;
    // pl, pl_PL, pl_PL.UTF-8, pl_PL.ISO-8859-2@euro ...
    const std::string_view name(value);
    return name.starts_with("pl") && (name.size() == 2 || name[2] == '_' || name[2] == '.') ? "pl"
                                                                                            : "en";
  }
  return "en";
}

std::string EnvironmentLanguage() {
  return LanguageOfLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG"));
}

}  // namespace tauravat::cli
