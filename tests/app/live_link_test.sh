#!/usr/bin/env bash
# System tests of pavix.exe's phone link under 64-bit Wine: the phone
# simulator streams its test pattern over loopback, pavix.exe receives,
# decodes and publishes it, and the shared block, the camera, the window and
# the tray are watched from outside. Uses the prefixes pavix_system_test.sh
# makes (its "setup" case).
#
#   live_link_test.sh CASE
#
#   stored-endpoint     pavix_cfg.ini names the simulator: connected at once,
#                       the frame word counts every picture, the block holds
#                       the simulator's picture upright in its colours, the
#                       camera shows it, the status bar and tray say
#                       connected with the simulator's frame rate
#   loss-close          the simulator closes and goes away: the texts say
#                       not connected, the frame word turns -2; a simulator
#                       listening again is found by itself
#   loss-stall          the simulator stalls with the connection open: the
#                       link is given up and made again by itself
#   busy-window         the main window's thread held busy for 2 s while
#                       30 pictures a second stream: the frame word keeps
#                       rising all the while, without a gap of half a
#                       second; the texts follow afterwards
#   engine              the engine in-process (pavix_engine_tests.exe): its
#                       workers restarted 200 times without a forced end,
#                       the decoder replaced after four failures
#   cut-packet          a peer announces 16 MB, sends 1,000 bytes and
#                       closes: the next phone's first picture is published
#                       as promptly as on a fresh start
#   usb-start           no endpoint, a debug bridge (tests/usb/fake_adb.cpp)
#                       that forwards: the app is started (installed first
#                       when the start says it is missing), the link comes up
#                       on the forwarded port
#   usb-no-device       a forward that fails: nothing is started, no link
#   corrupt-jpeg        a damaged JPEG costs no more than its own picture
#   garbage             bytes between packets are skipped
#   split-writes        packets written in small pieces arrive whole
#   picture-sizes       pictures of 641 x 479, 1366 x 768 (rows that are no
#                       multiple of 4 bytes), 1 x 1 and 4000 x 3000 are all
#                       published, and the block matches an exact bilinear
#                       scaling of each within the scaler's tolerance:
#                       upright, in the block's colour order
#   hd-block            the HD picture block beside the shared block: the
#                       idle picture (480 x 320) from the start; phone
#                       pictures go in only while a camera claims a request
#                       slot (shmtool hd --claim), at the size the decode
#                       gives for the largest request: 1920 x 1080 pictures
#                       asked for at 1920 x 1080 come whole, asked for at
#                       640 x 360 as the decoder's half, 960 x 540
#   shutdown-connecting, shutdown-receiving, shutdown-backlog,
#   shutdown-usb-child  the close box while a connection attempt hangs,
#                       while pictures stream (30 a second; as fast as the
#                       link takes them, so that received pictures wait to
#                       be decoded), while the debug bridge runs: exit code
#                       0 within 2 s, frame word -1, no worker ended
#                       forcibly
#
# The frame word counts the pictures published since start; while no
# picture was lost it is the simulator's frame number (from 0, counted over
# all its connections) plus one.
#
# Environment (set by CTest): as pavix_system_test.sh, and PAVIX_SHMTOOL,
# PAVIX_CAMCHECK, PAVIX_FAKE_ADB (Windows programs of the tree),
# PAVIX_PHONESIM, PAVIX_PATTERN_CHECK (Linux programs of the native tree).
# Fails when the native programs are not built.
set -uo pipefail

