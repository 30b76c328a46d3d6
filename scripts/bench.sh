#!/usr/bin/env bash
# Builds and runs the benchmarks inside the simulated game, printing their figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" --target profile_bench >/dev/null
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
wine wineboot </dev/null >/dev/null 2>&1 || true
status=0
wine "$root/build/bin/profile_bench.exe" </dev/null || status=$?
wineserver -k || true
exit $status
