#!/usr/bin/env bash
# Benchmarks of pavix.exe's phone link under 64-bit Wine, with the phone
# simulator on loopback, in a private network namespace with a virtual
# display:
#
#   tests/app/live_link_bench.sh WIN64_TREE [NATIVE_TREE] [SECONDS]
#
# NATIVE_TREE (default: WIN64_TREE's sibling "native") holds the simulator,
# tests/app/pattern_check and tests/app/frame_relay. SECONDS (default 10) is
# the length of each measurement. Pictures: the simulator's flat test
# pattern at 640x480 and its camera-like scene (a textured moving picture
# with noise, JPEGs of 40 to 120 KB) at 640x480 and 1280x720, quality 80.
# The simulator makes 30 different pictures once and sends them round and
# round (--loop), so that its own encoding does not compete with pavix.exe
# for the two cores. Figures go to standard output and to
# WIN64_TREE/live-link-bench.txt.
#
#   cost        in a process of its own (live_link_decode_bench.exe): the
#               bare decode of each picture's JPEG, the publish path (decode
#               + scale into the shared block), the whole path with the
#               preview (+ scale for the pane + the pane's paint), and the
#               earlier GDI+ path, side by side (each the fastest of three
#               one-second runs)
#   capacity    the simulator sends as fast as the link takes them; pictures
#               published per second, counted from the shared block's frame
#               word, and the CPU time per picture of the busiest thread
#               (the frame thread) and of the whole process, from /proc
#   latency     the simulator at 30 pictures/s behind a relay that notes
#               when each packet's last byte was handed to pavix.exe; a
#               poller notes when the frame word changes. Picture k of the
#               simulator (from 0) is published as frame word k + 1 as long
#               as no picture is lost; the run checks that none was (the
#               last word equals the pictures sent). Latency of picture k:
#               time of word k + 1 minus the relay's time of packet k. Also
#               the CPU the whole program uses meanwhile, in % of one core;
#               also with a 1280x720 HD camera streaming (shmtool hd --claim
#               holding a request slot), which has every picture decoded at
#               full size and written into the HD block too
#   camera      while pavix.exe publishes 30 camera-like pictures a second,
#               camcheck opens the camera "Pavix": samples per second
set -uo pipefail

bench_name=live_link_bench
bench_count="SECONDS 10"
bench_dir=bench
bench_case=bench
bench_report=live-link-bench.txt
bench_needs() {
  decode_bench=$tree/tests/app/live_link_decode_bench.exe
  camcheck=$tree/tools/camcheck/camcheck.exe
  shmtool=$tree/tools/shmtool/shmtool.exe
  pattern_check=$native/tests/app/pattern_check
  relay=$native/tests/app/frame_relay
  needed=("$decode_bench" "$camcheck" "$shmtool" "$pattern_check" "$relay")
}
# shellcheck source=bench_lib.sh
. "$(dirname "$0")/bench_lib.sh"
seconds=$count
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

# Starts the simulator with OPTIONS on port PORT (its log: $run/sim.log).
start_sim() {  # PORT OPTIONS...
  local port=$1
  shift
  "$phonesim" --listen 127.0.0.1:"$port" --quality 80 --loop 30 --quiet "$@" 2>"$run/sim.log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  until grep -q "listening on" "$run/sim.log" 2>/dev/null; do sleep 0.02; done
}

# Process CPU ticks (user + system) of PID.
process_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

clk=$(getconf CLK_TCK)
# The pictures measured: content and size.
pictures=("pattern 640x480" "camera 640x480" "camera 1280x720")

# --- cost of each path against the bare decode ---------------------------------------

