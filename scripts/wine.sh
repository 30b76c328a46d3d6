# Sourced by the scripts that run Windows programs: a private Wine prefix in the build
# tree, started once with its streams closed (Wine's service processes keep the streams
# of the first Wine process, and a test runner waiting on them would never finish).
export WINEPREFIX="$root/build/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Windows as a Western machine has it: Wine takes the ANSI code page from the locale, 1252
# from this one, and file names on disk stay UTF-8.
export LC_ALL=C.UTF-8

start_wine() {
  mkdir -p "$WINEPREFIX"
  # A persistent server first, kept until stop_wine, so that no test pays for a new one.
  wineserver -p </dev/null >/dev/null 2>&1 || true
  wine wineboot </dev/null >/dev/null 2>&1 || true
}

stop_wine() {
  wineserver -k 2>/dev/null || true
}
