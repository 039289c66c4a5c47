#!/usr/bin/env bash
# Runs a Windows program of the build under 64-bit Wine:
#   wine-exec.sh --prefix DIR program.exe [args...]
# The prefix belongs to the build tree and is made on first use. Refuses to
# run outside a private network namespace (scripts/in-netns.sh), so that no
# Windows program of ours ever talks to a real network from here.
set -euo pipefail

if [ "${1:-}" != "--prefix" ] || [ $# -lt 3 ]; then
  echo "usage: wine-exec.sh --prefix DIR program.exe [args...]" >&2
  exit 2
fi
prefix=$2
shift 2

if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
  echo "wine-exec.sh: not inside a private network namespace; run through scripts/in-netns.sh" >&2
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

exec "$wine" "$@"
