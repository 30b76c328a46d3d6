#!/usr/bin/env bash
# The release package as a player meets it: its text files with Windows line ends; unpacked
# alone, the checker says it is not the game folder; unpacked into a fresh game folder
# beside the simulated game, the game starts with Morvane Active and the checker finds
# nothing to warn about; in a console of its own it waits for a key, unless its input is
# redirected. Run by CTest (Wine already started): check-package.sh ZIP GAME_EXE
set -euo pipefail
zip=$1 game_exe=$2
game=$(mktemp -d "${TMPDIR:-/tmp}/kavra-package.XXXXXX")
trap 'rm -rf "$game"' EXIT
(cd "$game" && cmake -E tar xf "$zip")
expected="Morvane.asi Morvane.ini MorvaneCars MorvaneCars/FAIRLADY MorvaneCars/SUPRA MorvaneCheck.exe README.txt"
actual=$(cd "$game" && find . -mindepth 1 | sed 's|^\./||' | sort | tr '\n' ' ' | sed 's/ $//')
[ "$actual" = "$expected" ] || { echo "package holds: $actual"; exit 1; }
for text in Morvane.ini README.txt MorvaneCars/FAIRLADY MorvaneCars/SUPRA; do
  ! grep -qv $'\r$' "$game/$text" && [ -z "$(tail -c 1 "$game/$text" | tr -d '\n')" ] || { echo "$text: not CR LF"; exit 1; }
done
# As "Extract All" leaves it: no kavra.exe beside it.
check=0
(cd "$game" && wine MorvaneCheck.exe </dev/null >"$game/check.txt" 2>&1) || check=$?
[ "$check" -eq 1 ] && grep -q "^kavra.exe: warning: no kavra.exe in this folder" "$game/check.txt" ||
  { cat "$game/check.txt"; echo "MorvaneCheck without kavra.exe: exit status $check"; exit 1; }
cp "$game_exe" "$game/kavra.exe"
status=0
report=$(cd "$game" && wine kavra.exe </dev/null 2>"$game/game-errors.txt") || status=$?
[ "$status" -eq 0 ] || { echo "$report"; cat "$game/game-errors.txt"; echo "the game ended with status $status"; exit 1; }
echo "$report" | grep -E "^Plug-in|state:"
version=$(basename "$zip" .zip); version=${version#Morvane-}
head -1 "$game/README.txt" | grep -q "^Morvane $version - " || { head -1 "$game/README.txt"; echo "README.txt: not $version"; exit 1; }
echo "$report" | grep -q "^Plug-in Morvane.asi $version: attach succeeded" || { echo "$report"; exit 1; }
echo "$report" | grep -q "state: Active" || { echo "$report"; exit 1; }
check=0
(cd "$game" && wine MorvaneCheck.exe </dev/null >"$game/check.txt" 2>&1) || check=$?
[ "$check" -eq 0 ] || { cat "$game/check.txt"; echo "MorvaneCheck exit status $check"; exit 1; }
# In a terminal of its own, a console as Explorer gives it: it waits for a key, and never
# with its input redirected, as a script runs it. (The console is drawn with escape codes.)
for run in "x:wine MorvaneCheck.exe:1" ":wine MorvaneCheck.exe </dev/null:0"; do
  IFS=: read -r keys command waits <<<"$run"
  check=0
  shown=$(cd "$game" && printf "$keys" | timeout 20 script -qec "$command" /dev/null |
          sed 's/\x1b\[1C/ /g; s/\x1b\[[0-9;?]*[A-Za-z]//g') || check=$?
  [ "$check" -eq 0 ] && [ "$(grep -c "Press any key to close this window" <<<"$shown")" -eq "$waits" ] ||
    { echo "$shown"; echo "MorvaneCheck in a console ($command): exit status $check"; exit 1; }
done
echo "package checked: CR LF text, no kavra.exe told, Active start-up, MorvaneCheck exit status 0, waits in a console of its own"