case_name=bench-cost
make_run_dir
figure "cost per picture, in a process of its own (ms; x the bare decode of the same JPEG):"
figure "  $(printf '%-16s %7s %8s %15s %15s %15s %15s' picture 'JPEG KB' 'decode' 'publish' '+ preview' 'GDI+ publish' 'GDI+ preview')"
for p in "${pictures[@]}" "camera 641x479"; do
  read -r content size <<<"$p"
  jpeg=$run/$content-$size.jpg
  "$pattern_check" jpeg 100 "$size" 80 "$jpeg" "$content" >/dev/null
  if ! "$wine" "$decode_bench" "$(winepath_of "$jpeg")" 3 >"$run/decode.raw" 2>&1; then
    figure "  $(printf '%-16s' "$content $size") the path failed: $(tr -d '\r' <"$run/decode.raw" | tail -n 1)"
    continue
  fi
  tr -d '\r' <"$run/decode.raw" >"$run/decode.txt"
  ms() { sed -n "s/^$1: \([0-9.]*\) ms.*/\1/p" "$run/decode.txt"; }
  decode_ms=$(ms decode)
  with_ratio() { [ -n "$1" ] && awk -v v="$1" -v d="$decode_ms" 'BEGIN { printf "%.2f (%.1fx)", v, v / d }' || echo "-"; }
  figure "  $(printf '%-16s %7.1f %8.2f %15s %15s %15s %15s' "$content $size" \
    "$(awk -v b="$(stat -c %s "$jpeg")" 'BEGIN { print b / 1024 }')" "$decode_ms" \
    "$(with_ratio "$(ms publish)")" "$(with_ratio "$(ms preview)")" \
    "$(with_ratio "$(ms gdiplus-publish)")" "$(with_ratio "$(ms gdiplus-preview)")")"
done
figure "  (GDI+ takes no rows that are not a multiple of 4 bytes: no GDI+ figures for 641 wide)"

# --- capacity ----------------------------------------------------------------------------

