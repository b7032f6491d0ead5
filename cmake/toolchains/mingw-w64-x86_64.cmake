# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(STAGEHAND_MINGW_TRIPLE x86_64-w64-mingw32)
# By command name unless the configure line gives a path.
if(NOT CMAKE_C_COMPILER)
  set(CMAKE_C_COMPILER ${STAGEHAND_MINGW_TRIPLE}-gcc-posix)
endif()
if(NOT CMAKE_CXX_COMPILER)
  set(CMAKE_CXX_COMPILER ${STAGEHAND_MINGW_TRIPLE}-g++-posix)
endif()
if(NOT CMAKE_RC_COMPILER)
  set(CMAKE_RC_COMPILER ${STAGEHAND_MINGW_TRIPLE}-windres)
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${STAGEHAND_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages such as an installed stagehand live outside the mingw-w64 sysroot.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
