# The start that every benchmark of pavix.exe under Wine shares. A benchmark
# sets these, then sources this file (it sees the benchmark's arguments,
# WIN64_TREE [NATIVE_TREE] [COUNT]):
#
#   bench_name      the script's name, for messages
#   bench_count     COUNT's name and default, e.g. "TRIES 20"
#   bench_dir       its folder under WIN64_TREE/tests/app
#   bench_case      its name in the test library's messages
#   bench_report    its report's file name in WIN64_TREE
#   bench_needs     a function that sets the benchmark's own paths (it may
#                   use $tree and $native) and lists in `needed` those that
#                   must exist
#
# Afterwards it runs inside the private network namespace, in a Wine prefix
# of its own with the camera filter registered, with the system-test
# library loaded; tree, native, count, here, root and phonesim are set, and
# figure() writes a line to standard output and to the report.

read -r _count_name _count_default <<<"$bench_count"
[ $# -ge 1 ] || {
  echo "usage: $bench_name.sh WIN64_TREE [NATIVE_TREE] [$_count_name]" >&2
  exit 2
}
tree=$(cd "$1" && pwd)
native=$(cd "${2:-$(dirname "$tree")/native}" && pwd)
count=${3:-$_count_default}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$root/scripts/in-netns.sh" "$0" "$tree" "$native" "$count"
fi

export PAVIX_EXE=$tree/app/pavix.exe
export PAVIX_PROBE=$tree/tests/app/pavix_probe.exe
export PAVIX_FILTER=$tree/filter/RovoFilter.ax
export PAVIX_TEST_DIR=$tree/tests/app/$bench_dir
phonesim=$native/tools/phonesim/phonesim
needed=()
bench_needs
for _file in "$PAVIX_EXE" "$PAVIX_PROBE" "$PAVIX_FILTER" "$phonesim" "${needed[@]}"; do
  [ -e "$_file" ] || { echo "$bench_name: $_file is missing; build both trees first" >&2; exit 1; }
done
unset _file _count_name _count_default needed
mkdir -p "$PAVIX_TEST_DIR"

case_name=$bench_case
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"
readonly bench_prefix=$PAVIX_TEST_DIR/prefix
readonly report=$tree/$bench_report
: >"$report"
figure() { echo "$*" | tee -a "$report"; }

if [ ! -f "$bench_prefix/system.reg" ]; then
  note "making the benchmark's Wine prefix"
  make_pavix_prefix "$bench_prefix"
fi
use_prefix "$bench_prefix"
register_filter
