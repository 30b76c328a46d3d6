#!/usr/bin/env bash
# The test command: installs what a fresh Debian 12 machine lacks, builds everything,
# and runs every test under Wine through CTest. Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

need=()
command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v python3 >/dev/null || need+=(python3)
[ -f /usr/src/googletest/CMakeLists.txt ] || need+=(googletest)
command -v wine >/dev/null || need+=(wine)
dpkg -s wine32:i386 >/dev/null 2>&1 || need+=(wine32:i386)
if [ ${#need[@]} -gt 0 ]; then
  echo "installing: ${need[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi

"$root/scripts/build.sh"

# The configuration reader is plain C++: prove it builds and passes for this machine too.
if command -v g++ >/dev/null; then
  cmake -S "$root" -B "$root/build-native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build-native" -j 2 --target ini_tests >/dev/null
  "$root/build-native/ini_tests" --gtest_brief=1
  # The settings checker's native build, and its runs on the shipped samples: in a game
  # folder (a kavra.exe beside them) no warning; in dist/ itself, no game folder, status 1.
  cmake --build "$root/build-native" -j 2 --target check_tests MorvaneCheck >/dev/null
  "$root/build-native/check_tests" --gtest_brief=1
  samples=$(mktemp -d "${TMPDIR:-/tmp}/kavra-samples.XXXXXX") && cp -r "$root/dist/." "$samples/"
  touch "$samples/kavra.exe" && "$root/build-native/MorvaneCheck" "$samples" >/dev/null && rm -rf "$samples"
  checked=0
  report=$("$root/build-native/MorvaneCheck" "$root/dist") || checked=$?
  [ $checked -eq 1 ] && grep -q "^kavra.exe: warning: no kavra.exe in this folder" <<<"$report" ||
    { echo "$report"; echo "MorvaneCheck on dist/ (no kavra.exe): exit status $checked"; exit 1; }
fi

# The settings reader under the fuzzer, where clang is present: the kept inputs replayed,
# then a short run.
if command -v clang++ >/dev/null; then
  "$root/scripts/fuzz.sh" 15
fi

. "$root/scripts/wine.sh"
start_wine
rm -rf "$root/build/bin/scratch"
status=0
# Game code that runs astray is ended by the simulated game's watchdog within seconds, so
# no test comes near this timeout; the slowest honest one takes a few seconds. This Wine
# now and then ends a process mid-way with status 0 and nothing printed, whatever it runs
# (a test then fails for want of its summary): a test that fails is run again, up to three
# times in all. A test that fails for a reason of its own fails every time. Every test run
# more than once is listed at the end with how each of its runs ended: one that failed (a
# failure of its own told), rather than ended early, and then passed is flaky, not Wine.
(cd "$root/build" && ctest --output-on-failure --timeout 60 -j 2 -LE probe --repeat until-pass:3) || status=$?
# CTest's log holds each run: the test's name, its output, and how it ended.
retried=$(awk '/^[0-9]+\/[0-9]+ Testing: / { name = $3; runs[name]++; own = 0 }
               /^Output:$/, /^<end of output>$/ { if (/\[  FAILED  \]|Unhandled (exception|page fault)|simulated game: /) own = 1 }
               /^Test (Passed\.|Pass Reason:)/ { ends[name] = ends[name] ", passed" }
               /^Test (Failed\.|Fail Reason:)/ { ends[name] = ends[name] (own ? ", failed" : ", ended early") }
               END { for (name in runs) if (runs[name] > 1) print "  " name ": " substr(ends[name], 3) }' \
          "$root/build/Testing/Temporary/LastTest.log" | sort) || true
# A test executable that crashes, or whose game code runs astray, must fail the run, and
# fast: prove it with the probes, run the same way as every test above.
for probe in crash_probe astray_probe; do
  started=$(date +%s)
  if (cd "$root/build" && ctest --timeout 60 -R "^$probe\$" >/dev/null 2>&1); then
    echo "test command check failed: $probe passed"
    status=1
  elif [ $(( $(date +%s) - started )) -gt 30 ]; then
    echo "test command check failed: $probe took $(( $(date +%s) - started )) s to fail"
    status=1
  else
    echo "test command check: $probe fails the run (in $(( $(date +%s) - started )) s)"
  fi
done
stop_wine
if [ -n "$retried" ]; then
  echo "tests run more than once, how each run ended:"
  echo "$retried"
fi
exit $status
