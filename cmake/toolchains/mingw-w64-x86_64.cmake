# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STAGEHAND_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   ${STAGEHAND_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${STAGEHAND_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${STAGEHAND_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${STAGEHAND_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages such as an installed stagehand live outside the mingw-w64 sysroot.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Test executables run under Wine; scripts/test provides the display and the prefix.
find_program(STAGEHAND_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(STAGEHAND_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${STAGEHAND_WINE64})
endif()
