#!/usr/bin/env bash
# The release package as a player meets it: unpacked into a fresh game folder beside the
# simulated game, the game starts with Morvane Active and the checker finds nothing to
# warn about. Run by CTest (Wine already started): check-package.sh ZIP GAME_EXE
set -euo pipefail
zip=$1 game_exe=$2
game=$(mktemp -d "${TMPDIR:-/tmp}/kavra-package.XXXXXX")
trap 'rm -rf "$game"' EXIT
(cd "$game" && cmake -E tar xf "$zip")
expected="Morvane.asi Morvane.ini MorvaneCars MorvaneCars/FAIRLADY MorvaneCars/SUPRA MorvaneCheck.exe README.txt"
actual=$(cd "$game" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] || { echo "package holds: $actual"; exit 1; }
cp "$game_exe" "$game/kavra.exe"
status=0
report=$(cd "$game" && wine kavra.exe </dev/null 2>"$game/game-errors.txt") || status=$?
[ "$status" -eq 0 ] || { echo "$report"; cat "$game/game-errors.txt"; echo "the game ended with status $status"; exit 1; }
echo "$report" | grep -E "^Plug-in|state:"
version=$(basename "$zip" .zip); version=${version#Morvane-}
echo "$report" | grep -q "^Plug-in Morvane.asi $version: attach succeeded" || { echo "$report"; exit 1; }
echo "$report" | grep -q "state: Active" || { echo "$report"; exit 1; }
check=0
(cd "$game" && wine MorvaneCheck.exe </dev/null >"$game/check.txt" 2>&1) || check=$?
[ "$check" -eq 0 ] || { cat "$game/check.txt"; echo "MorvaneCheck exit status $check"; exit 1; }
echo "package checked: Active start-up, MorvaneCheck exit status 0"