readonly case_name=${1:?usage: live_link_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"

readonly port=1234
readonly connected_text="part0=[连接手机成功 ]"
readonly unconnected_text="part0=[没有连上手机 ]"
readonly connected_tip="tip=[Rovo - 连接手机成功]"
readonly unconnected_tip="tip=[Rovo - 没有连上手机]"
# Shorter than the link's 3 s without a byte that count as a loss: the
# stall holds the picture still for an exact look at the block.
readonly short_stall=2.2

for tool in "$PAVIX_PHONESIM" "$PAVIX_PATTERN_CHECK"; do
  if [ ! -x "$tool" ]; then
    # A missing tree is a failure, not a skip: the link would go untested.
    echo "FAIL: $tool is not built (build the native tree; PAVIX_NATIVE_TREE names it)" >&2
    exit 1
  fi
done

# --- helpers ---------------------------------------------------------------------------

# The phone simulator on 127.0.0.1:port with the given options: sim_pid,
# sim_log (NAME.log in the run directory).
start_sim() {
  local name=$1
  shift
  sim_log=$run/$name.log
  "$PAVIX_PHONESIM" --listen 127.0.0.1:$port "$@" 2>"$sim_log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  wait_until_listening "$sim_log" "$sim_pid"
}

# The stored endpoint for the next start.
store_endpoint() { printf '127.0.0.1:%s:%s\n' "$1" "$2" >"$run/pavix_cfg.ini"; }

# The frame words the holder saw (it runs "watch": time and word a line).
max_word() { awk '$2 > m { m = $2 } END { print m + 0 }' "$hold_log"; }
# The time (ms since 1970) the holder first saw a word >= N, or nothing.
time_of_word() { awk -v n="$1" '$2 >= n { print substr($1, 1, length($1) - 3); exit }' "$hold_log"; }

# Waits until the holder has seen a word of at least N.
wait_word_at_least() {
  local n=$1 seconds=$2
  local end=$((SECONDS + seconds))
  until [ "$(max_word)" -ge "$n" ]; do
    [ $SECONDS -ge $end ] && fail "the frame word did not reach $n in $seconds s (at $(last_held_word))"
    sleep 0.05
  done
}

# Waits until the holder has seen WORD (any value, e.g. -2) after line FROM.
wait_word_seen() {
  local word=$1 seconds=$2 from=${3:-1}
  local end=$((SECONDS + seconds))
  until tail -n +"$from" "$hold_log" | awk -v w="$word" '$2 == w { found = 1 } END { exit !found }'; do
    [ $SECONDS -ge $end ] && fail "the frame word $word did not come in $seconds s (at $(last_held_word))"
    sleep 0.05
  done
}

# Every picture raised the frame word: the positive words only ever rise.
# With "strict", nothing but pictures came between the first and the last.
check_rising() {
  local how=${1:-}
  awk -v strict="$how" '
    $2 > 0 { if (last > 0 && $2 <= last) { print "frame word " $2 " after " last; bad = 1; exit }
             last = $2; next }
    strict == "strict" && last > 0 && $2 != -1 { print "frame word " $2 " while streaming"; bad = 1; exit }
    END { exit bad }' "$hold_log" || fail "the frame words do not rise picture by picture"
}

# The block holds picture FRAME of the simulator, upright, in its colours,
# and its frame word is WORD. The holder keeps the picture of a word that
# stands still (the simulator stalls), however long the machine takes to
# come to this look.
check_block() {
  local word=$1 frame=$2 out
  local still=$still_prefix-$word.bmp end=$((SECONDS + 15))
  until [ -f "$still" ]; do
    [ $SECONDS -ge $end ] && fail "the frame word did not stand still at $word (at $(last_held_word))"
    sleep 0.05
  done
  cp "$still" "$run/block.bmp"
  out=$("$PAVIX_PATTERN_CHECK" read "$run/block.bmp")
  local rc=$?
  cp "$run/block.bmp" "$artefacts/live-$case_name-block.bmp"
  note "block: frame word $word, picture: $(tr '\n' ' ' <<<"$out")"
  [ $rc -eq 0 ] || fail "the block does not hold an upright simulator picture: $out"
  expect_line "$out" "frame $frame"
}

status_out() { probe status || fail "cannot read the status bar"; }

# The link's state as the user sees it: status text and tray tooltip.
expect_connected_look() {
  probe_until_line 10 "$connected_text" status || fail "not shown as connected:"$'\n'"$probe_out"
  probe_until_line 10 "$connected_tip" tray || fail "the tray does not say connected:"$'\n'"$probe_out"
}

expect_unconnected_look() {
  probe_until_line 10 "$unconnected_text" status || fail "not shown as unconnected:"$'\n'"$probe_out"
  expect_line "$probe_out" "part1=[]"
  probe_until_line 10 "$unconnected_tip" tray || fail "the tray does not say unconnected:"$'\n'"$probe_out"
}

# The status bar's frame rate, sampled COUNT times: its median lies between
# LOW and HIGH.
check_rate() {
  local count=$1 low=$2 high=$3 rates=() i
  for ((i = 0; i < count; i++)); do
    local line
    line=$(status_out | grep '^part1=')
    [[ $line =~ ^part1=\[帧数:\ ([0-9]+\.[0-9][0-9])\]$ ]] || fail "no frame rate in the status bar: $line"
    rates+=("${BASH_REMATCH[1]}")
    sleep 0.5
  done
  local median
  median=$(printf '%s\n' "${rates[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
  note "frame rate texts: ${rates[*]} (median $median)"
  awk -v m="$median" -v lo="$low" -v hi="$high" 'BEGIN { exit !(m >= lo && m <= hi) }' ||
    fail "the frame rate $median is not between $low and $high"
}

# The close box, then the program must be gone within 2 s with exit code
# 0, having published -1 and ended its workers by themselves. A worker that
# does not stop costs the stop's wait and the last resort's 3 s; 2 s leave a
# loaded machine room for Wine's own end.
readonly close_limit_ms=2000
close_promptly() {
  probe close || fail "cannot press the close box"
  local start
  start=$(now_ms)
  while kill -0 "$pavix_pid" 2>/dev/null; do
    [ $(($(now_ms) - start)) -gt 5000 ] && break
    sleep 0.01
  done
  local took=$(($(now_ms) - start))
  note "pavix.exe was gone $took ms after the close box"
  expect_clean_end
  [ "$took" -le $close_limit_ms ] || fail "closing took $took ms, more than $close_limit_ms ms"
}

# The copy of pavix.exe with the debug-bridge stand-in beside it, which the
# program finds as its adb.exe; the stand-in logs each of its runs.
setup_debug_bridge() {
  cp "$PAVIX_EXE" "$run/pavix.exe" || fail "cannot copy pavix.exe"
  cp "$PAVIX_FAKE_ADB" "$run/adb.exe" || fail "cannot copy the debug-bridge stand-in"
  adb_log=$run/adb.log
  export FAKE_ADB_LOG
  FAKE_ADB_LOG=$(winepath_of "$adb_log")
}

# The stand-in's runs so far, one line each: its arguments.
adb_runs() { [ -f "$adb_log" ] && tr -d '\r' <"$adb_log" | sed 's/^"[^"]*adb.exe" //' || true; }

# The debug-bridge stand-ins of this case that still run.
adb_child_pids() {
  local pid
  for pid in $(pgrep -f 'adb\.exe'); do
    grep -qF "run-$case_name" "/proc/$pid/cmdline" 2>/dev/null && echo "$pid"
  done
}

wait_adb_runs() {  # COUNT SECONDS: until the stand-in ran COUNT times
  local count=$1 seconds=$2
  local end=$((SECONDS + seconds))
  until [ "$(adb_runs | wc -l)" -ge "$count" ]; do
    [ $SECONDS -ge $end ] && fail "the debug bridge ran $(adb_runs | wc -l) times, not $count:"$'\n'"$(adb_runs)"
    sleep 0.1
  done
}

# Starts pavix.exe (after the block holder) and waits for its window.
start_watched() {
  start_hold watch
  start_pavix "$@"
  probe_until 30 wait-window 1 || fail "no main window appeared"
  window_ms=$(now_ms)
}

# --- stored endpoint ------------------------------------------------------------------

case_stored_endpoint() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  local stall_at=120
  start_sim sim --fps 15 --stall-after $stall_at --stall $short_stall --seed 1
  start_watched

  wait_word_at_least 1 10
  local waited=$(($(time_of_word 1) - window_ms))
  note "first picture published $waited ms after the window appeared"
  # A connection made at once, not after a 3 s retry.
  [ "$waited" -lt 2500 ] || fail "the first picture came $waited ms after the window"

  expect_connected_look
  wait_word_at_least 40 10  # the rate has been measured over whole seconds
  check_rate 5 12 17

  wait_word_at_least $stall_at 20
  check_block $stall_at $((stall_at - 1))
  check_rising strict

  # The camera shows a picture published while it ran.
  wait_word_at_least $((stall_at + 1)) 10
  local before after out
  before=$(last_held_word)
  "$wine" "$PAVIX_CAMCHECK" --seconds 2 --save "$(winepath_of "$run/camera.bmp")" >"$run/camcheck.raw" 2>&1 ||
    fail "camcheck failed: $(cat "$run/camcheck.raw")"
  # The holder's log may lag behind by a few lines: the word itself.
  after=$(probe frame-word | tr -d '\r') || fail "cannot read the frame word"
  after=${after#frame word=}
  tr -d '\r' <"$run/camcheck.raw" | sed 's/^/  [camcheck] /'
  out=$("$PAVIX_PATTERN_CHECK" read "$run/camera.bmp") ||
    fail "the camera's picture is not an upright simulator picture: $out"
  cp "$run/camera.bmp" "$artefacts/live-camera.bmp"
  local frame=${out#frame }
  frame=${frame%%$'\n'*}
  note "camera picture: frame $frame, frame words $before..$after while camcheck ran"
  [ $((frame + 1)) -ge "$before" ] && [ $((frame + 1)) -le "$after" ] ||
    fail "the camera showed frame $frame, not one published while it ran"

  import -window root "$run/screen.png" 2>/dev/null &&
    note "screenshot $(cp "$run/screen.png" "$artefacts/live-screen.png" && echo "$artefacts/live-screen.png")"
  check_rising strict
  close_promptly
}

# --- loss and recovery -------------------------------------------------------------------

case_loss_close() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim-first --fps 30 --close-after 40 --once --seed 1
  start_watched
  wait_word_at_least 40 15
  expect_connected_look
  wait_exit "$sim_pid" 10 || fail "the first simulator did not end"
  grep -q 'connection ended (closed after' "$sim_log" || fail "the simulator did not close: $(cat "$sim_log")"

  # Nobody listens now: the idle picture comes back and the texts follow.
  local lines
  lines=$(wc -l <"$hold_log")
  wait_word_seen -2 15 "$lines"
  check_shared_picture
  expect_unconnected_look
  [ "$(max_word)" -eq 40 ] || fail "pictures were counted after the loss"

  # Listening again: found without any help.
  start_sim sim-second --fps 30 --stall-after 30 --stall $short_stall --seed 2
  wait_word_at_least 41 10
  expect_connected_look
  # The new simulator counts from 0 again: 40 pictures before, 30 now.
  wait_word_at_least 70 15
  check_block 70 29
  check_rising
  close_promptly
}

# --- the window's thread busy ------------------------------------------------------------

# The longest a picture may keep the next one waiting while the window's
# thread is held: 15 picture intervals at 30 a second. A frame path that
# waits for the window stalls for the whole hold (up to 2 s).
readonly busy_gap_limit_ms=500

# The window's thread held for 2 s without handling a message (as a slow
# paint, a modal loop that does not pump, or a hung window it talks to would
# hold it): the workers hand it their texts without waiting for it, so the
# camera's pictures keep coming.
case_busy_window() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  export PAVIX_TEST_HOLD=1
  start_watched
  unset PAVIX_TEST_HOLD
  # Past the first whole seconds: the frame thread hands on rate texts.
  wait_word_at_least 60 15
  expect_connected_look

  local out from to
  out=$(probe busy-window 2000 | tr -d '\r') || fail "the window's thread was not held: $out"
  [[ $out =~ held\ from\ ([0-9]+)\ to\ ([0-9]+) ]] || fail "no hold times: $out"
  from=${BASH_REMATCH[1]}
  to=${BASH_REMATCH[2]}
  local held_ms=$(((to - from) / 1000))
  [ "$held_ms" -ge 1800 ] || fail "the window answered again after $held_ms ms: not held for 2 s"
  sleep 0.3  # the holder writes its lines every 50 ms
  local pictures gap
  read -r pictures gap < <(awk -v a="$from" -v b="$to" '
    BEGIN { last = a }
    $1 >= a && $1 <= b && $2 > 0 { if ($1 - last > gap) gap = $1 - last; last = $1; n++ }
    END { if (b - last > gap) gap = b - last; print n + 0, int(gap / 1000) }' "$hold_log")
  note "window held $held_ms ms: $pictures pictures published meanwhile, longest wait $gap ms"
  [ "$gap" -le "$busy_gap_limit_ms" ] ||
    fail "the frame word stood still for $gap ms while the window's thread was busy"
  check_rising strict
  # What the workers handed on meanwhile shows once the window is free.
  expect_connected_look
  status_out | grep -q '^part1=\[帧数: ' || fail "no frame rate in the status bar after the hold"
  close_promptly
}

# A peer that announces a 16 MB packet, sends 1,000 bytes of it and closes
# must not swallow the next phone's pictures into that payload.
case_cut_packet() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim-first --fps 30 --close-after 40 --once --seed 1
  start_watched
  wait_word_at_least 40 30
  wait_exit "$sim_pid" 10 || fail "the first simulator did not end"

  /usr/bin/python3 - "$port" <<'PY' || fail "pavix.exe did not come for the cut packet"
import socket, sys
server = socket.socket()
server.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
server.bind(("127.0.0.1", int(sys.argv[1])))
server.listen(1)
server.settimeout(30)
peer, _ = server.accept()
peer.sendall(b"ROVOd\xff\xff\xff" + bytes(1000))
peer.close()
PY
  note "the cut packet went out"

  start_sim sim-second --fps 30 --stall-after 30 --stall $short_stall --seed 2
  local end=$((SECONDS + 20))
  until grep -q 'connected' "$sim_log"; do
    [ $SECONDS -ge $end ] && fail "pavix.exe did not connect to the second simulator"
    sleep 0.02
  done
  local connected_ms
  connected_ms=$(now_ms)
  wait_word_at_least 41 20
  local waited=$(($(time_of_word 41) - connected_ms))
  note "the new phone's first picture was published $waited ms after it was connected"
  # As on a fresh start (about half a second), with room for a loaded
  # machine; the 16 MB would hold back about 500 pictures (17 s).
  [ "$waited" -lt 5000 ] || fail "the new phone's first picture came $waited ms after the connection"
  wait_word_at_least 70 15
  check_block 70 29
  check_rising
  close_promptly
}

# The engine in-process (tests/app/engine_test.cpp): its workers stopped
# and started 200 times while the simulator streams and while the debug
# bridge's child runs, none ended forcibly; and HandleJpeg's replacement of
# a failing decoder.
case_engine() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim sim --fps 30 --seed 3
  cp "$PAVIX_ENGINE_TESTS" "$run/pavix_engine_tests.exe" || fail "cannot copy the engine tests"
  cp "$PAVIX_FAKE_ADB" "$run/adb.exe" || fail "cannot copy the debug-bridge stand-in"
  adb_log=$run/adb.log
  export FAKE_ADB_LOG FAKE_ADB_FORWARD=silent
  FAKE_ADB_LOG=$(winepath_of "$adb_log")
  pavix_log=$run/wine.log
  (cd "$run" && WINEDEBUG=$pavix_winedebug exec "$wine" "$run/pavix_engine_tests.exe") 2>"$pavix_log" |
    tr -d '\r' | tee "$run/engine-tests.out" | grep -E '^\[ +(OK|FAILED) +\]|restarts:|Failure|Expected|Which|actual'
  local rc=${PIPESTATUS[0]}
  grep -F 'did not stop in time' "$pavix_log"  # late ends, for the record
  if grep -F -e 'did not stop in time; ended it' -e 'ended inside a guarded stretch' "$pavix_log"; then
    fail "a worker thread was ended forcibly"
  fi
  [ "$rc" -eq 0 ] || fail "the engine tests failed ($rc)"
}

