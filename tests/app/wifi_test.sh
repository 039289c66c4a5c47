#!/usr/bin/env bash
# System tests of the ways pavix.exe learns where the phone is, under 64-bit
# Wine: the phone's UDP notices, the connect dialog, the debug bridge on a
# device arrival or the USB connect command, and the disconnect command;
# also the About box. Uses the prefixes pavix_system_test.sh makes and the
# helpers of live_link_test.sh.
#
#   wifi_test.sh CASE
#
#   announce-group-7788, announce-loopback-7788, announce-group-7790,
#   announce-loopback-7790
#                       no settings file; the simulator announces itself in
#                       the text form, then a second one in the encoded form,
#                       to 233.0.0.1 or 127.0.0.1 on that port: each time the
#                       program connects to the announced port and pictures
#                       flow
#   bad-datagrams       while streaming, 1,600 malformed datagrams on both
#                       ports, each aiming at a decoy phone: the link stays
#                       as it is; a good notice afterwards is still heard
#   spoofed-notices     while streaming, notices sent from 127.0.0.1 naming a
#                       second phone at 127.0.0.2 (both forms, both ports,
#                       group and loopback): nothing changes; the second
#                       phone announcing itself is followed
#   notice-flood        while streaming, 100,000 datagrams at full speed
#                       (malformed ones and notices naming another machine):
#                       the window answers within a second throughout, the
#                       pictures go on, the link stays
#   alternating-phones  two phones announce themselves in turns, 40 times a
#                       second: the link moves at most once every 3 s and
#                       pictures keep coming
#   repeated-notices    a burst of notices for the phone already connected
#                       does not restart the link, nor does its code typed
#                       into the connect dialog (which reports success)
#   connect-refusals    the connect dialog driven as a person would: a
#                       7-character and a non-hex code are refused with the
#                       box, a code with no phone behind it fails after 5 s
#                       and saves nothing, Cancel leaves that endpoint set
#   change-while-connecting
#                       a typed code whose phone answers late, and while the
#                       program still connects there, another phone
#                       announces itself: the link goes to the announcing
#                       phone and stays there when the first one answers;
#                       the dialog reports failure and saves nothing
#   connect-success     the code 7F000001: connected, "连接手机成功！！！",
#                       the endpoint saved, the dialog gone about 6 s after OK
#   about               the About box from the menu and from Alt+?, closed
#                       with OK and with Esc
#   device-arrival      a device arrival with a failing, then a slow
#                       succeeding debug bridge: nothing changes, then the
#                       USB endpoint and pictures; the window answers the
#                       arrival at once and within a second while the bridge
#                       runs
#   usb-connect         the USB connect command: the box when the bridge
#                       fails, the link when it forwards
#   disconnect          the disconnect command drops the link (frame word
#                       -2) and nothing reconnects by itself; a new endpoint
#                       brings it back
#   disconnect-back     after the disconnect command the same phone comes
#                       back through its notice, its typed code, the USB
#                       connect command and a device arrival
#
# Screenshots of the dialogs go to the artefacts folder; the Chinese texts
# on them are checked to be drawn (pavix_probe legible).
#
# Environment (set by CTest): as live_link_test.sh.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=live_link_test.sh
. "$here/live_link_test.sh" "${1:?usage: wifi_test.sh CASE}"

readonly connect_caption="Pavix手动连接"
readonly group=233.0.0.1

# --- helpers ---------------------------------------------------------------------------

# Starts pavix.exe and waits until its message loop runs: the notice
# listeners report to the window by then.
start_listening() {
  start_watched "$@"
  probe_until 20 responsive 1000 || fail "the window does not answer"
}

# Sends notices with the simulator alone: notice_only ADDR:PORT LISTEN [options]
notice_only() {
  local to=$1 listen=$2
  shift 2
  "$PAVIX_PHONESIM" --listen "$listen" --notice "$to" --notice-only "$@" >>"$run/notices.log" 2>&1 ||
    fail "the simulator could not send to $to: $(tail -n 3 "$run/notices.log")"
}

# Connections the simulator of LOG has accepted.
connections() { grep -c 'client .* connected' "$1"; }

