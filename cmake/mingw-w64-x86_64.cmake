# Cross-building for 64-bit Windows with Debian's mingw-w64 toolchain. The
# posix flavour is needed: Qt and std::thread rely on its threading model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VESTREL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VESTREL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESTREL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VESTREL_MINGW_PREFIX}-windres)

# Build-time helpers and tests are Windows programs too; wine runs them
# (Debian keeps its 64-bit loader out of PATH).
find_program(VESTREL_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(VESTREL_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VESTREL_WINE})
endif()

# Windows libraries come from the mingw-w64 folder and from any prefixes the
# caller names (a Qt built for Windows, other cross-built libraries).
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${VESTREL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
