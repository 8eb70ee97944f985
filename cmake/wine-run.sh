#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, made on first use:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The program's exit status is this script's.
set -euo pipefail

prefix=$1
shift
export WINEPREFIX=$prefix
# VANTREL_WINEARCH=win64 runs the 64-bit test build with the 64-bit loader:
# Debian's wine and wineboot wrappers always take the 32-bit one when it is
# installed, even on a machine that cannot run it.
if [ "${VANTREL_WINEARCH:-win32}" = win64 ]; then
  export WINEARCH=win64
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
else
  export WINEARCH=win32
  WINE=wine
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer: nothing here needs .NET or an HTML engine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

mkdir -p "$(dirname "$prefix")"
(
  # Parallel tests share the prefix; only one of them makes it.
  flock 9
  if [ ! -f "$prefix/.vantrel-ready" ]; then
    rm -rf "$prefix"
    "$WINE" wineboot.exe -i >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.vantrel-ready"
  fi
) 9>"$prefix.lock"

exec "$WINE" "$@"
