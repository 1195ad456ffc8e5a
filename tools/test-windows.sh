#!/bin/sh
# Builds everything below the window for Windows with mingw-w64 and runs its tests
# under wine, against the Linux device simulator, in a wine prefix made for this run.
#   ZPK3X_HOST_BUILD     native build folder for the simulator and its bridge (default build)
#   ZPK3X_WINDOWS_BUILD  cross build folder (default build-windows)
#   ZPK3X_WINDOWS_BENCH=1  also time zpk3x-cli.exe "write all" under wine at 9600 and 1200 baud
# Leaves the Windows ZIP (zpk3x-cli.exe, its manual as text, README) in the cross build folder.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
host=${ZPK3X_HOST_BUILD:-$root/build}
win=${ZPK3X_WINDOWS_BUILD:-$root/build-windows}
jobs=${ZPK3X_JOBS:-2}
launcher=
if command -v ccache >/dev/null; then launcher=-DCMAKE_CXX_COMPILER_LAUNCHER=ccache; fi

start=$(date +%s)
# The Linux programs the Windows tests drive.
if [ ! -f "$host/CMakeCache.txt" ]; then
  cmake -S "$root" -B "$host" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher
fi
bench=
if [ "${ZPK3X_WINDOWS_BENCH:-0}" = 1 ]; then bench=zpk3x_cli_wine_bench; fi
cmake --build "$host" -j "$jobs" --target zpk3x-sim zpk3x-sim-bridge $bench

cmake -S "$root" -B "$win" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $launcher \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DZPK3X_HOST_BUILD="$host"
cmake --build "$win" -j "$jobs"

export WINEDEBUG=-all
WINEPREFIX=$(mktemp -d /tmp/zpk3x-wine-XXXXXX)
export WINEPREFIX
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
}
trap cleanup EXIT
# One server for the whole run, so that each test program does not start its own.
wineserver -p </dev/null >/dev/null 2>&1
wine wineboot -i </dev/null >/dev/null 2>&1
echo "wine prefix ready after $(($(date +%s) - start)) s"

# Serially: tests of one program share COM port numbers.
ctest --test-dir "$win" --output-on-failure
echo "Windows tests done after $(($(date +%s) - start)) s"

(cd "$win" && cpack -G ZIP)
if [ -n "$bench" ]; then
  "$host/bench/zpk3x_cli_wine_bench" "$win/src/zpk3x-cli/zpk3x-cli.exe" 9600 1200
fi