wait_connections() {  # LOG COUNT SECONDS
  local end=$((SECONDS + $3))
  until [ "$(connections "$1")" -ge "$2" ]; do
    [ $SECONDS -ge $end ] && fail "no connection $2 to the simulator in $3 s: $(cat "$1")"
    sleep 0.05
  done
}

# The line of control ID in the dialog's description.
control_line() { grep "^control id=$1 " <<<"$dialog_out"; }

describe_dialog() {
  probe_until 10 dialog "$1" || fail "no dialog '$1'"
  dialog_out=$probe_out
}

# Clicks the middle of control ID of the dialog described last, as a person
# would with the mouse.
click_control() {
  local rect x y w h
  rect=$(control_line "$1" | sed -n 's/.* rect=\([-0-9,]*\)$/\1/p')
  [ -n "$rect" ] || fail "no control $1 in:"$'\n'"$dialog_out"
  IFS=, read -r x y w h <<<"$rect"
  xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
}

# Types TEXT into the dialog's code box, replacing what was there.
type_code() {
  click_control 40009
  sleep 0.2
  xdotool key --delay 30 End $(printf 'BackSpace %.0s' $(seq 12))
  xdotool type --delay 60 "$1"
  sleep 0.2
}

wait_control_text() {  # ID TEXT SECONDS
  probe wait-text "$connect_caption" "$1" "$2" "$3" || fail "control $1 did not say '$2'"
}

# A screenshot of the dialog with CAPTION (NAME.png in the artefacts), and
# its Chinese texts checked against FACE at POINTS.
shoot_dialog() {
  local caption=$1 name=$2 face=$3 points=$4
  sleep 0.5  # drawn
  import -window root "$run/screen.bmp" || fail "no screenshot"
  convert "$run/screen.bmp" -type TrueColor "BMP3:$run/screen24.bmp"
  describe_dialog "$caption"
  local rect x y w h
  rect=$(sed -n 's/^dialog rect=//p' <<<"$dialog_out")
  IFS=, read -r x y w h <<<"$rect"
  convert "$run/screen24.bmp" -crop "${w}x${h}+${x}+${y}" +repage "$artefacts/$name.png"
  probe legible "$(winepath_of "$run/screen24.bmp")" "$caption" "$face" "$points" ||
    fail "the texts of '$caption' are not drawn legibly:"$'\n'"$probe_out$(probe legible "$(winepath_of "$run/screen24.bmp")" "$caption" "$face" "$points")"
  note "screenshot $artefacts/$name.png"
}

# The message box CAPTION with TEXT is open, owned by OWNER_CAPTION.
expect_box() {
  local caption=$1 text=$2 owner=$3
  probe_until 10 box "$caption" || fail "no '$caption' box"
  expect_line "$probe_out" "text=[$text]"
  expect_line "$probe_out" "owner caption=[$owner]"
}

# Presses Enter in the open box, as a person would, and waits for it to go.
press_enter_in_box() {
  local caption=$1
  describe_dialog "$caption"
  local rect x y w h
  rect=$(sed -n 's/^dialog rect=//p' <<<"$dialog_out")
  IFS=, read -r x y w h <<<"$rect"
  xdotool mousemove $((x + w / 2)) $((y + 10)) key Return
  probe wait-gone "$caption" 10 >/dev/null || fail "the '$caption' box stayed"
}

no_settings_file() {
  [ ! -e "$run/pavix_cfg.ini" ] || fail "the settings file was written: $(cat "$run/pavix_cfg.ini")"
}

# --- notices ------------------------------------------------------------------------------

case_announce() {
  local to=$1
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_listening
  # Nothing to connect to yet.
  [ "$(max_word)" -le 0 ] || fail "pictures before any notice"

  start_sim sim-text --listen 127.0.0.1:1301 --fps 30 --notice "$to" --notice-form text --seed 1
  grep 'notice sent' "$sim_log"
  local text_sim=$sim_log
  wait_connections "$text_sim" 1 15
  wait_word_at_least 10 15
  expect_connected_look
  local words
  words=$(max_word)

  # The phone moves: a second simulator announces itself in the encoded
  # form, and the link follows it.
  # It repeats its notice, as a phone does: a move by notice within 3 s of
  # the last one waits for the next.
  start_sim sim-encoded --listen 127.0.0.1:1302 --fps 30 --notice "$to" --notice-form encoded --seed 2 \
    --notice-repeat 10 --notice-interval 1000
  grep 'notice sent' "$sim_log"
  wait_connections "$sim_log" 1 15
  wait_word_at_least $((words + 30)) 15
  grep -q 'connection ended' "$text_sim" || fail "the first phone's link was not dropped: $(cat "$text_sim")"
  [ "$(connections "$text_sim")" -eq 1 ] || fail "the first phone was connected again: $(cat "$text_sim")"
  check_rising
  no_settings_file
  close_promptly
}

