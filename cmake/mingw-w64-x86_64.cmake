# Cross build for 64-bit Windows with Debian's mingw-w64; the tests run under wine.
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ZPK3X_MINGW x86_64-w64-mingw32)
# The POSIX thread model: the standard library's threads and clocks work as on Linux.
set(CMAKE_C_COMPILER ${ZPK3X_MINGW}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZPK3X_MINGW}-g++-posix)
set(CMAKE_RC_COMPILER ${ZPK3X_MINGW}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZPK3X_MINGW})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything linked in, so the programs run on a Windows machine with nothing installed.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# ctest and the build's own test runs start the programs under wine (see wine-run.sh).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
