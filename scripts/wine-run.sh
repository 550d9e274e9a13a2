#!/usr/bin/env bash
# wine-run.sh PREFIX PROGRAM.exe [ARGS...]
# Runs one Windows program of the build under Wine in the run's prefix and display (see
# wine-session.sh), choosing the 32- or 64-bit loader from the program's header.
set -euo pipefail
prefix=$(realpath -m "$1"); shift
exe=$1; shift
state="$prefix.session"
export WINEPREFIX="$prefix" WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ -z "${DISPLAY:-}" ] && [ -f "$state/display" ]; then export DISPLAY=$(cat "$state/display"); fi
if [ ! -f "$prefix/system.reg" ]; then
  echo "wine-run: no prefix at $prefix; run wine-session.sh start first" >&2; exit 2
fi
if file -b "$exe" | grep -q 'PE32+'; then loader=/usr/lib/wine/wine64; else loader=/usr/lib/wine/wine; fi
# Wine starts helper processes (services, the desktop's explorer) on demand, and they outlive the
# program. Had they inherited the caller's pipe, CTest would wait for them; give them a file.
log=$(mktemp "${TMPDIR:-/tmp}/kx-wine-run.XXXXXX")
trap 'rm -f "$log"' EXIT
set +e
"$loader" "$exe" "$@" >"$log" 2>&1 </dev/null
rc=$?
set -e
cat "$log"
exit $rc