figure "capacity (simulator unpaced, ${seconds} s each):"
for p in "${pictures[@]}"; do
  read -r content size <<<"$p"
  case_name=bench-capacity-$content-$size
  make_run_dir
  start_sim 1234 --fps 0 --content "$content" --size "$size"
  start_against 1234
  wait_max_word 60 30 || fail "the frame word did not reach 60"  # past the start
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
  stop_program
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  rate=$(awk -v n="$published" -v ms="$span_ms" 'BEGIN { printf "%.1f", n * 1000 / ms }')
  per_picture_ms=$(awk -v n="$published" -v ms="$span_ms" 'BEGIN { printf "%.2f", ms / n }')
  read -r busiest_ms process_ms < <(join <(sort <<<"$ticks_before") <(sort <<<"$ticks_after") |
    awk -v hz="$clk" -v n="$published" '
      { d = $3 - $2; all += d; if (d > top) top = d }
      END { printf "%.2f %.2f\n", top * 1000 / hz / n, all * 1000 / hz / n }')
  figure "  $(printf '%-16s' "$content $size") $rate pictures/s ($per_picture_ms ms each); CPU per picture: frame thread $busiest_ms ms, whole process $process_ms ms"
done

# --- latency at 30 pictures/s, and the program's CPU ----------------------------------

figure "latency at 30 pictures/s, simulator send -> frame word (the first second left out), and the CPU of the whole program meanwhile:"
for p in "${pictures[@]}" "camera 640x480 hidden" "camera 1280x720 hd-client"; do
  read -r content size how <<<"$p"
  hidden= label=
  case $how in
    hidden) hidden=1 label=" (window hidden)" ;;
    hd-client) label=" (720p HD camera)" ;;
  esac
  case_name=bench-latency-$content-$size${how:+-$how}
  make_run_dir
  total=$((30 * seconds + 30))
  start_sim 1236 --fps 30 --frames-total "$total" --content "$content" --size "$size" --seed 2
  "$relay" 1234 1236 "$run/relay.log" >"$run/relay.out" 2>&1 &
  relay_pid=$!
  extra_pids+=("$relay_pid")
  until grep -q listening "$run/relay.out"; do sleep 0.02; done
  start_against 1234
  # "hidden": the window minimised into the notification area, as a user
  # leaves it while a call runs.
  [ -n "$hidden" ] && { probe minimize >/dev/null || fail "cannot minimise the window"; }
  # "hd-client": a camera streaming 1280x720 from the HD block over the
  # whole measurement.
  hd_pid=
  if [ "$how" = hd-client ]; then
    "$wine" "$shmtool" hd --claim 1280x720 --hold $((seconds + 3)) >"$run/hd-client.raw" 2>&1 &
    hd_pid=$!
    extra_pids+=("$hd_pid")
  fi
  wait_max_word 30 30 || fail "the frame word did not reach 30"
  cpu_ticks0=$(process_ticks "$pavix_pid")
  threads0=$(thread_ticks "$pavix_pid")
  cpu_t0=$(now_ms)
  if ! wait_max_word $((total - 15)) $((seconds + 10)); then
    figure "  $(printf '%-16s' "$content $size") does not keep up with 30 pictures/s: frame word $(max_word) of $total $((seconds + 10)) s after the first second"
    stop_program
    kill "$relay_pid" "$sim_pid" 2>/dev/null
    wait "$relay_pid" "$sim_pid" 2>/dev/null
    continue
  fi
  cpu_ticks1=$(process_ticks "$pavix_pid")
  threads1=$(thread_ticks "$pavix_pid")
  cpu_t1=$(now_ms)
  wait_exit "$relay_pid" $((seconds + 60)) || fail "the relay did not end"
  if [ -n "$hd_pid" ]; then
    wait_exit "$hd_pid" 30 || fail "shmtool hd did not end"
  fi
  wait_max_word "$total" 10
  sleep 0.3
  stop_program
  last=$(max_word)
  sent=$(wc -l <"$run/relay.log")
  cpu=$(awk -v t="$((cpu_ticks1 - cpu_ticks0))" -v hz="$clk" -v ms="$((cpu_t1 - cpu_t0))" \
    'BEGIN { printf "%.1f", 100 * t * 1000 / hz / ms }')
  # The busiest threads' shares (frame thread, window thread, receive loop).
  busiest=$(join <(sort <<<"$threads0") <(sort <<<"$threads1") |
    awk -v hz="$clk" -v ms="$((cpu_t1 - cpu_t0))" '{ printf "%.1f\n", 100 * ($3 - $2) * 1000 / hz / ms }' |
    sort -rn | head -3 | paste -sd/ -)
  if [ "$last" -ne "$sent" ]; then
    figure "  $(printf '%-16s' "$content $size") $sent pictures sent but the frame word ended at $last: pictures were lost, no figures"
  else
    awk -v name="$(printf '%-16s' "$content $size$label")" -v cpu="$cpu" -v busiest="$busiest" '
      NR == FNR { sent[$1] = $2; next }   # the relay: index, microseconds
      $2 > 0 && !($2 in seen) { seen[$2] = 1; published[$2 - 1] = $1 }
      END {
        n = 0
        for (k = 30; k in sent; k++) if (k in published) lat[n++] = (published[k] - sent[k]) / 1000
        # insertion sort: a few hundred values
        for (i = 1; i < n; i++) { v = lat[i]; for (j = i - 1; j >= 0 && lat[j] > v; j--) lat[j + 1] = lat[j]; lat[j + 1] = v }
        printf "  %s p50 %.1f ms, p95 %.1f ms, p99 %.1f ms, max %.1f ms (min %.1f ms, %d pictures); CPU %s%% of one core (busiest threads %s%%)\n",
          name, lat[int(n * 0.50)], lat[int(n * 0.95)], lat[int(n * 0.99)], lat[n - 1], lat[0], n, cpu, busiest
      }' "$run/relay.log" "$hold_log" | tee -a "$report"
  fi
  [ -n "$hd_pid" ] &&
    figure "    the HD camera: $(tr -d '\r' <"$run/hd-client.raw" | grep -E '^(held|hd) ' | paste -sd';' -)"
done

# --- the camera while pictures stream ------------------------------------------------------

case_name=bench-camera
make_run_dir
start_sim 1234 --fps 30 --content camera --size 640x480
start_against 1234
wait_max_word 30 30 || fail "the frame word did not reach 30"
"$wine" "$camcheck" --seconds "$seconds" >"$run/camcheck.raw" 2>&1 || fail "camcheck failed: $(cat "$run/camcheck.raw")"
stop_program
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
figure "camera \"Pavix\" while pavix.exe publishes 30 camera-like 640x480 pictures/s (camcheck, ${seconds} s):"
figure "  $(tr -d '\r' <"$run/camcheck.raw" | sed -n 's/^run 1: \(rate .*\)$/\1/p')"
echo "live_link_bench: figures in $report"
