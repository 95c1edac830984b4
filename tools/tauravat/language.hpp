// The language of the program's messages: Polish when the locale is Polish, English
// otherwise; --lang pl|en overrides.
#pragma once

#include <string>

namespace tauravat::cli {

// "pl" or "en" from the locale variables as POSIX orders them: the first set and not empty
// of LC_ALL, LC_MESSAGES and LANG decides (null: not set).
std::string LanguageOfLocale(const char* lcAll, const char* lcMessages, const char* lang);

// The same from this process's environment.
std::string EnvironmentLanguage();

}  // namespace tauravat::cli
