# Cross-compiles Qt and Qt programs for Windows with Debian's mingw-w64, posix-threads
# variant: Qt needs std::thread and std::mutex, which the default win32 variant of GCC 12
# lacks. Set MINGW_TRIPLET to i686-w64-mingw32 for 32 bits (64 bits by default).
# scripts/qt-windows.sh installs a copy of this file beside each Qt it builds, with the
# triplet set, and Qt's own qt.toolchain.cmake loads that copy for the programs built
# against it.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT DEFINED MINGW_TRIPLET)
    set(MINGW_TRIPLET x86_64-w64-mingw32)
endif()
if(MINGW_TRIPLET MATCHES "^i686")
    set(CMAKE_SYSTEM_PROCESSOR x86)
else()
    set(CMAKE_SYSTEM_PROCESSOR AMD64)
endif()
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES MINGW_TRIPLET)

set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
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
