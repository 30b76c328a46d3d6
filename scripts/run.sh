#!/usr/bin/env bash
# Builds, then starts the simulated game from a fresh game folder holding exactly what a
# player installs (dist/), so that the game's loader picks up Morvane.asi, and prints the
# start-up report. An optional folder argument is copied over the game folder afterwards
# (to try other settings: its Morvane.ini, MorvaneCars/, Kavra.WidescreenFix.ini...).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" >/dev/null

game=$(mktemp -d "${TMPDIR:-/tmp}/kavra-game.XXXXXX")
trap 'rm -rf "$game"' EXIT
cp -r "$root/dist/." "$game/"
cp "$root/build/bin/KavraSim.exe" "$game/kavra.exe"
if [ $# -gt 0 ]; then
  cp -r "$1/." "$game/"
else
  # The tour shows live car profiles at work: a modder's setting, off as shipped.
  sed -i 's/^LiveProfiles = 0/LiveProfiles = 1/' "$game/Morvane.ini"
fi

. "$root/scripts/wine.sh"
start_wine
status=0
wine "$game/kavra.exe" </dev/null || status=$?
stop_wine
# Morvane.log, as a player would attach it to a report.
if [ -f "$game/Morvane.log" ]; then
  printf '\nMorvane.log, as the player finds it in the game folder:\n'
  tr -d '\r' < "$game/Morvane.log" | sed 's/^/  /'
fi
exit $status
