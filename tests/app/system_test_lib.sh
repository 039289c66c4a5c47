# Shared part of the system tests of pavix.exe under 64-bit Wine
# (pavix_system_test.sh, live_link_test.sh): the test prefixes, starting and
# watching the program, waiting with deadlines. Sourced, not run.
#
# Expects: case_name (the case being run) and, from CTest, PAVIX_EXE,
# PAVIX_PROBE, PAVIX_FILTER and PAVIX_TEST_DIR (work folder in the build tree).
# Must run inside scripts/in-netns.sh (private network, Xvfb), as root.

readonly wine=/usr/lib/wine/wine64
readonly wineserver=/usr/lib/wine/wineserver
readonly dir=$PAVIX_TEST_DIR
readonly prefix_with_filter=$dir/prefix
readonly prefix_without_filter=$dir/prefix-nofilter
readonly artefacts=$dir/artefacts

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
note() { echo "-- $*"; }

if [ "$(readlink /proc/self/ns/net)" = "$(readlink /proc/1/ns/net)" ]; then
  fail "not inside a private network namespace; run through scripts/in-netns.sh"
fi
[ -n "${DISPLAY:-}" ] || fail "no X display (scripts/in-netns.sh starts Xvfb)"

use_prefix() {
  export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
  # pavix.exe's debug texts (and Wine's traces, when a failure needs them)
  # land in run-CASE/wine.log.
  pavix_winedebug=${PAVIX_TEST_WINEDEBUG:--all,+debugstr}
  # Wine's ANSI code page follows the locale: a Western one here, so that
  # Chinese texts only come out right through the wide-character interface.
  export LC_ALL=C.UTF-8 LANG=C.UTF-8
}

probe() { "$wine" "$PAVIX_PROBE" "$@"; }

# Runs the probe until it succeeds or SECONDS pass; keeps its last output.
probe_until() {
  local seconds=$1
  shift
  local end=$((SECONDS + seconds))
  while :; do
    probe_out=$(probe "$@") && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

# Runs the probe until its output has LINE or SECONDS pass.
probe_until_line() {
  local seconds=$1 line=$2
  shift 2
  local end=$((SECONDS + seconds))
  while :; do
    probe_out=$(probe "$@")
    grep -qxF -- "$line" <<<"$probe_out" && return 0
    [ $SECONDS -ge $end ] && return 1
    sleep 0.1
  done
}

expect_line() {  # <text> <exact line>
  grep -qxF -- "$2" <<<"$1" || fail "expected the line '$2' in:"$'\n'"$1"
}

winepath_of() { printf 'Z:%s' "${1//\//\\}"; }

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# A fresh working directory for this case's pavix.exe: run (no settings file
# in it).
# Waits up to 10 s for the phone simulator logging to LOG to listen; with
# PID, a simulator that ended fails at once.
wait_until_listening() {  # LOG [PID]
  local log=$1 pid=${2:-} end=$((SECONDS + 10))
  until grep -q 'listening on' "$log"; do
    [ -n "$pid" ] && ! kill -0 "$pid" 2>/dev/null && fail "the simulator did not start: $(cat "$log")"
    [ $SECONDS -ge $end ] && fail "the simulator does not listen: $(cat "$log")"
    sleep 0.02
  done
}

make_run_dir() {
  run=$dir/run-$case_name
  rm -rf "$run"
  mkdir -p "$run"
}

# pavix.exe in the case's working directory (made fresh unless make_run_dir
# already made it), in the background: pavix_pid. With --hosts FILE, name
# lookups see FILE as /etc/hosts (a mount namespace of its own, as
# in-netns.sh --hosts does). With --exe FILE, FILE is started instead of
# PAVIX_EXE (a copy with other files beside it).
start_pavix() {
  local hosts="" exe=$PAVIX_EXE
  while [ $# -gt 0 ]; do
    case $1 in
      --hosts) hosts=$2 ;;
      --exe) exe=$2 ;;
      *) fail "start_pavix: unknown option $1" ;;
    esac
    shift 2
  done
  [ "${run:-}" = "$dir/run-$case_name" ] || make_run_dir
  pavix_log=$run/wine.log
  if [ -n "$hosts" ]; then
    (cd "$run" && WINEDEBUG=$pavix_winedebug exec unshare --mount --propagation private \
      sh -c 'mount --bind "$0" /etc/hosts && exec "$@"' "$hosts" "$wine" "$exe" \
      2>"$run/wine.log") &
  else
    (cd "$run" && WINEDEBUG=$pavix_winedebug exec "$wine" "$exe" 2>"$run/wine.log") &
  fi
  pavix_pid=$!
}

# Waits up to SECONDS for pid to end; its exit status, or 124 on time-out.
wait_exit() {
  local pid=$1 end=$((SECONDS + $2))
  while kill -0 "$pid" 2>/dev/null; do
    [ $SECONDS -ge $end ] && return 124
    sleep 0.05
  done
  wait "$pid"
}

