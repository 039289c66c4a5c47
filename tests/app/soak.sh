#!/usr/bin/env bash
# Soak run of pavix.exe under 64-bit Wine (make soak; not part of make test):
# the phone simulator streams 30 pictures a second for MINUTES minutes with
# faults - every CORRUPT-th picture damaged, random bytes between packets,
# the connection closed every RECONNECT pictures (pavix.exe connects again by
# itself) - and halfway a peer that announces a 16 MB packet, sends 1,000
# bytes of it and closes. Every minute it prints pavix.exe's resident
# memory, handles and threads, the pictures sent and published, and the
# worker threads ended forcibly; at the end the program is closed and the
# totals are judged: nothing lost but the damaged pictures, memory flat.
#
#   soak.sh WIN64_TREE NATIVE_TREE MINUTES
#
# Runs itself inside scripts/in-netns.sh (private network, Xvfb).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
win64=$(cd "${1:?usage: soak.sh WIN64_TREE NATIVE_TREE MINUTES}" && pwd)
native=$(cd "${2:?}" && pwd)
minutes=${3:?}
if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$root/scripts/in-netns.sh" "$0" "$win64" "$native" "$minutes"
fi

readonly fps=30 corrupt_every=97 reconnect_every=400 port=1234
export PAVIX_EXE=$win64/app/pavix.exe
export PAVIX_PROBE=$win64/tests/app/pavix_probe.exe
export PAVIX_FILTER=$win64/filter/RovoFilter.ax
export PAVIX_TEST_DIR=$win64/soak
readonly phonesim=$native/tools/phonesim/phonesim
for f in "$PAVIX_EXE" "$PAVIX_PROBE" "$PAVIX_FILTER" "$phonesim"; do
  [ -e "$f" ] || { echo "soak: $f is not built" >&2; exit 1; }
done
case_name=soak
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"

mkdir -p "$dir" "$artefacts"
if [ ! -e "$prefix_with_filter/.soak-ready" ]; then
  note "making the Wine prefix with the camera filter"
  rm -rf "$prefix_with_filter"
  make_pavix_prefix "$prefix_with_filter"
  register_filter
  touch "$prefix_with_filter/.soak-ready"
fi
use_prefix "$prefix_with_filter"
make_run_dir
printf '127.0.0.1:%s:%s\n' "$port" $((port + 1)) >"$run/pavix_cfg.ini"

# One simulator run: sim_pid, its log run/sim-N.log.
sim_runs=0
start_sim() {
  sim_runs=$((sim_runs + 1))
  local log=$run/sim-$sim_runs.log
  "$phonesim" --listen 127.0.0.1:$port --fps $fps --size 480x320 --seed $sim_runs \
    --corrupt-every $corrupt_every --garbage --close-after $reconnect_every "$@" 2>"$log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  wait_until_listening "$log"
}

# Pictures the simulator runs have sent so far, and how many of them were
# damaged on purpose (frames K, 2K, ... of each run, counted from 0).
sent_total() {
  local n total=0
  for ((n = 1; n <= sim_runs; n++)); do
    local sent
    sent=$(grep -o '[0-9]* frames sent' "$run/sim-$n.log" | tail -n 1 | cut -d' ' -f1)
    total=$((total + ${sent:-0}))
  done
  echo "$total"
}
damaged_total() {
  local n total=0
  for ((n = 1; n <= sim_runs; n++)); do
    local sent
    sent=$(grep -o '[0-9]* frames sent' "$run/sim-$n.log" | tail -n 1 | cut -d' ' -f1)
    sent=${sent:-0}
    [ "$sent" -gt 0 ] && total=$((total + (sent - 1) / corrupt_every))
  done
  echo "$total"
}

# The Linux process that is pavix.exe (Wine runs it as the started pid).
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$pavix_pid/status" 2>/dev/null; }
forced_ends() { grep -c -e 'did not stop in time' -e 'ended inside a guarded stretch' "$pavix_log"; }