case_bad_datagrams() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  wait_word_at_least 30 15
  # A decoy phone that every malformed datagram aims at: were any taken,
  # the link would move there.
  start_sim decoy --listen 127.0.0.1:1303 --fps 30 --seed 2
  local decoy_log=$sim_log
  local lines
  lines=$(wc -l <"$hold_log")
  local to seed=10
  for to in 127.0.0.1:7788 $group:7788 127.0.0.1:7790 $group:7790; do
    notice_only "$to" 127.0.0.1:1303 --bad-notices 400 --notice-interval 1 --seed $seed
    seed=$((seed + 1))
  done
  note "$(grep -c 'malformed notices sent' "$run/notices.log") series of malformed datagrams sent"
  sleep 4  # a link moved would have dropped by now
  probe responsive 2000 || fail "the window does not answer"
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$decoy_log")" -eq 0 ] || fail "a malformed datagram moved the link: $(cat "$decoy_log")"
  [ "$(connections "$phone_log")" -eq 1 ] || fail "the link was made again: $(cat "$phone_log")"
  check_rising strict

  # Still listening: a good notice for the decoy moves the link there.
  notice_only 127.0.0.1:7788 127.0.0.1:1303
  wait_connections "$decoy_log" 1 15
  close_promptly
}

# Notices naming another machine than their sender: a second phone listens
# at 127.0.0.2, and would be connected were any of them taken.
case_spoofed_notices() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  wait_word_at_least 30 15
  start_sim other --listen 127.0.0.2:$port --fps 30 --seed 2
  local other_log=$sim_log
  local lines
  lines=$(wc -l <"$hold_log")
  local to form
  for to in 127.0.0.1:7788 $group:7788 127.0.0.1:7790 $group:7790; do
    for form in text encoded; do
      notice_only "$to" 127.0.0.2:$port --notice-from 127.0.0.1 --notice-form $form \
        --notice-repeat 5 --notice-interval 100
    done
  done
  note "$(grep -c 'notice sent' "$run/notices.log") series of notices naming 127.0.0.2 sent from 127.0.0.1"
  sleep 4  # a link moved would have dropped by now
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$other_log")" -eq 0 ] || fail "a notice moved the link to 127.0.0.2: $(cat "$other_log")"
  [ "$(connections "$phone_log")" -eq 1 ] || fail "the link was made again: $(cat "$phone_log")"
  check_rising strict

  # The second phone announcing itself is followed.
  notice_only $group:7790 127.0.0.2:$port --notice-from 127.0.0.2 --notice-form encoded
  wait_connections "$other_log" 1 15
  local top
  top=$(max_word)
  wait_word_at_least $((top + 30)) 15
  close_promptly
}

