# Shared by the mingw-w64 toolchains: Debian's -posix compiler variants (the driver uses
# std::thread, which the -win32 variants do not provide). The including file sets
# CMAKE_SYSTEM_PROCESSOR and TAURAVAT_MINGW_TRIPLE first.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TAURAVAT_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TAURAVAT_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TAURAVAT_MINGW_TRIPLE}-windres)
set(TAURAVAT_OBJDUMP ${TAURAVAT_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TAURAVAT_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The runtime goes inside each binary, so tauravat.dll and the test programs need no
# libstdc++/libgcc/libwinpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
