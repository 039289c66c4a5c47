#!/usr/bin/env bash
# Benchmark of the camera as a third-party capture application sees it,
# end to end: the phone simulator sends camera-like pictures at 30 a second
# through a relay that notes when each packet was handed on
# (tests/app/frame_relay), pavix.exe receives and publishes them, the camera
# "Pavix" delivers them to ffmpeg under Wine (raw frames on its standard
# output, every sample passed through as it came: -fps_mode passthrough),
# and tests/filter/capture_frame_reader reads which picture each sample
# shows and when it came.
#
#   tests/app/camera_client_bench.sh WIN64_TREE [NATIVE_TREE] [SECONDS]
#
# SECONDS (default 25, at least 20: 600 pictures) is the length of each
# client's capture. For each pairing of pictures and client type:
#
#   latency     simulator send -> the client taking its first sample of
#               that picture from the camera (ffmpeg's own wall-clock time
#               of each packet): p50, p90, p99, max (the simulator sends a
#               loop of 120 pictures, so a picture's number names its packet
#               within 4 s); beside it the p50 to PavixShMem's frame word
#               (the path before the camera) and to the reader having the
#               frame (after ffmpeg's conversions and pipe, about 2 frames
#               more under Wine: ffmpeg's, not the camera's)
#   repeats     the share of samples that show the same picture as the
#               sample before
#   never       the share of the pictures sent while the client captured
#               that no sample showed
#   CPU         pavix.exe's CPU time in % of one core while the client
#               captures; and with no client at all, the floor the clients
#               are judged against
#
# Judged by: the 1280x720 NV12 client against the 480x320 RGB24 client of
# the same 1280x720 pictures and against no client, in one run; the
# targets are printed beside. A client type the camera does not offer
# (before the HD camera, anything but 480x320 RGB24) is reported as such.
# Figures go to standard output and WIN64_TREE/camera-client-bench.txt.
set -uo pipefail

bench_name=camera_client_bench
bench_count="SECONDS 25"
bench_dir=camera-client-bench
bench_case=camera-client-bench
bench_report=camera-client-bench.txt
bench_needs() {
  ffmpeg=${PAVIX_FFMPEG:-${PAVIX_DEPS_DIR:-$HOME/.cache/pavix-deps}/x86_64-w64-mingw32/bin/ffmpeg.exe}
  reader=$native/tests/filter/capture_frame_reader
  relay=$native/tests/app/frame_relay
  needed=("$ffmpeg" "$reader" "$relay")
}
# shellcheck source=bench_lib.sh
. "$(dirname "$0")/bench_lib.sh"
seconds=$count
[ "$seconds" -ge 20 ] || fail "SECONDS must be at least 20 (600 pictures)"
pavix_winedebug=-all
readonly loop=120
clk=$(getconf CLK_TCK)

process_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

# pavix.exe's CPU in % of one core over SECONDS from now.
cpu_over() {
  local t0 c0 t1 c1
  c0=$(process_ticks "$pavix_pid")
  t0=$(now_ms)
  sleep "$1"
  c1=$(process_ticks "$pavix_pid")
  t1=$(now_ms)
  awk -v t=$((c1 - c0)) -v hz="$clk" -v ms=$((t1 - t0)) 'BEGIN { printf "%.1f", 100 * t * 1000 / hz / ms }'
}

max_word() { awk '$2 > m { m = $2 } END { print m + 0 }' "$hold_log"; }
lines_of() { if [ -f "$1" ]; then wc -l <"$1"; else echo 0; fi; }

# The simulator (camera-like pictures of SIZE, 30 a second) behind the relay,
# and pavix.exe connected to the relay, publishing.
start_chain() {  # SIZE
  make_run_dir
  "$phonesim" --listen 127.0.0.1:1236 --fps 30 --content camera --size "$1" --quality 80 \
    --loop $loop --seed 2 --quiet 2>"$run/sim.log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  until grep -q "listening on" "$run/sim.log" 2>/dev/null; do sleep 0.02; done
  "$relay" 1234 1236 "$run/relay.log" >"$run/relay.out" 2>&1 &
  relay_pid=$!
  extra_pids+=("$relay_pid")
  until grep -q listening "$run/relay.out"; do sleep 0.02; done
  printf '127.0.0.1:1234:1235\n' >"$run/pavix_cfg.ini"
  start_hold watch
  start_pavix
  probe_until 30 wait-window 1 >/dev/null || fail "no main window appeared"
  local end=$((SECONDS + 30))
  until [ "$(max_word)" -ge $((2 * loop)) ]; do  # past the simulator's first loop
    [ $SECONDS -ge $end ] && fail "the frame word did not reach $((2 * loop))"
    sleep 0.1
  done
}

stop_chain() {
  kill "$sim_pid" 2>/dev/null
  wait "$sim_pid" 2>/dev/null
  # The relay writes its log once a side has closed.
  wait_exit "$relay_pid" 20 >/dev/null || fail "the relay did not end"
  probe close >/dev/null || fail "cannot close the window"
  wait_exit "$pavix_pid" 20 >/dev/null
  pavix_pid=""
  kill "$hold_pid" 2>/dev/null
  wait "$hold_pid" 2>/dev/null
  hold_pid=""
}