case_notice_flood() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  wait_word_at_least 30 15
  start_sim other --listen 127.0.0.2:$port --fps 30 --seed 2
  local other_log=$sim_log
  local lines
  lines=$(wc -l <"$hold_log")
  # 4 x 25,000: malformed datagrams aiming at 127.0.0.2 and good notices
  # naming it, from 127.0.0.1, to both ports, as fast as they go.
  local senders=()
  notice_only 127.0.0.1:7788 127.0.0.2:$port --bad-notices 25000 --notice-interval 0 --seed 3 &
  senders+=($!)
  notice_only $group:7790 127.0.0.2:$port --bad-notices 25000 --notice-interval 0 --seed 4 &
  senders+=($!)
  notice_only $group:7788 127.0.0.2:$port --notice-from 127.0.0.1 --notice-form encoded \
    --notice-repeat 25000 --notice-interval 0 &
  senders+=($!)
  notice_only 127.0.0.1:7790 127.0.0.2:$port --notice-from 127.0.0.1 \
    --notice-repeat 25000 --notice-interval 0 &
  senders+=($!)
  local start_ms answers=0 sender running=1
  start_ms=$(now_ms)
  while [ $running -eq 1 ]; do
    probe responsive 1000 >/dev/null || fail "the window did not answer within a second during the flood"
    answers=$((answers + 1))
    running=0
    for sender in "${senders[@]}"; do kill -0 "$sender" 2>/dev/null && running=1; done
    [ $(($(now_ms) - start_ms)) -gt 120000 ] && fail "the flood did not end in 120 s"
  done
  for sender in "${senders[@]}"; do wait "$sender" || fail "a flood series was not sent"; done
  note "100,000 datagrams sent in $(($(now_ms) - start_ms)) ms; the window answered $answers times meanwhile"
  local top
  top=$(max_word)
  wait_word_at_least $((top + 30)) 15
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$other_log")" -eq 0 ] || fail "the flood moved the link: $(cat "$other_log")"
  [ "$(connections "$phone_log")" -eq 1 ] || fail "the link was made again: $(cat "$phone_log")"
  check_rising strict
  expect_connected_look
  close_promptly
}

# Two phones (the second could be anybody announcing itself without
# serving) take turns announcing, 40 times a second: each notice would cut
# the link were it taken, and the camera would stay dark.
case_alternating_phones() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  notice_only $group:7788 127.0.0.1:$port
  wait_word_at_least 30 15
  local top
  top=$(max_word)
  local seconds=15 senders=()
  notice_only $group:7788 127.0.0.2:$port --notice-from 127.0.0.2 \
    --notice-repeat $((seconds * 20)) --notice-interval 50 &
  senders+=($!)
  sleep 0.025
  notice_only $group:7788 127.0.0.1:$port --notice-from 127.0.0.1 \
    --notice-repeat $((seconds * 20)) --notice-interval 50 &
  senders+=($!)
  local sender
  for sender in "${senders[@]}"; do wait "$sender" || fail "a notice series was not sent"; done
  local pictures=$(($(max_word) - top)) made
  made=$(connections "$phone_log")
  note "while two phones took turns for $seconds s: $pictures pictures, $made connections to the streaming one"
  # The link moves at most once every 3 s: about half the time on the
  # streaming phone, at 30 pictures a second.
  [ "$made" -le $((seconds / 3 + 2)) ] || fail "the link moved $made times in $seconds s"
  [ "$pictures" -ge $((seconds * 30 / 6)) ] || fail "only $pictures pictures in $seconds s"
  # Once the turns are over, the streaming phone's notice is followed (the
  # last move may have been less than 3 s ago: it repeats its notice).
  notice_only 127.0.0.1:7788 127.0.0.1:$port --notice-repeat 5 --notice-interval 1000
  wait_word_at_least $(($(max_word) + 30)) 15
  check_rising
  close_promptly
}

case_repeated_notices() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  notice_only $group:7788 127.0.0.1:$port
  wait_word_at_least 30 15
  local lines
  lines=$(wc -l <"$hold_log")
  # The phone keeps announcing itself, in both forms, on both ports; as
  # the text form of a second port equal to the port means port + 1.
  local to senders=()
  for to in $group:7788 127.0.0.1:7788 $group:7790 127.0.0.1:7790; do
    notice_only "$to" 127.0.0.1:$port --notice-repeat 50 --notice-interval 5 --notice-form text &
    senders+=($!)
    notice_only "$to" 127.0.0.1:$port --notice-repeat 50 --notice-interval 5 --notice-form encoded &
    senders+=($!)
  done
  notice_only $group:7788 127.0.0.1:$port --notice-text "ppp:9:$port:$port:7F000001" --notice-repeat 50 --notice-interval 5
  local sender
  for sender in "${senders[@]}"; do wait "$sender" || fail "a notice series was not sent"; done
  note "$(grep -c 'notice sent' "$run/notices.log") series of 50 notices sent"
  sleep 4
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$phone_log")" -eq 1 ] || fail "the link was made again: $(cat "$phone_log")"
  check_rising strict

  # The code of the phone already connected: nothing changes, and the
  # dialog tells success, saves and closes.
  open_connect_dialog
  type_code 7f000001
  click_control 1
  wait_control_text 40013 "连接手机成功！！！" 10
  probe wait-gone "$connect_caption" 10 || fail "the dialog did not close by itself"
  [ "$(cat "$run/pavix_cfg.ini" 2>/dev/null)" = "127.0.0.1:1234:1235" ] ||
    fail "the settings file holds '$(cat "$run/pavix_cfg.ini" 2>/dev/null)'"
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$phone_log")" -eq 1 ] || fail "the code made the link again: $(cat "$phone_log")"
  check_rising strict
  close_promptly
}

