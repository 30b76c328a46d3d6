#!/usr/bin/env bash
# Builds the release package: build/Morvane-<version>.zip, holding exactly what a player
# copies into the game folder (Morvane.asi, Morvane.ini, MorvaneCars/, MorvaneCheck.exe,
# README.txt). The version comes from src/Version.h.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/build.sh" --target release_package >/dev/null
version=$(sed -n 's/^#define MORVANE_VERSION_TEXT "\(.*\)"$/\1/p' "$root/src/Version.h")
echo "$root/build/Morvane-$version.zip"
