#!/usr/bin/env bash
# Runs the camera benchmark of a win64 build tree under Wine, in a private
# network namespace with a virtual display:
#   tests/filter/run_camera_bench.sh WIN64_TREE [SECONDS]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=$(cd "$1" && pwd)
seconds=${2:-10}
bench=$tree/tests/filter/camera_bench.exe
[ -x "$bench" ] || { echo "no $bench: build the win64 tree first" >&2; exit 1; }
# The benchmark finds RovoFilter.ax relative to its own build directory, and
# its output goes through a file: Wine's service processes may hold a pipe.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
status=0
(cd "$tree/tests/filter" &&
 "$root/scripts/in-netns.sh" "$root/scripts/wine-exec.sh" --prefix "$tree/wineprefix" \
     "$bench" "$seconds" >"$out" 2>&1) || status=$?
tr -d '\r' <"$out"
exit $status
