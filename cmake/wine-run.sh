#!/usr/bin/env bash
# Runs a Windows program under Wine in a private prefix, made on first use:
#   wine-run.sh PREFIX PROGRAM [ARGUMENTS...]
# The program's exit status is this script's.
set -euo pipefail

prefix=$1
shift
export WINEPREFIX=$prefix
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
# No Mono or Gecko installer: nothing here needs .NET or an HTML engine.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

mkdir -p "$(dirname "$prefix")"
(
  # Parallel tests share the prefix; only one of them makes it.
  flock 9
  if [ ! -f "$prefix/.vantrel-ready" ]; then
    rm -rf "$prefix"
    wineboot -i >/dev/null 2>&1
    wineserver -w
    touch "$prefix/.vantrel-ready"
  fi
) 9>"$prefix.lock"

exec wine "$@"
