# Debian's hardening flags, as `DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags` gives
# them (position-independent executables are the compiler's default there), for every
# optimised Linux build: the Debian packages are made from such a tree (packaging/), and
# lintian checks them (tests/packaging).
#   -D_FORTIFY_SOURCE=2        libc's checked string and memory functions
#   -fstack-protector-strong   a canary in every function with an array or an address taken
#   -z relro -z now            every symbol bound at load, then the tables made read-only
# Not for sanitised builds (the sanitizers do their own checking, and fortified functions
# hide calls from them) nor for Windows, whose stack protector needs a library of its own.
option(TAURAVAT_HARDEN "Build with Debian's hardening flags (fortify, stack protector, relro, bindnow)"
       ON)

if(NOT TAURAVAT_HARDEN OR WIN32 OR TAURAVAT_SANITIZE OR NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
  return()
endif()

add_compile_options(-fstack-protector-strong)
# Fortify works only on optimised code: without optimisation glibc warns, and -Werror stops
# the build. Flags that already set it (CPPFLAGS from a package build) are left to decide;
# otherwise a compiler's own default (Ubuntu's =3) gives way, rather than being redefined.
if(NOT "${CMAKE_C_FLAGS} ${CMAKE_CXX_FLAGS}" MATCHES "_FORTIFY_SOURCE")
  add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
add_link_options(LINKER:-z,relro LINKER:-z,now)
