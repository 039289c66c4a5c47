#!/usr/bin/env bash
# Benchmark of pavix.exe under 64-bit Wine: from the phone's Wi-Fi notice to
# the first published picture of the announced phone, with the phone
# simulator on loopback, in a private network namespace with a virtual
# display:
#
#   tests/app/notice_bench.sh WIN64_TREE [NATIVE_TREE] [TRIES]
#
# The program runs without a settings file. Each try starts a simulator
# behind a relay (tests/app/frame_relay, which notes when it handed each
# frame packet on) on a port of its own while the program has no phone,
# sends the encoded notice announcing the relay's port to 233.0.0.1:7788,
# and notes when the frame word first rises after the notice. Then the
# simulator goes away and the program is back to trying every 3 s (frame
# word -2) before the next try, whose notice comes 0 to 2.9 s after that. TRIES (default 20) tries; p50 and max of
#   notice -> first picture    the whole way
#   notice -> first packet     of it: the supervisor's attempt (a new
#                              endpoint ends its pause) and the connection
#   first packet -> picture    of it: the frame's way through the program
# Figures go to standard output and to WIN64_TREE/notice-bench.txt.
set -uo pipefail

bench_name=notice_bench
bench_count="TRIES 20"
bench_dir=bench
bench_case=bench-notice
bench_report=notice-bench.txt
bench_needs() {
  relay=$native/tests/app/frame_relay
  needed=("$relay")
}
# shellcheck source=bench_lib.sh
. "$(dirname "$0")/bench_lib.sh"
tries=$count
pavix_winedebug=-all

now_us() { echo $(($(date +%s%N) / 1000)); }

# The first positive frame word the holder saw at or after MICROSECONDS:
# its time, or nothing.
first_picture_after() {
  awk -v t="$1" '$1 >= t && $2 > 0 { print $1; exit }' "$hold_log"
}

make_run_dir
# The frame words with their times, for as long as the tries take.
hold_log=$dir/hold-$case_name.log
"$wine" "$PAVIX_PROBE" watch $((tries * 30 + 60)) >"$hold_log" &
hold_pid=$!
until [ -s "$hold_log" ]; do sleep 0.05; done
start_pavix
probe_until 30 wait-window 1 >/dev/null || fail "no main window appeared"
probe_until 20 responsive 1000 >/dev/null || fail "the window does not answer"

: >"$run/tries.txt"
for ((i = 1; i <= tries; i++)); do
  sim_port=$((1500 + 2 * i))
  relay_port=$((sim_port + 1))
  "$phonesim" --listen 127.0.0.1:$sim_port --fps 30 --seed "$i" --quiet 2>"$run/sim-$i.log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  until grep -q 'listening on' "$run/sim-$i.log"; do sleep 0.02; done
  "$relay" $relay_port $sim_port "$run/relay-$i.log" >"$run/relay-$i.out" 2>&1 &
  relay_pid=$!
  extra_pids+=("$relay_pid")
  until grep -q listening "$run/relay-$i.out"; do sleep 0.02; done
  # The program has no phone now: the notice comes at a random point of
  # its 3 s rhythm.
  sleep "$((RANDOM % 3)).$((RANDOM % 10))"

  sent_us=$(now_us)
  "$phonesim" --listen 127.0.0.1:$relay_port --notice 233.0.0.1:7788 --notice-only \
    --notice-form encoded --quiet 2>>"$run/notices.log" || fail "the notice was not sent"
  end=$((SECONDS + 20))
  until picture_us=$(first_picture_after "$sent_us") && [ -n "$picture_us" ]; do
    [ $SECONDS -ge $end ] && fail "try $i: no picture 20 s after the notice"
    sleep 0.05
  done

  # The phone goes away; the relay writes its log when its upstream ends.
  kill "$sim_pid" 2>/dev/null
  wait_exit "$relay_pid" 10 >/dev/null || kill "$relay_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  packet_us=$(awk '$1 == 0 { print $2; exit }' "$run/relay-$i.log")
  [ -n "$packet_us" ] || fail "try $i: the relay noted no packet"
  echo "$i $(((picture_us - sent_us) / 1000)) $(((packet_us - sent_us) / 1000)) $(((picture_us - packet_us) / 1000))" |
    tee -a "$run/tries.txt"

  # Back to no phone: the supervisor retries (frame word -2) before the
  # next try.
  lines=$(wc -l <"$hold_log")
  end=$((SECONDS + 20))
  until tail -n +"$lines" "$hold_log" | awk '$2 == -2 { found = 1 } END { exit !found }'; do
    [ $SECONDS -ge $end ] && fail "try $i: the program did not go back to retrying"
    sleep 0.05
  done
done
probe close >/dev/null || fail "cannot close the window"
expect_clean_end

figure "notice to first picture (encoded notice to 233.0.0.1:7788, 640x480 at 30 pictures/s, $tries tries):"
awk '
  function sorted_stats(col, label,    n, i, j, v, a) {
    n = 0
    for (i = 1; i <= rows; i++) a[n++] = value[i, col]
    for (i = 1; i < n; i++) { v = a[i]; for (j = i - 1; j >= 0 && a[j] > v; j--) a[j + 1] = a[j]; a[j + 1] = v }
    printf "  %-26s p50 %5d ms, max %5d ms (min %d ms)\n", label, a[int((n - 1) / 2)], a[n - 1], a[0]
  }
  { rows++; for (c = 2; c <= 4; c++) value[rows, c] = $c }
  END {
    sorted_stats(2, "notice -> first picture")
    sorted_stats(3, "  notice -> first packet")
    sorted_stats(4, "  first packet -> picture")
  }' "$run/tries.txt" | tee -a "$report"
figure "  (a new endpoint ends the supervisor's pause: it connects at once)"
echo "notice_bench: figures in $report"
