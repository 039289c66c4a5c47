#!/usr/bin/env bash
# Benchmark of recording under 64-bit Wine: the CPU time pavix.exe spends
# per second while it records the camera, next to the same program showing
# the same stream without recording, in one run. The phone simulator sends
# its 640x480 pattern at 30 pictures/s on loopback.
#
#   tests/app/record_bench.sh WIN64_TREE [NATIVE_TREE] [SECONDS]
#
# Two phases of SECONDS each (default 10) in one program run: streaming
# without recording, then recording (the program's own choice of
# compressor: cvid when the prefix offers it, uncompressed when none takes
# the pictures). For each: the process's CPU seconds per second; for the
# recording also the path it took, samples recorded per second and the
# file's megabytes per second. Figures go to standard output and to
# WIN64_TREE/record-bench.txt. Under Wine, cvid is listed and binds but
# cannot compress (Wine's Cinepak decodes only): the program then records
# uncompressed, and the report says so.
set -uo pipefail

bench_name=record_bench
bench_count="SECONDS 10"
bench_dir=record-bench
bench_case=record-bench
bench_report=record-bench.txt
bench_needs() { :; }
# shellcheck source=bench_lib.sh
. "$(dirname "$0")/bench_lib.sh"
seconds=$count
# Debug texts on, for the recording's path and length; they are rare.
pavix_winedebug=-all,+debugstr

# CPU clock ticks of process PID, all threads.
process_ticks() { sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'; }

make_run_dir
printf '127.0.0.1:1234:1235\n' >"$run/pavix_cfg.ini"
"$phonesim" --listen 127.0.0.1:1234 --fps 30 --seed 1 2>"$run/sim.log" &
extra_pids+=("$!")
start_pavix
probe_until 30 wait-window 1 >/dev/null || fail "no main window appeared"
probe_until_line 20 "part0=[连接手机成功 ]" status >/dev/null || fail "the phone link did not come up"
sleep 2
clk=$(getconf CLK_TCK)
note "pavix.exe is process $pavix_pid: $(tr '\0' ' ' <"/proc/$pavix_pid/cmdline")"

# One phase: CPU seconds per second of the program over SECONDS.
measure() {
  local before after
  before=$(process_ticks "$pavix_pid")
  sleep "$seconds"
  after=$(process_ticks "$pavix_pid")
  awk -v a="$after" -v b="$before" -v c="$clk" -v s="$seconds" 'BEGIN { printf "%.3f", (a - b) / c / s }'
}

record_phase() {  # NAME FILE
  local name=$1 file=$2
  probe post-command 32772 >/dev/null || fail "cannot send the start command"
  probe save-as "$(winepath_of "$file")" >/dev/null || fail "cannot fill the save dialog"
  probe_until_line 15 "part2=[录像中]" status >/dev/null || fail "no recording started"
  local cpu
  cpu=$(measure)
  probe post-command 32773 >/dev/null || fail "cannot send the stop command"
  probe_until_line 15 "part2=[]" status >/dev/null || fail "the recording did not stop"
  local ms frames path bytes
  ms=$(grep -a 'pavix: recording stopped after' "$pavix_log" | tail -n 1 | sed 's/.*after \([0-9]*\) ms.*/\1/')
  path=$(grep -a 'pavix: recording through' "$pavix_log" | tail -n 1 | sed 's/.*pavix: recording through //; s/\\n.*//')
  frames=$(ffprobe -v error -count_frames -select_streams v -show_entries stream=nb_read_frames \
             -of csv=p=0 "$file")
  bytes=$(stat -c %s "$file")
  figure "$(printf '%-13s CPU %s s/s   (%s; %s frames in %s ms = %s/s; %s MB/s of file)' "$name" "$cpu" \
    "$path" "$frames" "$ms" "$(awk -v f="$frames" -v m="$ms" 'BEGIN { printf "%.1f", f * 1000 / m }')" \
    "$(awk -v b="$bytes" -v m="$ms" 'BEGIN { printf "%.1f", b / m / 1000 }')")"
  recorded_cpu=$cpu
}

figure "== recording: CPU of pavix.exe per second, simulator at 30 pictures/s, $seconds s each"
idle_cpu=$(measure)
figure "$(printf '%-13s CPU %s s/s   (streaming and previewing, not recording)' "not recording" "$idle_cpu")"
record_phase "recording" "$run/bench.avi"
figure "$(awk -v r="$recorded_cpu" -v i="$idle_cpu" 'BEGIN { printf "recording costs %.3f CPU s per recorded second more than not recording (x%.2f)", r - i, (i > 0 ? r / i : 0) }')"
if grep -aq 'compressor cannot be connected' "$pavix_log"; then
  figure "compressor: the prefix offers cvid; it binds but cannot take the camera's pictures, so the recording above is the uncompressed one (no compressed figure exists here)"
else
  figure "compressor: the recording above went through the compressor the program chose"
fi
probe close >/dev/null
wait_exit "$pavix_pid" 20 >/dev/null
pavix_pid=""
