// Exported messages, the driver's own identity, and the article-name count: none needs
// a printer.
#include "article_name.hpp"
#include "cp1250.hpp"
#include "export_guard.hpp"
#include "messages.hpp"
#include "tauravat.h"
#include "tauravat.hpp"

using namespace kestradr;

namespace {

const std::string& VersionText() {
  static const std::string version = "10.00";
  return version;
}

const std::string& AuthorText() {
  static const std::string author = Cp1250("tauravat - sterownik drukarek fiskalnych KESTRA");
  return author;
}

}  // namespace

TAURAVAT_API int32_t TAURAVAT_CALL ErrMessage(int32_t code, std::string& text) {
  return Guarded([&]() -> int32_t {
    text.clear();
    text = MessageText(code);
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pErrMessage(int32_t code, char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    std::string text;
    const int32_t result = ErrMessage(code, text);
    CopyOut(buffer, text);
    return result;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL CharsInArticleName(const std::string& name) {
  return Guarded([&]() -> int32_t { return CountSignificantNameChars(name); });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pCharsInArticleName(const char* name) {
  if (name == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t { return CountSignificantNameChars(name); });
}

TAURAVAT_API int32_t TAURAVAT_CALL DllVersion(std::string& Version) {
  return Guarded([&]() -> int32_t {
    Version = VersionText();
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDllVersion(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    CopyOut(buffer, VersionText());
    return TAURAVAT_OK;
  });
}

TAURAVAT_API int32_t TAURAVAT_CALL DllAuthor(std::string& Author) {
  return Guarded([&]() -> int32_t {
    Author = AuthorText();
    return TAURAVAT_OK;
  });
}

extern "C" TAURAVAT_API int32_t TAURAVAT_CALL pDllAuthor(char* buffer) {
  if (buffer == nullptr) return kNullBuffer;
  return Guarded([&]() -> int32_t {
    CopyOut(buffer, AuthorText());
    return TAURAVAT_OK;
  });
}
