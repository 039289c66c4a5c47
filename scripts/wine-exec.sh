#!/usr/bin/env bash
# Runs a Windows program of the build under 64-bit Wine:
#   wine-exec.sh --prefix DIR program.exe [args...]
#   wine-exec.sh --prefix DIR --boot      start the prefix's Wine services
# The prefix belongs to the build tree and is made on first use. Refuses to
# run where the network has more than loopback (use scripts/in-netns.sh), so
# that no Windows program of ours ever talks to a real network from here.
#
# --boot keeps the prefix's Wine server running and starts Wine's services
# with their output going nowhere: otherwise the first program started
# spawns them, and they hold its output pipe open (a test runner then waits
# for them) for as long as they live.
set -euo pipefail

if [ "${1:-}" != "--prefix" ] || [ $# -lt 3 ]; then
  echo "usage: wine-exec.sh --prefix DIR program.exe [args...]" >&2
  exit 2
fi
prefix=$2
shift 2

if ip -o link show | awk -F': ' '{print $2}' | grep -qvx lo; then
  echo "wine-exec.sh: this network has more than loopback; run through scripts/in-netns.sh" >&2
  exit 2
fi

export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64
wine=/usr/lib/wine/wine64

mkdir -p "$prefix"
if [ ! -f "$prefix/system.reg" ]; then
  (
    flock 9
    if [ ! -f "$prefix/system.reg" ]; then
      "$wine" wineboot --init >/dev/null 2>&1
      /usr/lib/wine/wineserver -w
    fi
  ) 9>"$prefix.lock"
fi

if [ "$1" = "--boot" ]; then
  /usr/lib/wine/wineserver -p
  "$wine" wineboot >/dev/null 2>&1 </dev/null
  exit 0
fi

exec "$wine" "$@"
