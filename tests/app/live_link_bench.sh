#!/usr/bin/env bash
# Benchmarks of pavix.exe's phone link under 64-bit Wine, with the phone
# simulator on loopback, in a private network namespace with a virtual
# display:
#
#   tests/app/live_link_bench.sh WIN64_TREE [NATIVE_TREE] [SECONDS]
#
# NATIVE_TREE (default: WIN64_TREE's sibling "native") holds the simulator,
# tests/app/pattern_check and tests/app/frame_relay. SECONDS (default 10) is
# the length of each measurement. Figures go to standard output and to
# WIN64_TREE/live-link-bench.txt.
#
#   throughput  the simulator sends 640x480 pictures as fast as the link
#               takes them; pictures published per second, counted from the
#               shared block's frame word, and the CPU time per picture of
#               the busiest thread (the frame thread) and of the whole
#               process, from /proc
#   latency     the simulator at 30 pictures/s behind a relay that notes
#               when each packet's last byte was handed to pavix.exe; a
#               poller notes when the frame word changes. Picture k of the
#               simulator (from 0) is published as frame word k + 1 as long
#               as no picture is lost; the run checks that none was (the
#               last word equals the pictures sent). Latency of picture k:
#               time of word k + 1 minus the relay's time of packet k.
#   cost        CJpegDecoder::Decode alone on the simulator's JPEG, decode
#               plus the drawing into the shared block, and plus the preview
#               drawing, in a process of its own (live_link_decode_bench.exe),
#               against the time per picture of the whole path at full
#               throughput
set -uo pipefail

[ $# -ge 1 ] || { echo "usage: live_link_bench.sh WIN64_TREE [NATIVE_TREE] [SECONDS]" >&2; exit 2; }
tree=$(cd "$1" && pwd)
native=$(cd "${2:-$(dirname "$tree")/native}" && pwd)
seconds=${3:-10}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$root/scripts/in-netns.sh" "$0" "$tree" "$native" "$seconds"
fi

export PAVIX_EXE=$tree/app/pavix.exe
export PAVIX_PROBE=$tree/tests/app/pavix_probe.exe
export PAVIX_FILTER=$tree/filter/RovoFilter.ax
export PAVIX_TEST_DIR=$tree/tests/app/bench
decode_bench=$tree/tests/app/live_link_decode_bench.exe
phonesim=$native/tools/phonesim/phonesim
pattern_check=$native/tests/app/pattern_check
relay=$native/tests/app/frame_relay
for f in "$PAVIX_EXE" "$PAVIX_PROBE" "$PAVIX_FILTER" "$decode_bench" "$phonesim" "$pattern_check" "$relay"; do
  [ -e "$f" ] || { echo "live_link_bench: $f is missing; build both trees first" >&2; exit 1; }
done
mkdir -p "$PAVIX_TEST_DIR"

case_name=bench
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"
readonly bench_prefix=$PAVIX_TEST_DIR/prefix
readonly report=$tree/live-link-bench.txt
: >"$report"
figure() { echo "$*" | tee -a "$report"; }

if [ ! -f "$bench_prefix/system.reg" ]; then
  note "making the benchmark's Wine prefix"
  make_pavix_prefix "$bench_prefix"
fi
use_prefix "$bench_prefix"
register_filter
# The benchmark measures the program, not its debug texts.
pavix_winedebug=-all

# CPU time (clock ticks) of each thread of process PID: "TID TICKS" lines.
thread_ticks() {
  local task
  for task in /proc/"$1"/task/*; do
    # Fields after the command name: state is 3rd, utime 14th, stime 15th.
    sed 's/^.*) //' "$task/stat" 2>/dev/null | awk -v t="${task##*/}" '{ print t, $12 + $13 }'
  done
}

# Runs the program in the phase's run directory against port PORT.
start_against() {  # PORT
  printf '127.0.0.1:%s:%s\n' "$1" $(($1 + 1)) >"$run/pavix_cfg.ini"
  start_hold watch
  start_pavix
  probe_until 30 wait-window 1 >/dev/null || fail "no main window appeared"
}

max_word() { awk '$2 > m { m = $2 } END { print m + 0 }' "$hold_log"; }

wait_max_word() {  # N SECONDS: false when the frame word did not reach N
  local end=$((SECONDS + $2))
  until [ "$(max_word)" -ge "$1" ]; do
    [ $SECONDS -ge $end ] && return 1
    sleep 0.05
  done
}

stop_program() {
  probe close >/dev/null || fail "cannot close the window"
  expect_clean_end
}

# --- throughput ----------------------------------------------------------------------

