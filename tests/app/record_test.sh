#!/usr/bin/env bash
# System tests of recording under 64-bit Wine: the phone simulator streams
# its test pattern, pavix.exe shows it, and the user records the camera
# from the function menu (a right click on the picture, then the item's
# key), filling the standard save dialog as a person would (pavix_probe
# types the path and presses Save). ffprobe and ffmpeg read the files.
# Uses the prefixes pavix_system_test.sh makes (its "setup" case).
#
#   record_test.sh CASE
#
#   record-menu      start from the menu, about 5 s, stop from the menu: one
#                    480 x 320 video stream, the frame count within 10 % of
#                    the recorded time at 30 frames/s, decodable to the
#                    end, a frame shows the simulator's picture upright in
#                    its colours; "录像中" in the status bar while it runs;
#                    while recording the start item does nothing (greyed),
#                    afterwards the stop item does nothing
#   record-again     stop without a recording is harmless; a recording, its
#                    stop, and a second recording onto the same file (the
#                    old one replaced) give two good files
#   record-in-use    an existing file that another program holds open: no
#                    recording, the file untouched, the user told; the
#                    start item stays available
#   record-close     the close box while recording: the file is whole
#   record-full      a small volume (drive R:) that fills while recording:
#                    asked first whether to record with less room than a
#                    minute takes; when it is full the recording stops by
#                    itself, the window answers, the user is told with the
#                    file's path, and the file plays to its end; a next
#                    recording elsewhere is whole
#   record-restart   a start that fails (a read-only volume, drive R:) is
#                    told; the recording after it is whole
#   record-session-end  the Windows session ends while recording (the
#                    system's two messages, then the process ended as
#                    Windows ends it): the file is whole, the frame word
#                    -1, the notification-area icon gone
#
# Each case says which recording path the program took (the system's file
# writer or ours; compressed or not), from the program's debug text.
#
# Environment (set by CTest): as live_link_test.sh.
set -uo pipefail

readonly case_name=${1:?usage: record_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"

readonly port=1234
readonly rate=30                # the camera's samples per second (1/30 s apart)
readonly recording_text="part2=[录像中]"
readonly idle_text="part2=[]"
readonly in_use_text="text=[所选文件正在被使用, 无法替换]"
readonly win_x=200 win_y=80

for tool in "$PAVIX_PHONESIM" "$PAVIX_PATTERN_CHECK"; do
  if [ ! -x "$tool" ]; then
    echo "SKIP: $tool is not built (build the native tree; PAVIX_NATIVE_TREE names it)"
    exit 77
  fi
done
command -v ffprobe >/dev/null || fail "ffprobe is not installed (scripts/install-packages.sh)"

# --- helpers ---------------------------------------------------------------------------

start_sim() {
  sim_log=$run/sim.log
  : >"$sim_log"
  "$PAVIX_PHONESIM" --listen 127.0.0.1:$port --fps 30 --seed 1 2>"$sim_log" &
  sim_pid=$!
  extra_pids+=("$sim_pid")
  wait_until_listening "$sim_log" "$sim_pid"
}

# pavix.exe streaming from the simulator, its window at a known place.
start_streaming() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  printf '127.0.0.1:%s:1235\n' $port >"$run/pavix_cfg.ini"
  start_sim
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  probe_until_line 15 "part0=[连接手机成功 ]" status || fail "the phone link did not come up"
  probe move $win_x $win_y || fail "cannot move the window"
  sleep 0.3
}

# Opens the function menu with a right click on the picture and presses
# the item's key (r: start recording, s: stop recording).
menu_key() {
  local key=$1
  xdotool mousemove $((win_x + 250)) $((win_y + 200)) click 3
  probe_until 10 popup-menus || fail "the right click opened no menu"
  [ -n "${2:-}" ] && import -window root "$artefacts/$2" 2>/dev/null
  xdotool key "$key"
  sleep 0.3
  # A greyed item does not close the menu: it stays until Escape.
  if probe popup-menus >/dev/null; then
    xdotool key Escape
    local end=$((SECONDS + 10))
    while probe popup-menus >/dev/null; do
      [ $SECONDS -ge $end ] && fail "the menu did not close"
      sleep 0.1
    done
  fi
}