# --- the connect dialog ------------------------------------------------------------------

open_connect_dialog() {
  probe post-command 40014 || fail "cannot send the Wi-Fi connect command"
  describe_dialog "$connect_caption"
  echo "$dialog_out"
  expect_line "$dialog_out" "owner=main"
  control_line 40008 | grep -qF 'class=Static text=[请输入手机验证码:] visible=1' || fail "no prompt"
  control_line 40009 | grep -qF 'class=Edit text=[] visible=1' || fail "no empty code box"
  control_line 1 | grep -qF 'class=Button text=[确定] visible=1' || fail "no OK button"
  control_line 2 | grep -qF 'class=Button text=[取消] visible=1' || fail "no Cancel button"
  control_line 40013 | grep -qF 'class=Static text=[连接成功] visible=0' || fail "the progress line shows"
}

# Types CODE and presses OK: the box refuses it, and nothing else happens.
expect_refused_code() {
  local code=$1
  type_code "$code"
  click_control 1
  expect_box "提示" "请输入正确的验证码" "$connect_caption"
  [ -n "${2:-}" ] && { sleep 0.3; import -window root "$artefacts/connect-refused-box.png"; }
  press_enter_in_box "提示"
  describe_dialog "$connect_caption"
  control_line 40013 | grep -q ' visible=0 ' || fail "the code '$code' started a connection"
}

case_connect_refusals() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  open_connect_dialog
  shoot_dialog "$connect_caption" connect-dialog "MS Shell Dlg 2" 8

  expect_refused_code 7F00000 shoot
  # '?' counts as 15 by digit arithmetic: taken as it is, this code would
  # stand for 127.0.0.1, where the phone listens.
  expect_refused_code '7?000001'
  expect_refused_code 7F0000010

  # No phone at 127.0.0.2.
  type_code 7F000002
  click_control 1
  local ok_ms
  ok_ms=$(now_ms)
  wait_control_text 40013 "正在连接手机..." 3
  wait_control_text 40013 "连接手机失败，请检查网络和验证码" 10
  local took=$(($(now_ms) - ok_ms))
  note "the failure was told $took ms after OK"
  [ "$took" -ge 4500 ] || fail "judged after $took ms, not 5 s"
  shoot_dialog "$connect_caption" connect-failed "MS Shell Dlg 2" 8
  no_settings_file
  [ "$(connections "$phone_log")" -eq 0 ] || fail "a refused code connected: $(cat "$phone_log")"

  # Cancel: the dialog goes, the endpoint stays: a phone that turns up at
  # 127.0.0.2 is connected.
  describe_dialog "$connect_caption"
  click_control 2
  probe wait-gone "$connect_caption" 10 || fail "Cancel did not close the dialog"
  start_sim late --listen 127.0.0.2:$port --fps 30 --seed 2
  wait_connections "$sim_log" 1 15
  wait_word_at_least 10 15
  no_settings_file
  [ "$(connections "$phone_log")" -eq 0 ] || fail "the refused codes' phone was connected"
  close_promptly
}

case_change_while_connecting() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim other --listen 127.0.0.1:1301 --fps 30 --seed 2
  local other_log=$sim_log
  # A phone at 127.0.0.3 whose queue is full: a connection attempt there
  # hangs until it is released; then it accepts and keeps sending bytes, so
  # that a link made there would never be lost by itself.
  /usr/bin/python3 -c '
import os, select, socket, sys, time
port, release = int(sys.argv[1]), sys.argv[2]
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("127.0.0.3", port))
s.listen(0)
filler = socket.create_connection(("127.0.0.3", port))
print("full", flush=True)
while not os.path.exists(release):
    time.sleep(0.02)
