// The compiler's half of the export list's checks: every entry of export_list.inc names a
// function declared in the public headers, and its argument bytes are those listed (the
// decoration the i686 import library gives it). The linker's half, that nothing is exported
// without an entry, is in the tests.
#include <cstddef>
#include <type_traits>

#include "tauravat.h"
#include "tauravat.hpp"

namespace {

// What one argument takes on the 32-bit stack, whatever this build's own sizes: pointers,
// references and size_t are 32 bits there; no export takes a uint64_t, which would be
// size_t's twin here.
template <class T>
constexpr size_t StackBytes() {
  if constexpr (std::is_pointer_v<T> || std::is_reference_v<T> || std::is_same_v<T, size_t>)
    return 4;
  else
    return (sizeof(T) + 3) / 4 * 4;
}

template <class R, class... A>
constexpr size_t ArgumentBytes(R(TAURAVAT_CALL*)(A...)) {
  return (StackBytes<A>() + ... + 0);
}

#define TAURAVAT_C_EXPORT(name, bytes) \
  static_assert(ArgumentBytes(&name) == (bytes), #name "@" #bytes " in export_list.inc");
#define TAURAVAT_CXX_EXPORT(name, symbol, bytes) TAURAVAT_C_EXPORT(name, bytes)
#include "export_list.inc"

}  // namespace
