# Cross-compiles for Windows with Debian's mingw-w64 (64-bit by default; pass
# -DMINGW_TRIPLET=i686-w64-mingw32 for 32-bit). Programs built with it run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(MINGW_TRIPLET x86_64-w64-mingw32 CACHE STRING "mingw-w64 target triplet")
if(MINGW_TRIPLET MATCHES "^i686")
    set(CMAKE_SYSTEM_PROCESSOR x86)
else()
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()

set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# ctest runs the cross-built tests through Wine. Debian's wine64 package installs the
# loader outside PATH; the wine package adds the wrapper.
find_program(WINE_LOADER NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(WINE_LOADER)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${WINE_LOADER})
endif()