# Keeps the shared block open and logs its frame words: hold_pid, hold_log.
# With "watch" instead of the default "hold", each line carries the time of
# the change too ("MICROSECONDS WORD", see pavix_probe.cpp), and each
# picture that stood still is kept as $still_prefix-WORD.bmp.
start_hold() {
  local how=${1:-hold}
  hold_log=$dir/hold-$case_name.log
  still_prefix=$dir/still-$case_name
  rm -f "$hold_log" "$still_prefix"-*
  local extra=()
  [ "$how" = watch ] && extra=("$(winepath_of "$still_prefix")")
  # The probe itself in the background (not a subshell around it), so that
  # hold_pid is the program and ending it ends the program.
  "$wine" "$PAVIX_PROBE" "$how" 90 "${extra[@]}" >"$hold_log" &
  hold_pid=$!
  local end=$((SECONDS + 20))
  until [ -s "$hold_log" ]; do
    [ $SECONDS -ge $end ] && fail "the block holder did not start"
    sleep 0.05
  done
}

# Programs a case starts besides these go into extra_pids, to be ended with
# the case.
extra_pids=()
cleanup() {
  [ -n "${pavix_pid:-}" ] && kill "$pavix_pid" 2>/dev/null
  [ -n "${hold_pid:-}" ] && kill "$hold_pid" 2>/dev/null
  [ -n "${server_pid:-}" ] && kill "$server_pid" 2>/dev/null
  local pid
  for pid in "${extra_pids[@]}"; do kill "$pid" 2>/dev/null; done
  return 0
}
trap cleanup EXIT

# The last frame word the holder saw (either log format).
last_held_word() { tail -n 1 "$hold_log" | sed 's/^frame word=//; s/^[0-9]* //'; }

# The window was closed: exit status 0, both workers stopped by themselves
# in time, and the shared block's last word -1.
expect_clean_end() {
  wait_exit "$pavix_pid" 20
  local rc=$?
  pavix_pid=""
  [ $rc -eq 0 ] || fail "pavix.exe ended with $rc, not 0"
  if grep -F -e 'did not stop in time; ended it' -e 'ended inside a guarded stretch' "$pavix_log"; then
    fail "a worker thread had to be ended forcibly"
  fi
  wait_exit "$hold_pid" 10
  hold_pid=""
  [ "$(last_held_word)" = "-1" ] ||
    fail "the last frame word was not -1:"$'\n'"$(tail -n 20 "$hold_log")"
}

# The shared block holds the idle picture (PAVIX_IDLE_BMP), upright: the
# block's picture and the idle picture scaled to 480 x 320, both blurred,
# compared with and without a flip.
check_shared_picture() {
  local dump=$dir/idle-dump-$case_name
  probe dump "$dump.bmp" || fail "cannot read the shared block"
  convert "$PAVIX_IDLE_BMP" -alpha off -resize '480x320!' -blur 0x2 "$dir/idle-ref.png"
  convert "$dir/idle-ref.png" -flip "$dir/idle-ref-flipped.png"
  convert "$dump.bmp" -blur 0x2 "$dump.png"
  cp "$dump.bmp" "$artefacts/shared-block-$case_name.bmp"
  local upright flipped
  upright=$(compare -metric RMSE "$dump.png" "$dir/idle-ref.png" null: 2>&1 |
            sed -n 's/.*(\(.*\)).*/\1/p')
  flipped=$(compare -metric RMSE "$dump.png" "$dir/idle-ref-flipped.png" null: 2>&1 |
            sed -n 's/.*(\(.*\)).*/\1/p')
  note "shared picture against the idle picture: RMSE $upright upright, $flipped flipped"
  awk -v u="$upright" -v f="$flipped" 'BEGIN { exit !(u < 0.09 && f > 0.12) }' ||
    fail "the shared block does not hold the upright idle picture (RMSE $upright, flipped $flipped)"
}

# A fresh prefix for pavix.exe at PREFIX: the fonts linked for the Chinese
# texts, Wine drawing the window captions (no window manager under Xvfb, so
# Wine does not wait, in vain, for one to map and unmap windows). Without
# the camera filter.
make_pavix_prefix() {
  use_prefix "$1"
  "$wine" wineboot --init >/dev/null 2>&1
  "$wineserver" -w
  local face
  # The About box's face too.
  for face in Tahoma "MS Shell Dlg" "Microsoft Sans Serif" "MS Sans Serif"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1 ||
      fail "reg add FontLink $face"
  done
  local setting
  for setting in Decorated Managed; do
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v "$setting" /d N /f >/dev/null 2>&1 ||
      fail "reg add $setting"
  done
}

# Registers the camera filter in the current prefix.
register_filter() {
  "$wine" regsvr32 "$PAVIX_FILTER" >/dev/null 2>&1 || fail "regsvr32 $PAVIX_FILTER"
  "$wineserver" -w
}
