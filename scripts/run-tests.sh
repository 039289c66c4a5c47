#!/usr/bin/env bash
# Runs every test suite of the build trees under BUILD (default: build) and
# ends with one line "N passed, N failed" over all of them. Every suite runs
# even when an earlier one fails; the exit status is non-zero if any failed.
# The whole run happens in a private network namespace with only loopback
# (scripts/in-netns.sh): no test reaches anything beyond this machine.
set -uo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$here/in-netns.sh" "$0" "$build"
fi
jobs=$(nproc)
failed=0
reports=()

# suite NAME TREE [ctest options...]: runs CTest in TREE.
suite() {
  local name=$1 tree=$2
  shift 2
  local junit="$build/$tree/junit-$name.xml"
  echo
  echo "== $name"
  rm -f "$junit"
  if ! ctest --test-dir "$build/$tree" --output-junit "$junit" \
       --output-on-failure --timeout 900 -j "$jobs" "$@"; then
    failed=1
  fi
  reports+=("$name=$junit")
}

suite native native
suite sanitize sanitize -LE fuzz
suite fuzz sanitize -L fuzz
"$here/wine-exec.sh" --prefix "$build/win64/wineprefix" --boot
suite win64 win64
suite win32 win32

echo
/usr/bin/python3 "$here/test-summary.py" "${reports[@]}" || failed=1
exit $failed
