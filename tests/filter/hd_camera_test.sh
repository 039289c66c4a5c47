#!/usr/bin/env bash
# The camera's types as capture applications see them, under 64-bit Wine:
# the phone simulator streams its 640 x 480 test pattern through pavix.exe
# (or an older-style writer fills PavixShMem alone), and camcheck connects
# as an application that lets the user choose a size and format. Uses the
# prefixes pavix_system_test.sh makes (its "setup" case).
#
#   hd_camera_test.sh CASE
#
#   types      the camera lists 5 sizes x 5 formats, each at 333,333 (30/s)
#              with its frame-interval range; camcheck connects each of the
#              25 in turn: the type it asked for at 30/s, samples with rising
#              times, new pictures coming, the last one the pattern upright
#              in its colours and its centre cropped to fill the type (never
#              squeezed)
#   two-apps   1280 x 720 NV12 and 640 x 480 YUY2 at the same time: both get
#              their own pictures
#   fallback   no pavix.exe, shmtool writing a pattern picture into
#              PavixShMem only: camcheck at 480 x 320 RGB24 and at
#              1280 x 720 NV12 gets that picture, cropped to fill
#
# Each check is tallied ("ok"/"FAIL" a line); the case fails when any did.
# Environment (set by CTest): as live_link_test.sh.
set -uo pipefail

readonly case_name=${1:?usage: hd_camera_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../app/system_test_lib.sh
. "$here/../app/system_test_lib.sh"
# shellcheck source=../support/checks.sh
. "$here/../support/checks.sh"

readonly port=1234
readonly phone_size=640x480
readonly sizes="1920x1080 1280x720 640x480 640x360 480x320"
readonly formats="NV12 I420 YUY2 RGB24 RGB32"

for tool in "$PAVIX_PHONESIM" "$PAVIX_PATTERN_CHECK"; do
  [ -x "$tool" ] || fail "$tool is not built (build the native tree; PAVIX_NATIVE_TREE names it)"
done

# --- helpers ---------------------------------------------------------------------------

# pavix.exe connected to the simulator, pictures flowing; the block held
# open from outside so that its last word can be checked at the end.
start_streaming() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  printf '127.0.0.1:%s:1235\n' $port >"$run/pavix_cfg.ini"
  local sim_log=$run/sim.log
  "$PAVIX_PHONESIM" --listen 127.0.0.1:$port --fps 30 --size $phone_size --quiet 2>"$sim_log" &
  extra_pids+=($!)
  wait_until_listening "$sim_log"
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  local end=$((SECONDS + 20))
  until [ "$(last_held_word)" -gt 30 ] 2>/dev/null; do
    [ $SECONDS -ge $end ] && fail "no pictures from the simulator (frame word $(last_held_word))"
    sleep 0.1
  done
}

stop_streaming() {
  probe close || fail "cannot press the close box"
  expect_clean_end
}

# camcheck NAME ARGS...: its output (carriage returns gone) in $run/NAME,
# shown with the name in front.
camcheck() {
  local name=$1
  shift
  "$wine" "$PAVIX_CAMCHECK" "$@" >"$run/$name.raw" 2>&1
  local rc=$?
  tr -d '\r' <"$run/$name.raw" >"$run/$name"
  # The per-sample ids make long lines: the summary says what they hold.
  grep -v '^run [0-9]*: ids ' "$run/$name" | sed "s/^/  [$name] /"
  return $rc
}

# The first number after "run 1: WORD " in camcheck's output NAME.
run_value() { sed -n "s/^run 1: .*\\b$2 \\([-0-9]*\\).*/\\1/p" "$run/$1" | head -1; }

# What every connection of an application must show: the type it asked
# for, samples with rising times (at least MIN), new pictures among them,
# (at least NEW), and the pattern upright, in its colours, cropped from
# SOURCE to fill.
#   check_connection NAME WxH FORMAT RATE SOURCE MIN NEW
check_connection() {
  local name=$1 size=$2 format=$3 rate=$4 source=$5 min=$6 new=$7
  check "$name: connected $size $format at $rate" grep -q "^connected $size $format at $rate\$" "$run/$name"
  local samples distinct
  samples=$(run_value "$name" samples)
  distinct=$(run_value "$name" distinct)
  check "$name: samples arrive (${samples:-none})" test "${samples:-0}" -ge "$min"
  check "$name: their times rise" grep -q '^run 1: samples .* rising yes$' "$run/$name"
  check "$name: new pictures arrive (${distinct:-none} distinct)" test "${distinct:-0}" -ge "$new"
  check "$name: the last picture is the pattern, upright in its colours" \
    grep -qE '^run 1: picture frame [0-9]+ upright colours true$' "$run/$name"
  check "$name: cropped to fill from $source, not squeezed" \
    grep -q "^run 1: bands .* fit cropped (.* from $source)\$" "$run/$name"
}

