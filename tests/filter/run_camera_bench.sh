#!/usr/bin/env bash
# Runs a camera benchmark of a win64 build tree under Wine, in a private
# network namespace with a virtual display:
#   tests/filter/run_camera_bench.sh WIN64_TREE [SECONDS] [BENCH]
# BENCH, relative to the tree: the DirectShow camera's by default
# (tests/filter/camera_bench.exe), or the Windows camera's
# (tests/mfcamera/media_source_bench.exe).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=$(cd "$1" && pwd)
seconds=${2:-10}
bench=$tree/${3:-tests/filter/camera_bench.exe}
[ -x "$bench" ] || { echo "no $bench: build the win64 tree first" >&2; exit 1; }
# The benchmark finds its module relative to its own build directory, and
# its output goes through a file: Wine's service processes may hold a pipe.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
(cd "$(dirname "$bench")" &&
 "$root/scripts/in-netns.sh" "$root/scripts/wine-exec.sh" --prefix "$tree/wineprefix" \
     "$bench" "$seconds" >"$out" 2>&1) || status=$?
tr -d '\r' <"$out"
exit $status
