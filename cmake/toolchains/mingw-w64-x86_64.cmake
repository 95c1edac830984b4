# Cross build for Windows (x86_64) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TAURAVAT_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# Test programs run under wine on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