case_loss_stall() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  # Stalls on each connection after 30 pictures, longer than the link waits.
  start_sim sim --fps 30 --stall-after 30 --stall 5 --seed 1
  start_watched
  wait_word_at_least 30 15
  local frozen_ms
  frozen_ms=$(time_of_word 30)
  # The silent link is given up and made again: the stream goes on where
  # the simulator goes on, at its frame 30.
  wait_word_at_least 31 15
  local gap=$(($(time_of_word 31) - frozen_ms))
  note "pictures came again $gap ms after the stall began"
  [ "$gap" -ge 2500 ] || fail "the stream went on after only $gap ms"
  [ "$(grep -c 'client .* connected' "$sim_log")" -ge 2 ] || fail "no second connection: $(cat "$sim_log")"
  grep -q 'connection ended (client went away)' "$sim_log" ||
    fail "the stalled connection was not given up: $(cat "$sim_log")"
  expect_connected_look
  # The second connection stalls after its 30th picture, frame 59.
  wait_word_at_least 60 15
  check_block 60 59
  check_rising
  close_promptly
}

# --- the USB path ---------------------------------------------------------------------

case_usb_start() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD= FAKE_ADB_INSTALL="print:Success"
  export FAKE_ADB_START="print:Error: Activity class {com.example/.Main} does not exist."
  start_sim sim --fps 30 --stall-after 30 --stall $short_stall --seed 1
  start_watched --exe "$run/pavix.exe"
  # No endpoint: the first cycle fails, the idle picture shows, then the
  # debug bridge forwards and the app is started.
  wait_word_at_least 1 20
  local runs
  runs=$(adb_runs)
  note "debug bridge runs:"$'\n'"$runs"
  [ "$(awk '{ print $1 }' <<<"$runs" | head -n 4 | tr '\n' ' ')" = "forward shell install shell " ] ||
    fail "not forward, start, install, start:"$'\n'"$runs"
  expect_line "$runs" "forward tcp:1234 tcp:1234"
  grep -q '^shell am start ' <<<"$runs" || fail "no app start: $runs"
  awk '$2 > 0 { exit } $2 == -2 { found = 1 } END { exit !found }' "$hold_log" ||
    fail "no idle picture (-2) before the link came up"
  expect_connected_look
  wait_word_at_least 30 15
  check_block 30 29
  check_rising
  close_promptly
}