# Start from the menu into FILE (a Linux path): the save dialog filled and
# confirmed; with "replace", the replace question answered Yes.
start_recording() {
  local file=$1 how=${2:-}
  menu_key r
  local out
  out=$(probe save-as "$(winepath_of "$file")" $how) || fail "the save dialog could not be filled:"$'\n'"$out"
  note "save dialog: $(tr '\n' ' ' <<<"$out")"
}

expect_recording() {
  probe_until_line 15 "$recording_text" status || fail "the status bar does not say 录像中:"$'\n'"$probe_out"
  recording_since=$(now_ms)
}

stop_recording() {
  menu_key s
  probe_until_line 15 "$idle_text" status || fail "the status bar still says 录像中:"$'\n'"$probe_out"
  recorded_ms=$(program_recorded_ms)
}

# How long the last recording ran, as the program measured it from its
# start to its stop (its debug text): the probes' own delays do not count.
program_recorded_ms() {
  grep -a 'pavix: recording stopped after' "$pavix_log" | tail -n 1 | sed 's/.*after \([0-9]*\) ms.*/\1/'
}

# The recording path the program took, from its debug text.
recording_path() {
  grep -a 'pavix: recording through' "$pavix_log" | tail -n 1 | sed 's/.*pavix: //; s/\\n.*//; s/"$//'
}

# No save dialog comes: the start item is greyed (or refused).
expect_no_dialog() {
  local end=$((SECONDS + 2))
  while [ $SECONDS -lt $end ]; do
    probe dialogs >/dev/null && fail "a dialog opened"
    sleep 0.2
  done
}

# FILE is a whole AVI of the camera: one 480 x 320 video stream whose frame
# count fits MS milliseconds at the camera's rate (within 10 %), decodable
# to the end, its middle frame the simulator's picture upright.
check_recording() {
  local file=$1 ms=$2 label=$3
  [ -s "$file" ] || fail "no file $file"
  local info
  info=$(ffprobe -v error -count_frames -select_streams v \
           -show_entries stream=codec_name,width,height,nb_read_frames,avg_frame_rate \
           -of default=noprint_wrappers=1 "$file") || fail "ffprobe cannot read $file"
  local streams
  streams=$(ffprobe -v error -show_entries stream=codec_type -of csv=p=0 "$file" | grep -c .)
  note "$label: $(tr '\n' ' ' <<<"$info")streams=$streams, recorded for $ms ms"
  [ "$streams" = 1 ] || fail "$streams streams, not one"
  expect_line "$info" "width=480"
  expect_line "$info" "height=320"
  local frames codec
  frames=$(sed -n 's/^nb_read_frames=//p' <<<"$info")
  codec=$(sed -n 's/^codec_name=//p' <<<"$info")
  recorded_codec=$codec
  # The file names the camera's rate; the camera delivers up to that many
  # samples a second: it paces them 1/30 s apart, and on a loaded machine
  # (or with the file's writes on its thread) it falls behind: 24 to 28 a second were measured here while
  # recording, 17 while a build ran beside. Never more than 10 % above the
  # rate (no picture written twice), and no fewer than 40 % of it (none
  # lost in bulk).
  expect_line "$info" "avg_frame_rate=10000000/333333"
  local per_second
  per_second=$(awk -v f="$frames" -v ms="$ms" 'BEGIN { printf "%.1f", f * 1000 / ms }')
  note "$label: $frames frames in $ms ms: $per_second a second"
  awk -v f="$frames" -v ms="$ms" -v r="$rate" 'BEGIN { e = ms / 1000 * r; exit !(f >= 0.4 * e && f <= 1.1 * e) }' ||
    fail "$frames frames for $ms ms ($per_second a second), not 40 % to 110 % of $rate frames/s"
  local errors
  errors=$(ffmpeg -v error -i "$file" -f null - 2>&1)
  [ -z "$errors" ] || fail "the file does not decode to the end: $errors"
  # The camera hands on whole pictures only: the middle frame shows the
  # simulator's picture.
  local middle=$((frames / 2)) out
  ffmpeg -v error -y -i "$file" -vf "select=eq(n\,$middle)" -frames:v 1 -pix_fmt bgr24 \
    "$run/$label-frame.bmp" || fail "cannot extract frame $middle"
  cp "$run/$label-frame.bmp" "$artefacts/record-$label-frame.bmp"
  out=$("$PAVIX_PATTERN_CHECK" read "$run/$label-frame.bmp") ||
    fail "frame $middle does not show the simulator's picture upright in its colours: $out"
  note "$label frame $middle: $(tr '\n' ' ' <<<"$out")"
}

