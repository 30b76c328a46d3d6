#!/usr/bin/env bash
# Builds and runs the benchmarks inside the simulated game, printing their figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" --target profile_bench hook_bench frame_bench startup_bench handled_exception_bench host_tests >/dev/null
. "$root/scripts/wine.sh"
start_wine
status=0
wine "$root/build/bin/profile_bench.exe" </dev/null || status=$?
wine "$root/build/bin/hook_bench.exe" </dev/null || status=$?
wine "$root/build/bin/frame_bench.exe" </dev/null || status=$?
wine "$root/build/bin/startup_bench.exe" </dev/null || status=$?
wine "$root/build/bin/handled_exception_bench.exe" </dev/null || status=$?
stop_wine
exit $status