case_usb_no_device() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD="print:error: no devices/emulators found" FAKE_ADB_START= FAKE_ADB_INSTALL=
  start_sim sim --fps 30 --seed 1
  start_watched --exe "$run/pavix.exe"
  # Two cycles, each with a failed forward.
  wait_adb_runs 2 20
  sleep 0.5
  local runs
  runs=$(adb_runs)
  note "debug bridge runs:"$'\n'"$runs"
  grep -v '^forward tcp:1234 tcp:1234$' <<<"$runs" && fail "more than the forward ran"
  [ "$(awk '{ print $2 }' "$hold_log" | sort -u | tr '\n' ' ')" = "-2 0 " ] ||
    fail "frame words other than 0 and -2:"$'\n'"$(cat "$hold_log")"
  grep -q 'connected' "$sim_log" && fail "a connection reached the simulator: $(cat "$sim_log")"
  expect_unconnected_look
  close_promptly
}

# --- damaged streams ------------------------------------------------------------------

case_corrupt_jpeg() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  # Frames 4, 9, ..., 44 are damaged; frame 47, the last before the stall,
  # is whole.
  start_sim sim --fps 30 --corrupt-every 5 --stall-after 48 --stall $short_stall --seed 5
  start_watched
  wait_word_at_least 39 15
  # Settled: the stall has begun once the word stays put.
  local word="" settled=0 end=$((SECONDS + 10))
  while [ $settled -lt 5 ]; do
    [ $SECONDS -ge $end ] && fail "the frame word did not settle"
    local now
    now=$(last_held_word)
    if [ "$now" = "$word" ]; then settled=$((settled + 1)); else settled=0; word=$now; fi
    sleep 0.1
  done
  local failures
  failures=$(grep -c 'get error Jpeg data' "$pavix_log")
  note "frame word $word after 48 frames, 9 of them damaged; $failures failed to decode"
  [ "$word" -ge 39 ] && [ "$word" -le 48 ] || fail "frame word $word after 48 frames with 9 damaged"
  [ $((48 - word)) -eq "$failures" ] ||
    fail "$((48 - word)) pictures were lost but $failures failed to decode"
  check_block "$word" 47
  check_rising strict
  close_promptly
}