s.setblocking(False)
peers = []
while True:
    if select.select([s], [], [], 0.05)[0]:
        c, peer = s.accept()
        print("accepted", peer, flush=True)
        peers.append(c)
    for c in peers:
        try:
            c.send(b"\0" * 64)
        except OSError:
            peers.remove(c)' $port "$run/release" >"$run/late.log" 2>&1 &
  extra_pids+=($!)
  local end=$((SECONDS + 10))
  until grep -q full "$run/late.log"; do
    [ $SECONDS -ge $end ] && fail "the late phone did not start: $(cat "$run/late.log")"
    sleep 0.05
  done
  start_listening
  open_connect_dialog
  type_code 7F000003
  click_control 1
  end=$((SECONDS + 15))
  until [ -n "$(ss -Htn state syn-sent "( dst 127.0.0.3 and dport = :$port )")" ]; do
    [ $SECONDS -ge $end ] && fail "no connection attempt to 127.0.0.3 was seen"
    sleep 0.05
  done
  note "connecting to the typed code's phone"
  notice_only 127.0.0.1:7788 127.0.0.1:1301
  touch "$run/release"
  wait_connections "$other_log" 1 10
  wait_word_at_least 30 15
  wait_control_text 40013 "连接手机失败，请检查网络和验证码" 10
  no_settings_file
  local lines
  lines=$(wc -l <"$hold_log")
  sleep 3
  tail -n +"$lines" "$hold_log" | awk '$2 <= 0 { exit 1 }' || fail "the link dropped (frame word $(last_held_word))"
  [ "$(connections "$other_log")" -eq 1 ] || fail "the link was made again: $(cat "$other_log")"
  note "the late phone: $(grep -c accepted "$run/late.log") connections accepted"
  check_rising
  describe_dialog "$connect_caption"
  click_control 2
  probe wait-gone "$connect_caption" 10 || fail "Cancel did not close the dialog"
  close_promptly
}

case_connect_success() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_sim sim --fps 30 --seed 1
  start_listening
  open_connect_dialog
  type_code 7F000001
  click_control 1
  local ok_ms
  ok_ms=$(now_ms)
  wait_control_text 40013 "正在连接手机..." 3
  shoot_dialog "$connect_caption" connect-connecting "MS Shell Dlg 2" 8
  wait_word_at_least 1 10
  wait_control_text 40013 "连接手机成功！！！" 10
  # Shown for a second only: the screenshot, without the check.
  import -window root "$run/success.png" && convert "$run/success.png" -crop 400x300+60+80 +repage \
    "$artefacts/connect-success.png"
  probe wait-gone "$connect_caption" 10 || fail "the dialog did not close by itself"
  local took=$(($(now_ms) - ok_ms))
  note "the dialog closed $took ms after OK"
  [ "$took" -ge 5500 ] && [ "$took" -le 9000 ] || fail "closed $took ms after OK, not about 6 s"
  [ "$(cat "$run/pavix_cfg.ini" 2>/dev/null)" = "127.0.0.1:1234:1235" ] ||
    fail "the settings file holds '$(cat "$run/pavix_cfg.ini" 2>/dev/null)'"
  wait_word_at_least 60 15
  check_rising
  close_promptly
}

# --- About ------------------------------------------------------------------------------

expect_about() {
  describe_dialog "About"
  echo "$dialog_out"
  expect_line "$dialog_out" "owner=main"
  grep -qF 'class=Static text=[Pavix Version 5.0] visible=1' <<<"$dialog_out" || fail "no product line"
  grep -qF 'class=Button text=[OK] visible=1' <<<"$dialog_out" || fail "no OK button"
}

case_about() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  start_listening
  # From the menu: a right click on the picture, then its mnemonic A.
  probe move 200 80 || fail "cannot move the window"
  sleep 0.3
  xdotool mousemove 450 280 click 3
  probe_until 10 popup-menus || fail "the right click opened no menu"
  xdotool key a
  expect_about
  # A bitmap face: the Chinese characters come from the linked font.
  shoot_dialog "About" about "MS Sans Serif" 8
  click_control 1
  probe wait-gone "About" 10 || fail "OK did not close the About box"

  # Alt+? over the main window.
  xdotool mousemove 450 280 key alt+question
  expect_about
  xdotool key Escape
  probe wait-gone "About" 10 || fail "Esc did not close the About box"
  probe responsive 2000 || fail "the window does not answer"
  close_promptly
}

