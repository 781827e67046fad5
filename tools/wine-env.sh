#!/usr/bin/env bash
# Runs a command with Wine ready for the Windows build's programs: a private prefix
# inside the build tree, no debug chatter, no Mono/Gecko installers, and a virtual X
# display so that the programs can create windows. Works without a terminal.
# KARVEX_WINEARCH chooses the prefix: win32 (the default, build/wineprefix, for the
# 32-bit module) or win64 (build/wineprefix64, for the 64-bit module).
#
#   bash tools/wine-env.sh ctest --test-dir build/win32 --output-on-failure
#   bash tools/wine-env.sh wine build/win32/tools/ekvhost.exe ...
#   KARVEX_WINEARCH=win64 bash tools/wine-env.sh ctest --test-dir build/win64 --output-on-failure
#
# Nested calls (ctest runs each test program through this script again) reuse the
# outer call's display and prefix.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export KARVEX_WINEARCH="${KARVEX_WINEARCH:-win32}"
case "$KARVEX_WINEARCH" in
  win32) export WINEPREFIX="${KARVEX_WINEPREFIX:-$root/build/wineprefix}" ;;
  win64) export WINEPREFIX="${KARVEX_WINEPREFIX64:-$root/build/wineprefix64}" ;;
  *) echo "wine-env: KARVEX_WINEARCH must be win32 or win64" >&2; exit 2 ;;
esac
export WINEARCH="$KARVEX_WINEARCH"

# Debian's `wine` command always starts the 32-bit loader when it is installed, so a
# 64-bit prefix gets commands of its own that start the 64-bit loader and server; they
# need only the wine64 package (Debian's `wineserver` comes with `wine`, no i386 one).
if [ "$WINEARCH" = win64 ]; then
  shims="$WINEPREFIX.bin"
  if [ ! -x "$shims/wineserver" ]; then
    mkdir -p "$shims"
    for name in wine wineboot wineserver; do
      case $name in
        wine) command='/usr/lib/wine/wine64' ;;
        wineboot) command='/usr/lib/wine/wine64 wineboot' ;;
        wineserver) command='/usr/lib/wine/wineserver64 -p0' ;;
      esac
      printf '#!/bin/sh\nexec %s "$@"\n' "$command" >"$shims/$name.tmp"
      chmod +x "$shims/$name.tmp"
      mv "$shims/$name.tmp" "$shims/$name"
    done
  fi
  case ":$PATH:" in *":$shims:"*) ;; *) export PATH="$shims:$PATH" ;; esac
elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
  echo "wine-env: 32-bit Wine does not start here; tools/wine32-status.sh says why" >&2
  exit 1
fi
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINE_NO_CRASH_DIALOG=1

if [ $# -eq 0 ]; then
  echo "usage: wine-env.sh COMMAND [ARGS...]" >&2
  exit 2
fi

stage=outer
if [ "$1" = "--in-display" ]; then
  stage=display
  shift
elif [ "${KARVEX_WINE_ENV_ACTIVE:-}" = "$WINEPREFIX" ] && [ -n "${DISPLAY:-}" ]; then
  # Inner call: the outer one has set up the prefix and the display.
  exec "$@" </dev/null
fi

# The prefix is made once; a lock keeps parallel callers from building it twice.
mkdir -p "$(dirname "$WINEPREFIX")"
prepare_prefix() {
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [ ! -f "$WINEPREFIX/.karvex-ready" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null || true
    wineserver -w || true
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
      echo "wine-env: could not create the Wine prefix $WINEPREFIX" >&2
      exit 1
    fi
    # Stop Wine from popping up its crash dialog (it would wait for a click).
    wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
      >/dev/null 2>&1 </dev/null || true
    wineserver -w || true
    touch "$WINEPREFIX/.karvex-ready"
  fi
  flock -u 9
}

# Runs the command, then waits for Wine's helpers to end while the display still exists.
run_in_display() {
  local rc=0
  "$@" </dev/null || rc=$?
  timeout 60 wineserver -w || wineserver -k || true
  return $rc
}

export KARVEX_WINE_ENV_ACTIVE="$WINEPREFIX"
if [ $stage = display ]; then
  # Second stage, inside the virtual display.
  prepare_prefix
  run_in_display "$@"
elif [ -n "${KARVEX_WINE_USE_DISPLAY:-}" ]; then
  # An existing display was asked for (a developer watching the windows).
  export DISPLAY="$KARVEX_WINE_USE_DISPLAY"
  prepare_prefix
  run_in_display "$@"
else
  unset DISPLAY
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    bash "${BASH_SOURCE[0]}" --in-display "$@"
fi