# Any whole stream option of the simulator: each picture arrives.
case_whole_pictures() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 "$@" --stall-after 40 --stall $short_stall --seed 3
  start_watched
  wait_word_at_least 40 15
  check_block 40 39
  check_rising strict
  grep -q 'get error Jpeg data' "$pavix_log" && fail "a picture failed to decode"
  close_promptly
}

# --- shutdown -----------------------------------------------------------------------------

case_shutdown_connecting() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  # A listener whose queue is full: the connection attempt hangs unanswered.
  /usr/bin/python3 -c '
import socket, sys, time
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.1", int(sys.argv[1])))
s.listen(0)
filler = socket.create_connection(("127.0.0.1", int(sys.argv[1])))
print("full", flush=True)
time.sleep(120)' $port >"$run/listener.log" 2>&1 &
  extra_pids+=($!)
  local end=$((SECONDS + 10))
  until grep -q full "$run/listener.log"; do
    [ $SECONDS -ge $end ] && fail "the listener did not start: $(cat "$run/listener.log")"
    sleep 0.05
  done
  start_watched
  end=$((SECONDS + 15))
  until [ -n "$(ss -Htn state syn-sent "( dport = :$port )")" ]; do
    [ $SECONDS -ge $end ] && fail "no connection attempt was seen"
    sleep 0.05
  done
  note "a connection attempt hangs"
  sleep 0.3
  close_promptly
}

