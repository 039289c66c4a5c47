#!/usr/bin/env bash
# The camera "Pavix" as a third-party capture application sees it: ffmpeg
# (built from Debian's source package, scripts/build-deps.sh) under 64-bit
# Wine, while the phone simulator streams 30 pictures a second through
# pavix.exe. Uses the prefixes pavix_system_test.sh makes (its "setup" case),
# where the camera is registered.
#
#   ffmpeg_capture_test.sh CASE
#
#   devices         -list_devices lists the video device "Pavix"
#   types           -list_options lists every size the camera offers in
#                   every format, 30 pictures a second
#   WxH-FORMAT      (480x320-bgr24, 640x480-yuyv422, 1280x720-nv12) 300
#                   frames of that type, ffmpeg resampling to a constant
#                   rate: its final "dup= drop=" are at most 1 each, and every
#                   frame, read back from the raw video on ffmpeg's standard
#                   output (capture_frame_reader), is the simulator's picture,
#                   upright, never an older one after a newer
#   two-clients     the same at once from 1280x720 pictures: 150 frames of
#                   1280x720 nv12 and 150 of 640x360 bgr24
#
# Environment (set by CTest): as live_link_test.sh, and PAVIX_FFMPEG
# (ffmpeg.exe in the dependencies' cache), PAVIX_CAPTURE_READER (Linux
# program of the native tree).
set -uo pipefail

