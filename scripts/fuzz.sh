#!/usr/bin/env bash
# The settings reader under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer
# (native, clang). Replays the seed corpus and the kept crash inputs, then fuzzes for the
# given number of seconds (default 60; 0: replay only). New inputs go to a scratch
# corpus; a crash input is written to fuzz/regressions/ to be kept.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
out="$root/build-fuzz"
mkdir -p "$out/corpus" "$root/fuzz/regressions"
clang++ -std=c++20 -O1 -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all \
  -I"$root/src" "$root/fuzz/IniFuzz.cpp" "$root/src/config/IniReader.cpp" -o "$out/ini_fuzz"

# The shipped settings seed it as they are now (copies kept in the corpus would drift).
cp "$root/dist/Morvane.ini" "$out/corpus/shipped-Morvane.ini"
for profile in "$root"/dist/MorvaneCars/*; do cp "$profile" "$out/corpus/shipped-profile-$(basename "$profile")"; done

# Replay: every seed and every kept crash input must run clean.
inputs=("$root"/fuzz/corpus/* "$out"/corpus/shipped-* "$root"/fuzz/regressions/*)
existing=()
for f in "${inputs[@]}"; do [ -f "$f" ] && existing+=("$f"); done
"$out/ini_fuzz" -runs=0 "${existing[@]}" 2>"$out/replay.log" || { cat "$out/replay.log"; exit 1; }
echo "fuzz replay: ${#existing[@]} inputs ran clean"

if [ "$seconds" -gt 0 ]; then
  "$out/ini_fuzz" -max_total_time="$seconds" -max_len=65536 -artifact_prefix="$root/fuzz/regressions/" \
    -print_final_stats=1 "$out/corpus" "$root/fuzz/corpus" 2>"$out/fuzz.log" || { tail -40 "$out/fuzz.log"; exit 1; }
  echo "fuzzed ${seconds}s: $(grep -E '^#[0-9]+.*DONE' "$out/fuzz.log" | tail -1)"
fi
