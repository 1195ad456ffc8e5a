#!/usr/bin/env bash
# Installs what the build needs (Debian 12), builds, and starts the program in
# ./.run/. Without a device named in ZPK3X_COM1 it starts the device simulator on a
# pseudo-terminal that the program sees as COM 1, and stops it when the program ends.
set -euo pipefail
cd "$(dirname "$0")/.."
top="$PWD"
. tools/packages.sh
if [ -z "${ZPK3X_SKIP_INSTALL:-}" ]; then install_packages run; fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target zpk3x zpk3x-sim

# The program reads and writes its configuration in its working directory; it
# opens a port only when the configuration names one.
rundir="$top/.run"
mkdir -p "$rundir"
if [ ! -f "$rundir/zpk3xSteuerung.ini" ]; then
  printf '[ZPK3X]\nport = 1\n' > "$rundir/zpk3xSteuerung.ini"
fi

sim_pid=""
stop_sim() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
}
trap stop_sim EXIT

if [ -z "${ZPK3X_COM1:-}" ]; then
  link="$rundir/COM1"
  : > "$rundir/sim.out"
  build/tools/zpk3x-sim/zpk3x-sim --link "$link" --log "$rundir/frames.log" > "$rundir/sim.out" &
  sim_pid=$!
  # The simulator prints its terminal once the line and the link are ready.
  for _ in $(seq 1 100); do
    [ -s "$rundir/sim.out" ] && break
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "run.sh: the simulator did not start" >&2
      exit 1
    fi
    sleep 0.05
  done
  export ZPK3X_COM1="$link"
  echo "run.sh: simulated device on $(cat "$rundir/sim.out") as COM 1 (frames in $rundir/frames.log)"
fi

cd "$rundir"
status=0
"$top/build/src/zpk3xSteuerung/zpk3x" "$@" || status=$?
exit "$status"