report() {
  local minute=$1 process word
  process=$(probe process | tr -d '\r')
  word=$(probe frame-word | tr -d '\r' | sed 's/[^-0-9]//g')
  printf 'minute %3s  rss %7s kB  %s  sent %7s  published %7s  damaged %5s  forced ends %s\n' \
    "$minute" "$(rss_kb)" "$process" "$(sent_total)" "$word" "$(damaged_total)" "$(forced_ends)" |
    tee -a "$run/soak-report.txt"
}

start_sim
# A copy: the build may replace its pavix.exe while the soak runs.
cp "$PAVIX_EXE" "$run/pavix.exe" || fail "cannot copy pavix.exe"
start_pavix --exe "$run/pavix.exe"
probe wait-window 60 >/dev/null || fail "the window did not come"
note "soak: $minutes min at $fps pictures/s, every ${corrupt_every}th damaged, garbage between packets," \
  "a new connection every $reconnect_every pictures; a cut 16 MB packet halfway"
start=$SECONDS
report 0
cut_done=0
for ((m = 1; m <= minutes; m++)); do
  while [ $((SECONDS - start)) -lt $((m * 60)) ]; do
    if [ $cut_done -eq 0 ] && [ $((SECONDS - start)) -ge $((minutes * 30)) ]; then
      # Halfway: the first simulator ends cleanly after its current
      # picture; a peer announces 16 MB, sends 1,000 bytes and closes;
      # then a second simulator streams to the end.
      kill -TERM "$sim_pid" 2>/dev/null
      wait "$sim_pid"
      /usr/bin/python3 - "$port" <<'PY' || fail "the cut packet was not taken"
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(1)
server.settimeout(300)
peer, _ = server.accept()
peer.sendall(b"ROVOd\xff\xff\xff" + bytes(1000))
peer.close()
PY
      note "the cut packet went out at $((SECONDS - start)) s"
      start_sim
      cut_done=1
    fi
    sleep 1
  done
  report "$m"
done

# Time is up: the simulator ends cleanly after its current picture (it
# may be behind its plan: it sends only as fast as pavix.exe takes them).
# Then the pictures still on their way are let through (a loaded machine
# may leave a backlog): until the frame word has stood still for 10 s.
# Every change of the frame word from here on (it turns -2 once the link
# is gone): the pictures published are the highest word seen.
hold_log=$run/final-words.log
"$wine" "$PAVIX_PROBE" watch 400 >"$hold_log" &
hold_pid=$!
sleep 2
kill -TERM "$sim_pid" 2>/dev/null
wait "$sim_pid"
top_word() { awk '$2 > m { m = $2 } END { print m + 0 }' "$hold_log"; }
end=$((SECONDS + 300))
last_word="" still=0
while [ $SECONDS -lt $end ] && [ $still -lt 10 ]; do
  word=$(top_word)
  if [ "$word" = "$last_word" ]; then still=$((still + 2)); else still=0; last_word=$word; fi
  sleep 2
done
report end
sent=$(sent_total)
damaged=$(damaged_total)
published=$(top_word)
probe close >/dev/null || fail "cannot press the close box"
wait_exit "$pavix_pid" 30
rc=$?
pavix_pid=""
forced=$(forced_ends)
note "sent $sent, damaged on purpose $damaged, published $published, lost otherwise" \
  "$((sent - damaged - published)); exit code $rc; forced thread ends $forced"
awk '$1 == "minute" { print $4 }' "$run/soak-report.txt" >"$run/rss.txt"
note "resident memory (kB) per minute: $(tr '\n' ' ' <"$run/rss.txt")"
[ "$rc" -eq 0 ] || fail "pavix.exe ended with $rc"
[ "$forced" -eq 0 ] || fail "worker threads were ended forcibly"
# A damaged picture may still decode; any other picture must be published.
[ "$published" -ge $((sent - damaged)) ] && [ "$published" -le "$sent" ] ||
  fail "pictures were lost besides the damaged ones"
echo "PASS: soak"