case_shutdown_receiving() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps "$1" --seed 1
  start_watched
  wait_word_at_least 30 15
  close_promptly
  check_rising strict
}

case_shutdown_usb_child() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD=silent FAKE_ADB_START= FAKE_ADB_INSTALL=
  start_watched --exe "$run/pavix.exe"
  wait_adb_runs 1 20
  sleep 0.5  # the runner waits for the silent child now
  [ -n "$(adb_child_pids)" ] || fail "the silent debug bridge does not run"
  close_promptly
  # The child was ended with the program, not left to run out its minute.
  local end=$((SECONDS + 3)) left
  while left=$(adb_child_pids) && [ -n "$left" ]; do
    if [ $SECONDS -ge $end ]; then
      kill $left 2>/dev/null
      fail "the debug bridge was left running"
    fi
    sleep 0.1
  done
}

# --- pictures of any size -----------------------------------------------------------------

case_picture_sizes() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  local pictures=$run/pictures
  mkdir -p "$pictures"
  "$PAVIX_PATTERN_CHECK" jpeg 5 641x479 80 "$pictures/a-641x479.jpg" camera >/dev/null &&
    "$PAVIX_PATTERN_CHECK" jpeg 6 1366x768 80 "$pictures/b-1366x768.jpg" camera >/dev/null &&
    convert -size 1x1 xc:'#2080E0' -quality 95 "$pictures/c-1x1.jpg" &&
    "$PAVIX_PATTERN_CHECK" jpeg 7 4000x3000 80 "$pictures/d-4000x3000.jpg" camera >/dev/null ||
    fail "cannot make the pictures"
  local files=("$pictures"/*.jpg)
  # Two pictures a second, in name order, round and round.
  local total=24
  store_endpoint $port 1235
  start_sim sim --jpeg-dir "$pictures" --fps 2 --frames-total $total --seed 1
  start_watched
  wait_word_at_least 1 15
  # Dumps of the block until each picture has been seen in it.
  declare -A seen=()
  local end=$((SECONDS + 30)) out best
  while [ ${#seen[@]} -lt ${#files[@]} ] && [ $SECONDS -lt $end ]; do
    "$wine" "$PAVIX_SHMTOOL" dump "$(winepath_of "$run/block.bmp")" >/dev/null ||
      fail "shmtool cannot dump the block"
    out=$("$PAVIX_PATTERN_CHECK" compare "$run/block.bmp" "${files[@]}") || {
      note "a block that matches no picture (caught while being written?):"$'\n'"$out"
      continue
    }
    best=$(sed -n 's/^best //p' <<<"$out")
    if [ -z "${seen[$best]:-}" ]; then
      seen[$best]=1
      note "block: $(grep -F "$best largest" <<<"$out" | sed "s|$pictures/||")"
      cp "$run/block.bmp" "$artefacts/live-size-$(basename "$best" .jpg).bmp"
      case "$best" in
        *1x1.jpg) ;;
        *) out=$("$PAVIX_PATTERN_CHECK" read "$run/block.bmp") ||
             fail "the block of $(basename "$best") is not an upright picture: $out" ;;
      esac
    fi
  done
  [ ${#seen[@]} -eq ${#files[@]} ] ||
    fail "only ${#seen[@]} of the ${#files[@]} pictures were seen in the block: ${!seen[*]}"
  # Every picture was published: none was dropped for its size.
  wait_word_at_least $total 30
  check_rising
  close_promptly
}

# --- the HD picture block -------------------------------------------------------------------

# shmtool's look into the HD block (ARGS as "shmtool hd" takes them): its
# "hd ..." line in hd_line.
hd_look() {
  hd_line=$("$wine" "$PAVIX_SHMTOOL" hd "$@" 2>&1 | tr -d '\r' | grep '^hd ') ||
    fail "shmtool hd $* found no picture: $hd_line"
  note "shmtool hd $*: $hd_line"
}

case_hd_block() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_watched
  # No phone yet: the idle picture with its frame word (0 at start-up, -2
  # once the link is found down).
  hd_look
  [[ $hd_line =~ ^hd\ 480x320\ number\ [0-9]+\ frame\ word\ (0|-2)\ namespace ]] ||
    fail "the HD block does not hold the idle picture: $hd_line"

  start_sim sim --fps 15 --size 1920x1080 --content camera --seed 1
  wait_word_at_least 20 20
  # No camera asks: phone pictures cost the HD block nothing.
  hd_look
  [[ $hd_line =~ ^hd\ 480x320\ .*\ frame\ word\ (0|-2)\  ]] ||
    fail "a phone picture went into the HD block with no camera asking: $hd_line"

  hd_look --claim 1920x1080 --wait 15
  [[ $hd_line =~ ^hd\ 1920x1080\ .*\ frame\ word\ [1-9] ]] ||
    fail "a camera asking for 1920 x 1080 did not get the whole picture: $hd_line"
  hd_look --claim 640x360 --wait 15
  [[ $hd_line =~ ^hd\ 960x540\ .*\ frame\ word\ [1-9] ]] ||
    fail "a camera asking for 640 x 360 did not get the decoder's half: $hd_line"
  check_rising
  close_promptly
}

# Sourced by another test script for its helpers: no case runs.
[ "${BASH_SOURCE[0]}" != "$0" ] && return 0

case "$case_name" in
  stored-endpoint) case_stored_endpoint ;;
  loss-close) case_loss_close ;;
  loss-stall) case_loss_stall ;;
  cut-packet) case_cut_packet ;;
  engine) case_engine ;;
  busy-window) case_busy_window ;;
  usb-start) case_usb_start ;;
  usb-no-device) case_usb_no_device ;;
  corrupt-jpeg) case_corrupt_jpeg ;;
  garbage) case_whole_pictures --garbage ;;
  split-writes) case_whole_pictures --split-writes ;;
  picture-sizes) case_picture_sizes ;;
  hd-block) case_hd_block ;;
  shutdown-connecting) case_shutdown_connecting ;;
  shutdown-receiving) case_shutdown_receiving 30 ;;
  shutdown-backlog) case_shutdown_receiving 0 ;;
  shutdown-usb-child) case_shutdown_usb_child ;;
  *) fail "unknown case $case_name" ;;
esac
# A shell error (not a failed check) abandons the case with a status.
status=$?
[ $status -eq 0 ] || fail "the case broke off with status $status"
echo "PASS: $case_name"
