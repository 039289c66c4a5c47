#!/usr/bin/env bash
# The Windows camera (the Media Foundation media source) as a Media
# Foundation application reads it through the source reader, under 64-bit
# Wine: mfcheck loads PavixMediaSource.dll, activates its source and reads
# samples while the phone simulator streams its test pattern through
# pavix.exe. Uses the prefixes pavix_system_test.sh makes (its "setup"
# case).
#
#   mf_camera_test.sh CASE
#
#   types        the stream lists 5 sizes in NV12, YUY2 and RGB32, 1280 x 720
#                NV12 first; without Pavix the samples still come, black
#   720p-nv12    a 1280 x 720 phone, read at 1280 x 720 NV12
#   480p-yuy2    a 640 x 480 phone, read at 640 x 480 YUY2
#   360p-rgb32   a 640 x 480 phone, read at 640 x 360 RGB32 (its centre)
#   idle         pavix.exe without a phone: its idle picture
#
# Streaming cases check: the samples come with rising stamps, the phone's
# pictures each once (at least 60 of them new), the steps between their
# stamps about 1/30 s (333,333 units), the last one the pattern upright in
# its colours. Each check is tallied ("ok"/"FAIL" a line); the case fails
# when any did. Environment (set by CTest): as live_link_test.sh, and
# PAVIX_MFCHECK, PAVIX_MEDIA_SOURCE.
set -uo pipefail

readonly case_name=${1:?usage: mf_camera_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../app/system_test_lib.sh
. "$here/../app/system_test_lib.sh"
# shellcheck source=../support/checks.sh
. "$here/../support/checks.sh"

readonly port=1234
for tool in "$PAVIX_PHONESIM" "$PAVIX_MFCHECK" "$PAVIX_MEDIA_SOURCE"; do
  [ -e "$tool" ] || fail "$tool is not built"
done
module=$(winepath_of "$PAVIX_MEDIA_SOURCE")

# pavix.exe connected to the simulator sending SIZE pictures, pictures
# flowing (the shared block's word beyond 30); without SIZE, no phone.
start_pavix_with_phone() {
  local size=${1:-}
  use_prefix "$prefix_with_filter"
  make_run_dir
  printf '127.0.0.1:%s:1235\n' $port >"$run/pavix_cfg.ini"
  if [ -n "$size" ]; then
    local sim_log=$run/sim.log
    "$PAVIX_PHONESIM" --listen 127.0.0.1:$port --fps 30 --size "$size" --quiet 2>"$sim_log" &
    extra_pids+=($!)
    wait_until_listening "$sim_log"
  fi
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  [ -n "$size" ] || return 0
  local end=$((SECONDS + 20))
  until [ "$(last_held_word)" -gt 30 ] 2>/dev/null; do
    [ $SECONDS -ge $end ] && fail "no pictures from the simulator (frame word $(last_held_word))"
    sleep 0.1
  done
}

stop_pavix() {
  probe close || fail "cannot press the close box"
  expect_clean_end
}

# mfcheck NAME ARGS...: its output (carriage returns gone) in $run/NAME,
# shown with the name in front.
mfcheck() {
  local name=$1
  shift
  "$wine" "$PAVIX_MFCHECK" "$module" "$@" >"$run/$name.raw" 2>&1
  local rc=$?
  tr -d '\r' <"$run/$name.raw" >"$run/$name"
  sed "s/^/  [$name] /" "$run/$name"
  return $rc
}

# The first number after WORD in mfcheck's output NAME.
value_of() { sed -n "s/.*\\b$2 \\([-0-9]*\\).*/\\1/p" "$run/$1" | head -1; }

# What a read of the phone's pictures must show (NAME WxH FORMAT).
check_streaming() {
  local name=$1 size=$2 format=$3
  check "$name: connected $size $format" grep -qx "connected $size $format" "$run/$name"
  local samples distinct repeats median
  samples=$(value_of "$name" samples)
  distinct=$(value_of "$name" distinct)
  repeats=$(value_of "$name" repeats)
  median=$(value_of "$name" median)
  check "$name: 120 samples with rising stamps" grep -qE '^samples 120 .* rising yes$' "$run/$name"
  check "$name: at least 60 new pictures (${distinct:-none})" test "${distinct:-0}" -ge 60
  # A picture twice only where the phone was late by 100 ms.
  check "$name: each picture once (${repeats:-?} repeats)" test "${repeats:-99}" -le 3
  check "$name: stamps about 1/30 s apart (median ${median:-none})" \
    awk -v m="${median:-0}" 'BEGIN { exit !(m >= 300000 && m <= 366667) }'
  check "$name: the last picture is the pattern, upright in its colours" \
    grep -qE '^picture frame [0-9]+ upright colours true$' "$run/$name"
}

case_types() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  mfcheck list --list-types
  check "mfcheck lists the types" test $? -eq 0
  local expected="" format size index=0
  for format in NV12 YUY2 RGB32; do
    for size in 1280x720 1920x1080 640x480 640x360 480x320; do
      expected+="type $index $size $format"$'\n'
      index=$((index + 1))
    done
  done
  check "the 15 types in order, 1280x720 NV12 first" \
    test "$(grep '^type ' "$run/list")"$'\n' = "$expected"
  mfcheck black --samples 20
  check "without Pavix the samples come" grep -qE '^samples 20 .* rising yes$' "$run/black"
  check "without Pavix they are black" grep -qx 'picture mean red 0 green 0 blue 0' "$run/black"
}

case_stream() {  # PHONE-SIZE READ-SIZE FORMAT
  start_pavix_with_phone "$1"
  mfcheck read --size "$2" --format "$3" --samples 120
  check "mfcheck read the samples" test $? -eq 0
  check_streaming read "$2" "$3"
  stop_pavix
}

case_idle() {
  start_pavix_with_phone ""
  mfcheck idle --samples 10
  check "without a phone the samples come" grep -qE '^samples 10 .* rising yes$' "$run/idle"
  # The idle picture, not black: PavixShMem's idle picture is a bright one.
  check "they show the idle picture" \
    awk '/^picture mean/ { exit !($4 + $6 + $8 > 150) }' "$run/idle"
  stop_pavix
}

case "$case_name" in
  types) case_types ;;
  720p-nv12) case_stream 1280x720 1280x720 NV12 ;;
  480p-yuy2) case_stream 640x480 640x480 YUY2 ;;
  360p-rgb32) case_stream 640x480 640x360 RGB32 ;;
  idle) case_idle ;;
  *) fail "unknown case $case_name" ;;
esac
end_checks