# --- the debug bridge ----------------------------------------------------------------------

# The next forward run of the bridge stand-in behaves as BEHAVIOUR; the
# others fail as "no device". Waits for a run of the supervisor first, so
# that the next one is the window's (the supervisor's comes 3 s later).
next_forward() {
  local runs
  runs=$(adb_runs | wc -l)
  wait_adb_runs $((runs + 1)) 15
  printf '%s\n' "$1" >"$run/adb-once"
}

case_device_arrival() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD="print:error: no devices/emulators found" FAKE_ADB_START= FAKE_ADB_INSTALL=
  export FAKE_ADB_ONCE
  FAKE_ADB_ONCE=$(winepath_of "$run/adb-once")
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening --exe "$run/pavix.exe"

  # The bridge fails: nothing changes.
  next_forward "print:error: device offline"
  probe device-event 0x8000 || fail "cannot send the device arrival"
  sleep 5
  [ ! -e "$run/adb-once" ] || fail "the device arrival did not run the bridge"
  [ "$(connections "$phone_log")" -eq 0 ] || fail "a failed forward connected"
  [ "$(max_word)" -le 0 ] || fail "pictures after a failed forward"

  # The bridge takes 3 s, then forwards: the window answers meanwhile, and
  # then the link comes up on the forwarded port.
  next_forward "pause:3000"
  local answer
  answer=$(probe device-event 0x8000) || fail "cannot send the device arrival"
  note "device arrival: $answer"
  # A second is far more than a loaded machine needs, far less than the
  # bridge's 3 s on the window's thread.
  [[ $answer =~ ^answered\ after\ ([0-9]+)\ ms ]] && [ "${BASH_REMATCH[1]}" -le 1000 ] ||
    fail "the window took long over the device arrival: $answer"
  # Each look that the bridge outlived was answered while it ran; a loaded
  # machine may take most of its 3 s over starting the first look.
  local i looks_while_running=0
  for i in 1 2 3 4; do
    probe responsive 1000 || fail "the window did not answer within a second while the bridge ran"
    [ -n "$(adb_child_pids)" ] && looks_while_running=$((looks_while_running + 1))
    sleep 0.2
  done
  [ "$looks_while_running" -ge 1 ] || fail "the bridge was not running while the window answered"
  # Other device events are not arrivals.
  probe device-event 0x8004 || fail "cannot send a device removal"
  wait_connections "$phone_log" 1 15
  wait_word_at_least 30 15
  # The window's forward does not start the phone app.
  adb_runs | grep -q '^shell' && fail "the phone app was started: $(adb_runs)"
  close_promptly
}

case_usb_connect() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD="print:error: no devices/emulators found" FAKE_ADB_START= FAKE_ADB_INSTALL=
  export FAKE_ADB_ONCE
  FAKE_ADB_ONCE=$(winepath_of "$run/adb-once")
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening --exe "$run/pavix.exe"

  # The menu holds the command; it fails with the box.
  xdotool mousemove 450 280
  next_forward "print:error: no devices/emulators found"
  probe post-command 40015 || fail "cannot send the USB connect command"
  expect_box "Pavix5.0" "请将手机USB线连接到电脑，并确保手机已打开USB调试模式" "Pavix5.0"
  sleep 0.3
  import -window root "$artefacts/usb-failed-box.png"
  probe dismiss "Pavix5.0" || fail "cannot dismiss the box"
  [ "$(connections "$phone_log")" -eq 0 ] || fail "a failed forward connected"

  next_forward ""
  probe post-command 40015 || fail "cannot send the USB connect command"
  wait_connections "$phone_log" 1 15
  wait_word_at_least 30 15
  probe box "Pavix5.0" >/dev/null && fail "a box after a working forward"
  close_promptly
}

