# Cross-building for Windows x86_64 with Debian's mingw-w64 (posix threads,
# which Qt's mingw build expects). Qt for Windows is given as
# CMAKE_PREFIX_PATH; scripts/windows.sh does all of it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(tav_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${tav_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${tav_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${tav_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${tav_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