# --- cases -----------------------------------------------------------------------------

case_types() {
  start_streaming
  camcheck list --list-types
  check "camcheck lists the types" test $? -eq 0
  local size format
  for size in $sizes; do
    for format in $formats; do
      # 333,333 per frame, within a range the capability record gives.
      check "the camera offers $size $format at 30/s" awk -v s="$size" -v f="$format" '
        $1 == "type" && $3 == s && $4 == f && $7 == 333333 {
          split($9, r, "-"); if (r[1] > 0 && r[1] <= 333333 && r[2] >= 333333) found = 1 }
        END { exit !found }' "$run/list"
    done
  done
  check "and no other types" test "$(grep -c '^type ' "$run/list")" -eq 25

  for size in $sizes; do
    for format in $formats; do
      local name=$size-$format
      # 45 samples in 1.5 s at 30/s; a loaded machine gets fewer.
      if camcheck "$name" --size "$size" --format "$format" --source $phone_size --seconds 1.5 \
        --save "$(winepath_of "$run/$name.bmp")"; then
        check_connection "$name" "$size" "$format" 30.00/s $phone_size 10 5
      else
        check "$name: camcheck streams" false
      fi
    done
  done
  # An independent reader of one saved picture per format.
  for format in $formats; do
    check "1280x720-$format: the saved picture reads as the pattern" \
      grep -qx 'orientation upright' <("$PAVIX_PATTERN_CHECK" read "$run/1280x720-$format.bmp" 2>&1)
  done
  cp "$run/1280x720-NV12.bmp" "$artefacts/hd-camera-720p-nv12.bmp" 2>/dev/null
  stop_streaming
}

case_two_apps() {
  start_streaming
  camcheck hd --size 1280x720 --format NV12 --source $phone_size --seconds 3 &
  local a=$!
  camcheck vga --size 640x480 --format YUY2 --source $phone_size --seconds 3 &
  local b=$!
  if wait $a; then
    check_connection hd 1280x720 NV12 30.00/s $phone_size 20 10
  else
    check "hd: camcheck streams" false
  fi
  if wait $b; then
    check_connection vga 640x480 YUY2 30.00/s $phone_size 20 10
  else
    check "vga: camcheck streams" false
  fi
  stop_streaming
}

case_fallback() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  # The simulator's picture 77 at the block's size, as a 24-bit BMP.
  "$PAVIX_PATTERN_CHECK" jpeg 77 480x320 95 "$run/pattern.jpg" pattern >/dev/null ||
    fail "cannot make the pattern picture"
  convert "$run/pattern.jpg" -type TrueColor BMP3:"$run/pattern.bmp" || fail "cannot convert it"
  "$wine" "$PAVIX_SHMTOOL" write --bmp "$(winepath_of "$run/pattern.bmp")" --word 5 --hold 120 \
    >"$run/writer" 2>&1 &
  extra_pids+=($!)
  local end=$((SECONDS + 30))
  until grep -q 'wrote 480x320 picture' "$run/writer" 2>/dev/null; do
    [ $SECONDS -ge $end ] && fail "the old-style writer did not write: $(cat "$run/writer")"
    sleep 0.1
  done
  local name
  for name in 480x320-RGB24 1280x720-NV12; do
    if ! camcheck "fallback-$name" --size "${name%-*}" --format "${name#*-}" --source 480x320 \
      --seconds 2 --save "$(winepath_of "$run/fallback-$name.bmp")"; then
      check "fallback-$name: camcheck streams" false
      continue
    fi
    # The rate the type announces is the camera's own business here; the
    # picture stands still, so one distinct picture is all there is.
    check_connection "fallback-$name" "${name%-*}" "${name#*-}" '[0-9.]*/s' 480x320 5 1
    check "fallback-$name: it is the writer's picture" \
      grep -q '^run 1: picture frame 77 upright colours true$' "$run/fallback-$name"
    check "fallback-$name: the saved picture reads as frame 77" \
      grep -qx 'frame 77' <("$PAVIX_PATTERN_CHECK" read "$run/fallback-$name.bmp")
  done
}

case $case_name in
  types) case_types ;;
  two-apps) case_two_apps ;;
  fallback) case_fallback ;;
  *) fail "unknown case $case_name" ;;
esac
end_checks || fail "$failures check(s) failed"
echo "PASS: $case_name"