# A small volume of its own (tmpfs, in this test's private mount
# namespace) as drive R: of the prefix; with "ro", read-only.
mount_drive_r() {
  local megabytes=$1 mode=${2:-rw}
  volume=$dir/volume-$case_name
  mkdir -p "$volume"
  mount -t tmpfs -o "size=${megabytes}m,$mode" pavix-test "$volume" || fail "cannot mount a tmpfs"
  ln -sfn "$volume" "$WINEPREFIX/dosdevices/r:" || fail "cannot map drive R:"
}

unmount_drive_r() {
  rm -f "$WINEPREFIX/dosdevices/r:"
  umount "$volume" 2>/dev/null
}

# FILE plays to its end: one 480 x 320 video stream of at least MIN frames.
check_playable() {
  local file=$1 least=$2
  local info frames errors
  info=$(ffprobe -v error -count_frames -select_streams v \
           -show_entries stream=width,height,nb_read_frames -of default=noprint_wrappers=1 "$file") ||
    fail "ffprobe cannot read $file"
  note "$(basename "$file"): $(tr '\n' ' ' <<<"$info")$(stat -c %s "$file") bytes"
  expect_line "$info" "width=480"
  expect_line "$info" "height=320"
  frames=$(sed -n 's/^nb_read_frames=//p' <<<"$info")
  [ "${frames:-0}" -ge "$least" ] || fail "$frames frames, fewer than $least"
  errors=$(ffmpeg -v error -i "$file" -f null - 2>&1)
  [ -z "$errors" ] || fail "$file does not decode to the end: $errors"
}

# --- cases ------------------------------------------------------------------------------

case_record_menu() {
  start_streaming
  local file=$run/menu.avi
  expect_line "$(probe status)" "$idle_text"
  start_recording "$file"
  expect_recording
  note "recording path: $(recording_path)"
  sleep 2
  # While recording, the start item is greyed: its key opens no dialog.
  menu_key r record-menu-recording.png
  expect_no_dialog
  sleep 2.5
  stop_recording
  # Stopped: the stop item is greyed, nothing happens.
  menu_key s
  expect_line "$(probe status)" "$idle_text"
  check_recording "$file" "$recorded_ms" menu
  # The stream is what the program says it recorded: Cinepak through the
  # compressor, else the camera's pictures as they are.
  local path
  path=$(recording_path)
  case "$path" in
    *", compressed") [ "$recorded_codec" = cinepak ] || fail "compressed, but the stream is $recorded_codec" ;;
    *", uncompressed") [ "$recorded_codec" = rawvideo ] || fail "uncompressed, but the stream is $recorded_codec" ;;
    *) fail "no recording path in the debug texts" ;;
  esac
  grep -aq 'compressor cannot be connected' "$pavix_log" &&
    note "the prefix's compressor (cvid) bound but could not take the pictures: recorded uncompressed"
  note "recorded: $recorded_codec through $path"
  probe close || fail "cannot close"
  expect_clean_end
}