readonly case_name=${1:?usage: ffmpeg_capture_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../app/system_test_lib.sh
. "$here/../app/system_test_lib.sh"
# shellcheck source=../support/checks.sh
. "$here/../support/checks.sh"

for tool in "$PAVIX_FFMPEG" "$PAVIX_CAPTURE_READER" "$PAVIX_PHONESIM"; do
  # Missing tools are a failure, not a skip: the camera would go untested.
  [ -e "$tool" ] || fail "$tool is missing (scripts/build-deps.sh x86_64-w64-mingw32 makes ffmpeg.exe; build the native tree)"
done

readonly port=1234
readonly frames=300
# What the camera offers, ffmpeg's names for NV12, I420, YUY2, RGB24, RGB32.
readonly sizes=(1920x1080 1280x720 640x480 640x360 480x320)
readonly formats=(nv12 yuv420p yuyv422 bgr24 bgr0)

# ffmpeg under Wine with its messages in $run/NAME.txt; the exit status its.
# Up to two minutes: a camera that stops delivering must not hang the test.
ffmpeg_to() {
  local name=$1
  shift
  timeout 120 "$wine" "$PAVIX_FFMPEG" -hide_banner -nostdin "$@" 2>"$run/$name.raw"
  local rc=$?
  tr '\r' '\n' <"$run/$name.raw" >"$run/$name.txt"
  return $rc
}

# pavix.exe with the simulator streaming 30 pictures a second of SIZE,
# until the shared block's frame word shows them arriving.
start_streaming() {
  local size=$1
  printf '127.0.0.1:%s:%s\n' $port $((port + 1)) >"$run/pavix_cfg.ini"
  sim_log=$run/sim.log
  "$PAVIX_PHONESIM" --listen 127.0.0.1:$port --fps 30 --size "$size" --seed 1 2>"$sim_log" &
  extra_pids+=("$!")
  wait_until_listening "$sim_log"
  start_pavix
  local end=$((SECONDS + 30))
  local word=0
  until [ "$word" -ge 30 ]; do
    [ $SECONDS -ge $end ] && fail "pavix.exe did not publish 30 pictures in 30 s (frame word $word)"
    sleep 0.2
    word=$(probe frame-word | tr -d '\r')
    word=${word#frame word=}
    [[ $word =~ ^-?[0-9]+$ ]] || word=0
  done
}

stop_streaming() {
  probe close >/dev/null || fail "cannot press the close box"
  wait_exit "$pavix_pid" 20 || fail "pavix.exe did not end after the close box"
  pavix_pid=""
}

# The number after KEY= in the last progress line of ffmpeg's messages
# (nothing without one); ffmpeg leaves dup= and drop= out while they are 0.
final_count() {
  local line
  line=$(grep '^frame=' "$run/$1.txt" | tail -n 1)
  [ -n "$line" ] || return 0
  [[ $line =~ $2=\ *([0-9]+) ]] && echo "${BASH_REMATCH[1]}" || echo 0
}

case_devices() {
  ffmpeg_to devices -f dshow -list_devices true -i dummy
  note "$(grep -F '(video)' "$run/devices.txt")"
  check "ffmpeg lists the video device \"Pavix\"" grep -q '"Pavix" (video)' "$run/devices.txt"
}

case_types() {
  ffmpeg_to types -f dshow -list_options true -i video=Pavix
  sed -n 's/^.*\] *\(pixel_format=.*\)$/  \1/p' "$run/types.txt"
  local size format
  for size in "${sizes[@]}"; do
    for format in "${formats[@]}"; do
      # One size a record; its fastest rate (1e7 / MinFrameInterval, %g)
      # is 30 for an interval of 333,333.
      check "$format $size up to 30 pictures a second" \
        grep -Eq "pixel_format=$format +min s=$size fps=[0-9.e+-]+ max s=$size fps=30([^0-9.]|\$)" "$run/types.txt"
    done
  done
}

# Starts ffmpeg capturing FRAMES frames of SIZE FORMAT into the reader, in
# the background; NAME names its files in $run and its exit statuses
# (ffmpeg's, the reader's) go to NAME.rcs.
start_client() {  # NAME SIZE FORMAT FRAMES
  local name=$1 size=$2 format=$3 count=$4
  # ffmpeg's own buffer (-rtbufsize, 3 MB by default: two 720p frames)
  # would drop frames whenever the loaded machine holds ffmpeg up; those
  # gaps are ffmpeg's, not the camera's. -flush_packets hands each frame on
  # whole (else its last bytes wait in ffmpeg's output buffer for the next).
  (ffmpeg_to "$name" -rtbufsize 64M -f dshow -video_size "$size" -pixel_format "$format" \
     -i video=Pavix -frames:v "$count" -fps_mode cfr -flush_packets 1 -f rawvideo - |
     "$PAVIX_CAPTURE_READER" "$format" "$size" --frames "$count" --log "$run/$name.frames" \
       --keep "$run/$name.ppm" >"$run/$name.reader"
   echo "${PIPESTATUS[@]}" >"$run/$name.rcs") &
}

# What client NAME got: COUNT frames of SIZE FORMAT, at most one duplicated
# and one dropped, each the simulator's upright picture, in order.
check_client() {  # NAME SIZE FORMAT COUNT
  local name=$1 size=$2 format=$3 count=$4 rcs
  read -r -a rcs <"$run/$name.rcs" || rcs=(1 1)
  [ -f "$run/$name.ppm" ] && convert "$run/$name.ppm" "$artefacts/ffmpeg-$case_name-$name.png" 2>/dev/null
  if [ "${rcs[0]}" -eq 0 ]; then
    grep -E '^ *(Stream|frame=)' "$run/$name.txt" | tail -n 3 | sed "s/^/  [$name] /"
  else
    tail -n 5 "$run/$name.txt" | sed "s/^/  [$name] /"
  fi
  sed "s/^/  [$name frames] /" "$run/$name.reader"

  check "$name: ffmpeg captured $count frames and ended cleanly" test "${rcs[0]}" -eq 0
  check "$name: connected with $format $size" \
    grep -Eq "Stream #0:0.*: Video: rawvideo .*$format.*, $size" "$run/$name.txt"
  local dup drop
  dup=$(final_count "$name" dup)
  drop=$(final_count "$name" drop)
  check "$name: ffmpeg duplicated ${dup:-?} and dropped ${drop:-?} frames, at most 1 each" \
    test -n "$dup" -a "${dup:-2}" -le 1 -a "${drop:-2}" -le 1
  check "$name: every frame is the simulator's picture, upright" test "${rcs[1]}" -eq 0
  check "$name: $count frames read" grep -q "^samples $count " "$run/$name.reader"
  check "$name: never an older picture after a newer" \
    grep -Eq '^samples [1-9][0-9]* .* backwards 0 ' "$run/$name.reader"
}

# capture WxH FORMAT SIMULATOR-SIZE
capture() {
  local size=$1 format=$2 sim_size=$3
  start_streaming "$sim_size"
  start_client capture "$size" "$format" $frames
  wait $!
  stop_streaming
  check_client capture "$size" "$format" $frames
  end_checks
}

# Two applications at once, each with its own type, from the same pictures.
case_two_clients() {
  start_streaming 1280x720
  start_client hd 1280x720 nv12 $((frames / 2))
  local hd=$!
  start_client small 640x360 bgr24 $((frames / 2))
  local small=$!
  wait $hd
  wait $small
  stop_streaming
  check_client hd 1280x720 nv12 $((frames / 2))
  check_client small 640x360 bgr24 $((frames / 2))
  end_checks
}

use_prefix "$prefix_with_filter"
make_run_dir
case $case_name in
  devices) case_devices; end_checks ;;
  types) case_types; end_checks ;;
  480x320-bgr24) capture 480x320 bgr24 640x480 ;;
  640x480-yuyv422) capture 640x480 yuyv422 640x480 ;;
  1280x720-nv12) capture 1280x720 nv12 1280x720 ;;
  two-clients) case_two_clients ;;
  *) fail "unknown case $case_name" ;;
esac
