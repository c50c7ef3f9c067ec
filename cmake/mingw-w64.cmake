# Cross-compiles for Windows with Debian's mingw-w64 (64-bit by default; pass
# -DMINGW_TRIPLET=i686-w64-mingw32 for 32-bit). Programs built with it run under Wine. The
# same toolchain as the Qt for Windows (qt-mingw-w64.cmake).
set(MINGW_TRIPLET x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triplet")
include(${CMAKE_CURRENT_LIST_DIR}/qt-mingw-w64.cmake)