case_record_again() {
  start_streaming
  # Stop without a recording: harmless.
  probe post-command 32773 || fail "cannot send the stop command"
  sleep 0.5
  probe responsive 2000 >/dev/null || fail "the window does not answer after a stop without recording"
  expect_line "$(probe status)" "$idle_text"

  local file=$run/again.avi
  start_recording "$file"
  expect_recording
  sleep 3
  stop_recording
  check_recording "$file" "$recorded_ms" first
  local first_sum
  first_sum=$(md5sum <"$file")

  # The same file again: the dialog asks, the old file is replaced.
  start_recording "$file" replace
  expect_recording
  sleep 3
  stop_recording
  check_recording "$file" "$recorded_ms" second
  [ "$(md5sum <"$file")" != "$first_sum" ] || fail "the second recording did not replace the first"
  note "recording path: $(recording_path), $recorded_codec"
  probe close || fail "cannot close"
  expect_clean_end
}

case_record_in_use() {
  start_streaming
  local file=$run/in-use.avi
  printf 'somebody else'"'"'s file\n' >"$file"
  local sum
  sum=$(md5sum <"$file")
  "$wine" "$PAVIX_PROBE" lock-file "$(winepath_of "$file")" 60 >"$run/lock.log" &
  extra_pids+=("$!")
  local end=$((SECONDS + 20))
  until grep -q 'holding the file' "$run/lock.log"; do
    [ $SECONDS -ge $end ] && fail "the file could not be held open: $(cat "$run/lock.log")"
    sleep 0.1
  done

  start_recording "$file" replace
  probe_until 15 box "提示" || fail "the user was not told"
  echo "$probe_out"
  expect_line "$probe_out" "$in_use_text"
  probe dismiss "提示" || fail "cannot dismiss the box"
  expect_line "$(probe status)" "$idle_text"
  [ "$(md5sum <"$file")" = "$sum" ] || fail "the file in use was changed"

  # Nothing is recording: the start item is still there.
  menu_key r
  probe_until 10 dialogs || fail "the start item did not open the save dialog again"
  probe save-as "$(winepath_of "$run/other.avi")" >/dev/null || fail "cannot fill the dialog"
  expect_recording
  sleep 1
  stop_recording
  probe close || fail "cannot close"
  expect_clean_end
}

case_record_close() {
  start_streaming
  local file=$run/close.avi
  start_recording "$file"
  expect_recording
  sleep 3
  probe close || fail "cannot press the close box"
  expect_clean_end
  # The program stopped the recording itself before it let the graph go.
  # (Wine's graph manager also stops a graph on its last release, so the
  # file would come out whole here either way; on Windows it need not.)
  grep -aq 'pavix: recording stopped after' "$pavix_log" ||
    fail "the recording was not stopped before the program ended"
  check_recording "$file" "$(program_recorded_ms)" close
  note "recording path: $(recording_path), $recorded_codec"
}