# measure PICTURES CLIENT-SIZE CLIENT-FORMAT: one line of figures.
measure() {
  local pictures=$1 size=$2 format=$3
  local name
  name=$(printf '%-9s -> %s %-7s' "$pictures" "$size" "$format")
  case_name=bench-$pictures-$size-$format
  start_chain "$pictures"
  local frames=$((30 * seconds))
  # -use_wallclock_as_timestamps with -debug_ts: ffmpeg prints, for each
  # packet, the time (microseconds since 1970, in 100 ns units) its main
  # loop took the sample from the camera's queue: the client has it.
  (timeout $((seconds + 60)) "$wine" "$ffmpeg" -hide_banner -nostdin -rtbufsize 64M \
     -use_wallclock_as_timestamps 1 -debug_ts \
     -f dshow -video_size "$size" -pixel_format "$format" -i video=Pavix \
     -fps_mode passthrough -frames:v $frames -flush_packets 1 -f rawvideo - 2>"$run/ffmpeg.raw" |
     "$reader" "$format" "$size" --frames $frames --log "$run/frames.log" >"$run/reader.txt") &
  local client=$!
  # The CPU over the middle of the capture, once samples flow.
  local end=$((SECONDS + 30)) cpu=""
  until [ "$(lines_of "$run/frames.log")" -ge 30 ]; do
    kill -0 $client 2>/dev/null || break
    [ $SECONDS -ge $end ] && break
    sleep 0.1
  done
  if kill -0 $client 2>/dev/null; then
    cpu=$(cpu_over $((seconds / 2)))
  fi
  wait $client
  stop_chain
  local samples
  samples=$(lines_of "$run/frames.log")
  if [ "$samples" -lt $((frames / 2)) ]; then
    local why
    why=$(tr '\r' '\n' <"$run/ffmpeg.raw" | grep -v '^frame=' | grep -v '^ *$' | tail -n 1)
    figure "  $name no figures: $samples samples (ffmpeg: ${why:-?})"
    return
  fi
  # One line a sample: when ffmpeg took it, its picture, when the reader had
  # it whole (after ffmpeg's own conversions and the pipe). Passed through,
  # the n-th packet is the n-th frame.
  tr '\r' '\n' <"$run/ffmpeg.raw" | sed -n 's/^demuxer -> .* pkt_pts:\([0-9]*\)[0-9] .*/\1/p' >"$run/taken.txt"
  if [ "$(lines_of "$run/taken.txt")" -ne "$samples" ]; then
    figure "  $name ffmpeg reported $(lines_of "$run/taken.txt") packets for $samples frames: no figures"
    return
  fi
  paste -d' ' "$run/taken.txt" "$run/frames.log" | awk '{ print $1, $3, $2 }' >"$run/samples.txt"
  awk -v name="$name" -v loop=$loop -v cpu="$cpu" '
    FILENAME == ARGV[1] { sent[$1] = $2; n_sent = $1 + 1; next }   # the relay: index, microseconds
    FILENAME == ARGV[2] {   # the block holder: microseconds, frame word (picture k is word k + 1)
      if ($2 > 0 && !(($2 - 1) in published)) { published[$2 - 1] = 1; if (($2 - 1) in sent) block[nb++] = ($1 - sent[$2 - 1]) / 1000 }
      next
    }
    $2 < 0 { bad++; next }
    {
      # The packet this picture came in: the latest with its number sent
      # before the sample came.
      k = -1
      for (j = $2; j < n_sent && sent[j] <= $1; j += loop) k = j
      if (k < 0) { bad++; next }
      samples++
      if (k == last) repeats++
      else if (!(k in shown)) { shown[k] = 1; lat[n] = ($1 - sent[k]) / 1000; piped[n++] = ($3 - sent[k]) / 1000 }
      if (first == "") first = k
      last = k
    }
    function sort(a, count,   i, j, v) {  # insertion sort: a few hundred values
      for (i = 1; i < count; i++) { v = a[i]; for (j = i - 1; j >= 0 && a[j] > v; j--) a[j + 1] = a[j]; a[j + 1] = v }
    }
    END {
      sort(lat, n); sort(piped, n); sort(block, nb)
      span = last - first + 1
      never = 0
      for (k = first; k <= last; k++) if (!(k in shown)) never++
      printf "  %s p50 %5.1f ms, p90 %5.1f, p99 %5.1f, max %5.1f (p50 to PavixShMem %4.1f, to the end of ffmpeg'"'"'s pipe %5.1f); repeats %4.1f%% of %d samples; never delivered %4.1f%% of %d pictures; %d unreadable; pavix.exe CPU %s%%\n",
        name, lat[int(n * 0.50)], lat[int(n * 0.90)], lat[int(n * 0.99)], lat[n - 1], block[int(nb * 0.50)], piped[int(n * 0.50)],
        100 * repeats / samples, samples, 100 * never / span, span, bad, cpu == "" ? "?" : cpu
    }' "$run/relay.log" "$hold_log" "$run/samples.txt" | tee -a "$report"
}

figure "camera clients (ffmpeg under Wine), camera-like pictures at 30/s, ${seconds} s each:"
figure "  (targets at 1280x720 NV12: latency p50 <= 15 ms, p99 <= 40 ms; repeats <= 1 %; never delivered <= 0.5 %; pavix.exe CPU <= 20 %)"
measure 1280x720 1280x720 nv12
# A small client of a 720p phone: 640x360 keeps the phone's aspect (a
# 480x320 one would crop the sides, where the pattern's frame number starts).
measure 1280x720 640x360 bgr24
measure 640x480 480x320 bgr24

case_name=bench-no-client
start_chain 1280x720
figure "  1280x720  -> no client: pavix.exe CPU $(cpu_over $((seconds / 2)))% (the floor: a 480x320 client should cost no more than today)"
stop_chain
echo "camera_client_bench: figures in $report"
