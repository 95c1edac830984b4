#include "encoding.hpp"

#include <iconv.h>
#include <langinfo.h>

#include <cerrno>
#include <vector>

namespace tauravat::cli {

std::string TerminalCodeset() {
  const std::string codeset = nl_langinfo(CODESET);
  if (codeset.empty() || codeset == "ANSI_X3.4-1968" || codeset == "ASCII") return "UTF-8";
  return codeset;
}

std::optional<std::string> Convert(std::string_view text, const std::string& from,
                                   const std::string& to, bool approximate) {
  const std::string target = approximate ? to + "//TRANSLIT" : to;
  iconv_t cd = iconv_open(target.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;

  std::string out;
  std::vector<char> chunk(256);
  char* in = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  bool ok = true;
  while (inLeft > 0) {
    char* dst = chunk.data();
    size_t dstLeft = chunk.size();
    const size_t rc = iconv(cd, &in, &inLeft, &dst, &dstLeft);
    out.append(chunk.data(), chunk.size() - dstLeft);
    if (rc != static_cast<size_t>(-1) || errno == E2BIG) continue;
    if (!approximate) {
      ok = false;
      break;
    }
    // Even transliteration found no stand-in: mark the character and go on.
    out += '?';
    ++in;
    --inLeft;
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  return out;
}

std::string ForTerminal(const std::string& utf8, const std::string& codeset) {
  if (codeset == "UTF-8") return utf8;
  return Convert(utf8, "UTF-8", codeset, true).value_or(utf8);
}

}  // namespace tauravat::cli