case_record_full() {
  start_streaming
  mount_drive_r 64
  local file=$volume/full.avi
  menu_key r
  probe save-as 'R:\full.avi' >/dev/null || fail "the save dialog could not be filled"
  # 64 MB is far less than a minute takes: asked first.
  probe_until 15 box "提示" || fail "not asked about the small room"
  echo "$probe_out"
  grep -q '^text=\[保存位置只剩 [0-9]* MB, 不够录一分钟 (约需 922 MB):' <<<"$probe_out" ||
    fail "the question does not say the room"
  grep -qF 'R:\full.avi' <<<"$probe_out" || fail "the question does not name the file"
  probe answer "提示" yes || fail "cannot answer the question"
  expect_recording

  # Full after a second or two: the recording stops by itself.
  probe_until 60 box "提示" || fail "the user was not told that the recording stopped"
  echo "$probe_out"
  local told=$probe_out
  # One text of three lines: why, what became of the file, the file.
  grep -qxF "text=[保存位置空间不足, 录像已停止。" <<<"$told" || fail "the box does not say the room ran out"
  grep -qxF 'R:\full.avi]' <<<"$told" || fail "the box does not name the file"
  probe responsive 2000 >/dev/null || fail "the window does not answer while it tells"
  expect_line "$(probe status)" "$idle_text"
  # Stopped by the room watch, or by the file writer's refusal (a graph
  # event), whichever came first.
  local stopped_by
  stopped_by=$(grep -a -o -e 'pavix: recording graph event [^\]*' -e 'pavix: the recording.s volume is about to fill' \
                 "$pavix_log" | head -n 1)
  [ -n "$stopped_by" ] || fail "neither the room watch nor a graph event stopped the recording"
  note "stopped by: $stopped_by"
  # Our writer kept the room for the index: the file plays, and the box
  # says so.
  grep -qxF "已录下的部分可以播放:" <<<"$told" || fail "the box does not say that the file plays"
  check_playable "$file" 10
  probe dismiss "提示" || fail "cannot dismiss the box"

  # The graph is whole again: the next recording, on the big disk.
  start_recording "$run/after-full.avi"
  expect_recording
  sleep 3
  stop_recording
  check_recording "$run/after-full.avi" "$recorded_ms" after-full
  probe close || fail "cannot close"
  expect_clean_end
  unmount_drive_r
}

case_record_restart() {
  start_streaming
  mount_drive_r 2048 ro
  menu_key r
  probe save-as 'R:\cannot.avi' >/dev/null || fail "the save dialog could not be filled"
  probe_until 15 box "提示" || fail "the user was not told"
  echo "$probe_out"
  expect_line "$probe_out" "text=[无法开始录像, 请检查保存位置后重试]"
  probe dismiss "提示" || fail "cannot dismiss the box"
  expect_line "$(probe status)" "$idle_text"
  [ -e "$volume/cannot.avi" ] && fail "a file was left on the read-only volume"

  local file=$run/restart.avi
  start_recording "$file"
  expect_recording
  sleep 3
  stop_recording
  check_recording "$file" "$recorded_ms" restart
  note "recording path: $(recording_path), $recorded_codec"
  probe close || fail "cannot close"
  expect_clean_end
  unmount_drive_r
}

case_record_session_end() {
  start_streaming
  probe_until_line 10 "icons=1" tray || fail "no tray icon:"$'\n'"$probe_out"
  local file=$run/session.avi
  start_recording "$file"
  expect_recording
  sleep 3
  local out
  out=$(probe end-session) || fail "the session's end was not answered:"$'\n'"$out"
  note "$(tr '\n' ' ' <<<"$out")"
  expect_line "$out" "query=1"
  expect_line "$(probe tray)" "icons=0"
  # Windows ends the process once the message returned: nothing after it
  # may matter.
  kill -KILL "$pavix_pid" 2>/dev/null
  wait_exit "$pavix_pid" 20
  pavix_pid=""
  wait_exit "$hold_pid" 10
  hold_pid=""
  [ "$(last_held_word)" = "-1" ] ||
    fail "the last frame word was not -1:"$'\n'"$(tail -n 5 "$hold_log")"
  check_recording "$file" "$(program_recorded_ms)" session-end
  note "recording path: $(recording_path), $recorded_codec"
}

case "$case_name" in
  record-menu) case_record_menu ;;
  record-again) case_record_again ;;
  record-in-use) case_record_in_use ;;
  record-close) case_record_close ;;
  record-full) case_record_full ;;
  record-restart) case_record_restart ;;
  record-session-end) case_record_session_end ;;
  *) fail "unknown case $case_name" ;;
esac
echo "PASS: $case_name"