case_name=bench-throughput
make_run_dir
"$phonesim" --listen 127.0.0.1:1234 --fps 0 --size 640x480 --quality 80 --seed 1 2>"$run/sim.log" &
extra_pids+=($!)
sim_pid=$!
until grep -q 'listening on' "$run/sim.log"; do sleep 0.02; done
start_against 1234
wait_max_word 60 30 || fail "the frame word did not reach 60"  # past the start
clk=$(getconf CLK_TCK)
ticks_before=$(thread_ticks "$pavix_pid")
t0=$(now_ms)
sleep "$seconds"
ticks_after=$(thread_ticks "$pavix_pid")
t1=$(now_ms)
sleep 0.2  # the poller's last lines
read -r published span_ms < <(awk -v a="$t0" -v b="$t1" '
  { ms = substr($1, 1, length($1) - 3) }
  $2 > 0 && ms >= a && ms <= b { if (!first) first = $2; last = $2 }
  END { print last - first, b - a }' "$hold_log")
published_total=$(max_word)
stop_program
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sent_total=$(sed -n 's/^phonesim: done, \([0-9]*\) frames sent/\1/p' "$run/sim.log")
rate=$(awk -v n="$published" -v ms="$span_ms" 'BEGIN { printf "%.1f", n * 1000 / ms }')
per_picture_ms=$(awk -v n="$published" -v ms="$span_ms" 'BEGIN { printf "%.2f", ms / n }')
read -r busiest_ms process_ms < <(join <(sort <<<"$ticks_before") <(sort <<<"$ticks_after") |
  awk -v hz="$clk" -v n="$published" '
    { d = $3 - $2; all += d; if (d > top) top = d }
    END { printf "%.2f %.2f\n", top * 1000 / hz / n, all * 1000 / hz / n }')
busiest_share=$(awk -v c="$busiest_ms" -v p="$per_picture_ms" 'BEGIN { printf "%.0f", 100 * c / p }')
figure "throughput (640x480 JPEG, quality 80, simulator unpaced, ${seconds} s):"
figure "  pictures published      $rate /s ($published in $span_ms ms; $per_picture_ms ms each)"
figure "  CPU per picture         frame thread $busiest_ms ms ($busiest_share% of its time), whole process $process_ms ms"
figure "  backlog                 the simulator handed ${sent_total:-?} pictures to the link, $published_total were published"

# --- latency at 30 pictures/s --------------------------------------------------------------

case_name=bench-latency
make_run_dir
total=$((30 * seconds + 30))
"$phonesim" --listen 127.0.0.1:1236 --fps 30 --frames-total "$total" --seed 2 --quiet 2>"$run/sim.log" &
extra_pids+=($!)
until grep -q 'listening on' "$run/sim.log"; do sleep 0.02; done
"$relay" 1234 1236 "$run/relay.log" >"$run/relay.out" 2>&1 &
relay_pid=$!
extra_pids+=("$relay_pid")
until grep -q listening "$run/relay.out"; do sleep 0.02; done
start_against 1234
wait_exit "$relay_pid" $((seconds + 60)) || fail "the relay did not end"
wait_max_word "$total" 10
sleep 0.3
stop_program
last=$(max_word)
sent=$(wc -l <"$run/relay.log")
figure "latency (640x480 at 30 pictures/s, $sent pictures, the first second left out):"
if [ "$last" -ne "$sent" ]; then
  figure "  $sent pictures sent but the frame word ended at $last: pictures were lost, no figures"
else
  awk '
    NR == FNR { sent[$1] = $2; next }   # the relay: index, microseconds
    $2 > 0 && !($2 in seen) { seen[$2] = 1; published[$2 - 1] = $1 }
    END {
      n = 0
      for (k = 30; k in sent; k++) if (k in published) lat[n++] = (published[k] - sent[k]) / 1000
      # insertion sort: a few hundred values
      for (i = 1; i < n; i++) { v = lat[i]; for (j = i - 1; j >= 0 && lat[j] > v; j--) lat[j + 1] = lat[j]; lat[j + 1] = v }
      printf "  latency                 p50 %.1f ms, p95 %.1f ms, p99 %.1f ms, max %.1f ms (min %.1f ms, %d pictures)\n",
        lat[int(n * 0.50)], lat[int(n * 0.95)], lat[int(n * 0.99)], lat[n - 1], lat[0], n
    }' "$run/relay.log" "$hold_log" | tee -a "$report"
fi

# --- cost of the whole path against the bare decode ----------------------------------

case_name=bench-cost
make_run_dir
"$pattern_check" jpeg 100 640x480 80 "$run/frame.jpg" >/dev/null
"$wine" "$decode_bench" "$(winepath_of "$run/frame.jpg")" 3 >"$run/decode.raw" 2>&1 ||
  fail "the decode benchmark failed: $(cat "$run/decode.raw")"
tr -d '\r' <"$run/decode.raw" >"$run/decode.txt"
decode_ms=$(sed -n 's/^decode: \([0-9.]*\) ms.*/\1/p' "$run/decode.txt")
publish_ms=$(sed -n 's/^publish: \([0-9.]*\) ms.*/\1/p' "$run/decode.txt")
preview_ms=$(sed -n 's/^preview: \([0-9.]*\) ms.*/\1/p' "$run/decode.txt")
figure "cost (the simulator's 640x480 JPEG, $(stat -c %s "$run/frame.jpg") bytes):"
figure "  bare decode             $decode_ms ms per picture"
figure "  decode + shared block   $publish_ms ms per picture"
figure "  + preview window        $preview_ms ms per picture"
figure "  whole path              $per_picture_ms ms per picture at full throughput," \
  "$(awk -v w="$per_picture_ms" -v d="$decode_ms" 'BEGIN { printf "%.1f", w / d }') x the bare decode" \
  "(frame thread CPU $(awk -v c="$busiest_ms" -v d="$decode_ms" 'BEGIN { printf "%.1f", c / d }') x)"
echo "live_link_bench: figures in $report"
