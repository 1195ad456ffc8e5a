#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds, and runs every test: the
# normal build, the Windows build under wine, the sanitizer build, and a short run
# of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/packages.sh
if [ -z "${ZPK3X_SKIP_INSTALL:-}" ]; then install_packages test; fi

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

# Everything below the window, built for Windows and tested under wine.
ZPK3X_HOST_BUILD="$PWD/build" ZPK3X_JOBS="$jobs" tools/test-windows.sh

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPK3X_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
# fast_unwind_on_malloc=0: the full stack of each allocation, so that the
# suppressions can name the third-party functions that allocate.
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0:fast_unwind_on_malloc=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPK3X_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j "$jobs"
# Each target starts from its checked-in seeds (read only: new inputs go to a
# scratch folder); -len_control=0 lets inputs grow at once to the sizes the
# formats need (1408-byte program files, INI files across the 2048-byte block).
for f in build-fuzz/tests/fuzz/*_fuzz; do
  [ -x "$f" ] || continue
  echo "== $f"
  scratch=$(mktemp -d)
  # The INI target writes and reads files in every run (about 150 runs/s).
  runs=200000
  [ "$(basename "$f")" = ini_fuzz ] && runs=20000
  # The plan reader parses TOML in every run (about 600 runs/s).
  [ "$(basename "$f")" = planlesen_fuzz ] && runs=100000
  "$f" -runs="${ZPK3X_FUZZ_RUNS:-$runs}" -max_len=8192 -len_control=0 -print_final_stats=1 \
    "$scratch" "tests/fuzz/corpus/$(basename "$f")" 2>&1 | tail -n 3
  rm -rf "$scratch"
done
echo "all tests passed"
