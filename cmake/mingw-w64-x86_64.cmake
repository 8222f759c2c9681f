# Cross-compiling for 64-bit Windows with mingw-w64 (posix threads) on Linux.
# Programs of the build, tests included, run under Wine through
# wine-emulator.sh, so ctest works in the cross build as it does natively.
#
#   cmake -S . -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(SALVOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SALVOR_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SALVOR_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${SALVOR_MINGW_TRIPLE}-windres)
# Resource scripts are UTF-8.
set(CMAKE_RC_FLAGS_INIT "-c 65001")

set(CMAKE_FIND_ROOT_PATH /usr/${SALVOR_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR /bin/sh ${CMAKE_CURRENT_LIST_DIR}/wine-emulator.sh)
