#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds, and runs every test:
# the normal build, the sanitizer build, and a short run of each fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

. tools/packages.sh
if [ -z "${ZPK3X_SKIP_INSTALL:-}" ]; then install_packages test; fi

export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPK3X_SANITIZE=ON
cmake --build build-sanitize -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
LSAN_OPTIONS=suppressions="$PWD/tests/lsan.supp":print_suppressions=0 \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-sanitize --output-on-failure -j "$jobs"

cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=Debug -DZPK3X_FUZZ=ON \
  -DCMAKE_CXX_COMPILER=clang++
cmake --build build-fuzz -j "$jobs"
for f in build-fuzz/tests/fuzz/*_fuzz; do
  [ -x "$f" ] || continue
  echo "== $f"
  "$f" -runs="${ZPK3X_FUZZ_RUNS:-200000}" -max_len=4096 -print_final_stats=1 2>&1 | tail -n 3
done
echo "all tests passed"