case_disconnect() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening
  wait_word_at_least 30 15
  expect_connected_look
  local lines
  lines=$(wc -l <"$hold_log")
  probe post-command 32774 || fail "cannot send the disconnect command"
  wait_word_seen -2 15 "$lines"
  expect_unconnected_look
  grep -q 'connection ended' "$phone_log" || fail "the link was not dropped: $(cat "$phone_log")"
  # The phone still listens, but nothing reconnects by itself.
  local top
  top=$(max_word)
  sleep 7
  [ "$(connections "$phone_log")" -eq 1 ] || fail "reconnected without a new endpoint: $(cat "$phone_log")"
  [ "$(max_word)" -eq "$top" ] || fail "pictures after the disconnect"
  # A new endpoint brings the link back.
  start_sim second --listen 127.0.0.1:1304 --fps 30 --seed 2 --notice 127.0.0.1:7788
  wait_connections "$sim_log" 1 15
  wait_word_at_least $((top + 10)) 15
  close_promptly
}

# After the disconnect command every way the user has of asking for the same
# phone brings the link back: its notice, its code, the USB connect command
# and a device arrival (the debug bridge forwards to the same port).
case_disconnect_back() {
  use_prefix "$prefix_with_filter"
  make_run_dir
  setup_debug_bridge
  export FAKE_ADB_FORWARD="print:error: no devices/emulators found" FAKE_ADB_START= FAKE_ADB_INSTALL=
  export FAKE_ADB_ONCE
  FAKE_ADB_ONCE=$(winepath_of "$run/adb-once")
  store_endpoint $port 1235
  start_sim sim --fps 30 --seed 1
  local phone_log=$sim_log
  start_listening --exe "$run/pavix.exe"
  wait_word_at_least 30 15
  rm -f "$run/pavix_cfg.ini"  # read at the start only: the dialog writes it again
  local way made=1 lines
  for way in notice code usb-connect device-arrival; do
    lines=$(wc -l <"$hold_log")
    probe post-command 32774 || fail "cannot send the disconnect command"
    wait_word_seen -2 15 "$lines"
    sleep 1
    [ "$(connections "$phone_log")" -eq $made ] || fail "reconnected by itself: $(cat "$phone_log")"
    case $way in
      notice) notice_only $group:7788 127.0.0.1:$port ;;
      code)
        open_connect_dialog
        type_code 7F000001
        click_control 1
        wait_control_text 40013 "连接手机成功！！！" 10
        probe wait-gone "$connect_caption" 10 || fail "the dialog did not close by itself"
        ;;
      usb-connect)
        next_forward ""
        probe post-command 40015 || fail "cannot send the USB connect command"
        ;;
      device-arrival)
        next_forward ""
        probe device-event 0x8000 || fail "cannot send the device arrival"
        ;;
    esac
    made=$((made + 1))
    wait_connections "$phone_log" $made 15
    local top
    top=$(max_word)
    wait_word_at_least $((top + 10)) 15
    note "$way: connected again"
  done
  [ "$(cat "$run/pavix_cfg.ini" 2>/dev/null)" = "127.0.0.1:1234:1235" ] ||
    fail "the settings file holds '$(cat "$run/pavix_cfg.ini" 2>/dev/null)'"
  close_promptly
}

case "$case_name" in
  announce-group-7788) case_announce $group:7788 ;;
  announce-loopback-7788) case_announce 127.0.0.1:7788 ;;
  announce-group-7790) case_announce $group:7790 ;;
  announce-loopback-7790) case_announce 127.0.0.1:7790 ;;
  bad-datagrams) case_bad_datagrams ;;
  spoofed-notices) case_spoofed_notices ;;
  notice-flood) case_notice_flood ;;
  alternating-phones) case_alternating_phones ;;
  repeated-notices) case_repeated_notices ;;
  connect-refusals) case_connect_refusals ;;
  change-while-connecting) case_change_while_connecting ;;
  connect-success) case_connect_success ;;
  about) case_about ;;
  device-arrival) case_device_arrival ;;
  usb-connect) case_usb_connect ;;
  disconnect) case_disconnect ;;
  disconnect-back) case_disconnect_back ;;
  *) fail "unknown case $case_name" ;;
esac
status=$?
[ $status -eq 0 ] || fail "the case broke off with status $status"
echo "PASS: $case_name"
