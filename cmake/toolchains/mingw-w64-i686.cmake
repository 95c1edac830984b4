# Cross build for Windows (i686) with Debian's mingw-w64.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TAURAVAT_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)

# 32-bit Windows programs cannot run here (no 32-bit wine): this build is checked by its
# export table only.
