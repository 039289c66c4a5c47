#!/usr/bin/env bash
# System tests of pavix.exe under 64-bit Wine: the program is started as a
# user would start it and watched from outside (pavix_probe.exe, the shared
# block, the X display).
#
#   pavix_system_test.sh CASE
#
#   teardown             ends whatever still runs in the test prefixes
#   setup                the test prefixes: fresh, with the fonts linked for
#                        Chinese texts, Wine drawing the window captions, a
#                        recording stand-in for the web browser, and the
#                        camera filter registered (a second prefix without it)
#   start                idle picture in the shared block (frame word 0), the
#                        window, status bar, tray icon and menu, screenshots,
#                        then the close box: exit code 0, frame word -1
#   exit-command         the Exit command: exit code 0, frame word -1
#   second-instance      a second start ends with -1 at once, creates no
#                        window and restores the first one from the tray
#   no-filter            without the camera filter: the message box, then -1
#   update-yes           the update server's body "1" arms the new-version
#                        path; the request bytes are checked
#   update-0, update-10, update-line-end, update-no-empty-line
#                        other replies leave it unarmed
#   update-silent        while a server that never answers is waited for,
#                        the window answers every look within a second (a
#                        check on the window's thread would hold it 3 s)
#   taskbar-created      the tray icon comes back after the taskbar restarts
#   dll-directory        the current directory is taken out of the DLL
#                        search order first thing
#
# Environment (set by CTest): PAVIX_EXE, PAVIX_PROBE, PAVIX_FILTER,
# PAVIX_TEST_DIR (work folder in the build tree), PAVIX_IDLE_BMP (the idle
# picture's source), PAVIX_UPDATE_SERVER (update_server.py).
# Must run inside scripts/in-netns.sh (private network, Xvfb), as root.
set -uo pipefail

readonly case_name=${1:?usage: pavix_system_test.sh CASE}
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=system_test_lib.sh
. "$here/system_test_lib.sh"
readonly update_host=update.pavix.example
readonly receive_limit_ms=3000
# How long a look at the window may go unanswered: far more than a loaded
# machine running two Wine tests at once needs, far less than the 3 s a
# check waiting on the window's thread would hold it.
readonly answer_limit_ms=1000

# --- setup -------------------------------------------------------------------------

case_setup() {
  rm -rf "$prefix_with_filter" "$prefix_without_filter" "$artefacts"
  mkdir -p "$prefix_with_filter" "$artefacts"
  note "creating a fresh prefix"
  make_pavix_prefix "$prefix_with_filter"
  # Web pages go to a stand-in that only records the address.
  cat >"$dir/browser.sh" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$dir/browser.log"
EOF
  chmod +x "$dir/browser.sh"
  "$wine" reg add 'HKCU\Software\Wine\WineBrowser' /v Browsers /d "$dir/browser.sh" /f \
    >/dev/null 2>&1 || fail "reg add WineBrowser"
  "$wineserver" -w
  cp -a "$prefix_with_filter" "$prefix_without_filter"
  note "registering the camera filter"
  register_filter
  probe glyphs || fail "the UI fonts of the prefix cannot draw Chinese"
  # The texts must not depend on a Chinese code page: the tests run without one.
  local page
  page=$(probe codepage)
  note "$page"
  [ "$page" != "ansi code page=936" ] || fail "the prefix runs with the Chinese code page"
}

case_teardown() {
  local prefix
  for prefix in "$prefix_with_filter" "$prefix_without_filter"; do
    [ -d "$prefix" ] || continue
    use_prefix "$prefix"
    "$wineserver" -k 2>/dev/null
    "$wineserver" -w 2>/dev/null
  done
  return 0
}

# --- start ---------------------------------------------------------------------------

check_window() {
  local out
  out=$(probe window) || fail "no main window"
  echo "$out"
  expect_line "$out" "title=Pavix5.0"
  expect_line "$out" "size=495x445"
  expect_line "$out" "visible=1 iconic=0"
  expect_line "$out" "caption=1 minimizebox=1 maximizebox=0 sizing=0"
  expect_line "$out" "child class=Static id=0 size=495x391 visible=1"
  grep -q '^child class=msctls_statusbar32 id=1 ' <<<"$out" || fail "no status bar"

  out=$(probe status) || fail "cannot read the status bar"
  echo "$out"
  expect_line "$out" "parts=3 edges=100,180,-1"
  # The start-up text, or the same with the space of the waiting state once
  # the connection supervisor has begun its first cycle.
  grep -qxE -- 'part0=\[没有连上手机 ?\]' <<<"$out" || fail "part 0 is not the unconnected text"
  expect_line "$out" "part1=[]"
  expect_line "$out" "part2=[]"
  expect_line "$out" "icon0=1"

  probe_until_line 10 "icons=1" tray || fail "no tray icon:"$'\n'"$probe_out"
  echo "$probe_out"
  expect_line "$probe_out" "tip=[Rovo - 没有连上手机]"

  out=$(probe menu "$(winepath_of "$PAVIX_EXE")") || fail "cannot read the menu"
  echo "$out"
  [ "$out" = "$(printf '%s\n' \
    'popup=[菜单]' \
    'item 1 id=40014 text=[(&W)无线连接（Wifi）]' \
    'item 2 id=40015 text=[(&U)有线连接（USB）]' \
    'item 3 id=32774 text=[(&C)断开连接]' \
    'item 4 separator' \
    'item 5 id=32772 text=[(&R)开始录像]' \
    'item 6 id=32773 text=[(&S)停止录像]' \
    'item 7 separator' \
    'item 8 id=40002 text=[(&D)软件升级]' \
    'item 9 id=104 text=[(&A)关于 ...]' \
    'item 10 id=106 text=[(&H)帮助 ...]' \
    'item 11 separator' \
    'item 12 id=105 text=[(&E)退出]')" ] || fail "the function menu differs"
}

take_screenshots() {
  # Out of the way of Wine's own tray window in the top left corner.
  local x=200 y=80
  probe move $x $y || fail "cannot move the window"
  sleep 0.3
  import -window root "$dir/screen.png" || fail "no screenshot"
  convert "$dir/screen.png" -crop 495x445+$x+$y +repage "$artefacts/pavix-window.png"
  # The function menu, opened as the user does: a right click on the picture.
  xdotool mousemove $((x + 250)) $((y + 200)) click 3
  probe_until 10 popup-menus || fail "the right click opened no menu"
  import -window root "$dir/screen-menu.png"
  convert "$dir/screen-menu.png" -crop 700x600+$x+$y +repage "$artefacts/pavix-menu.png"
  xdotool key Escape
  local end=$((SECONDS + 10))
  while probe popup-menus >/dev/null; do
    [ $SECONDS -ge $end ] && fail "the menu did not close"
    sleep 0.1
  done
  note "screenshots in $artefacts"
}

case_start() {
  use_prefix "$prefix_with_filter"
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  local word
  word=$(probe frame-word) || fail "cannot read the frame word"
  [ "$word" = "frame word=0" ] || fail "after start-up: $word, not 0"
  check_shared_picture
  check_window
  take_screenshots
  # Wine reports a Windows 10 build and has no mfsensorgroup.dll: the
  # Windows 11 camera is not published, the debug text says why, and the
  # program goes on as before.
  local end=$((SECONDS + 20))
  until grep -aq 'pavix: Windows camera not published: Windows build [0-9]* is older than 22000' \
      "$pavix_log"; do
    [ $SECONDS -ge $end ] &&
      fail "no debug text on the Windows camera:"$'\n'"$(grep -a 'Windows camera' "$pavix_log")"
    sleep 0.1
  done
  probe close || fail "cannot press the close box"
  expect_clean_end
  probe_until_line 10 "icons=0" tray || fail "the tray icon stayed:"$'\n'"$probe_out"
}

# Explorer restarted: the icon is gone until the program adds it again on
# "TaskbarCreated", in the state it showed.
case_taskbar_created() {
  use_prefix "$prefix_with_filter"
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  probe_until_line 10 "icons=1" tray || fail "no tray icon:"$'\n'"$probe_out"
  local before
  before=$(probe tray | grep '^tip=')
  probe drop-tray-icon || fail "cannot remove the tray icon"
  probe_until_line 10 "icons=0" tray || fail "the tray icon stayed:"$'\n'"$probe_out"
  probe taskbar-created || fail "cannot send TaskbarCreated"
  probe_until_line 10 "icons=1" tray || fail "the tray icon did not come back:"$'\n'"$probe_out"
  expect_line "$probe_out" "$before"
  probe post-command 105 || fail "cannot send the Exit command"
  expect_clean_end
}

case_exit_command() {
  use_prefix "$prefix_with_filter"
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  probe post-command 105 || fail "cannot send the Exit command"
  expect_clean_end
}

case_second_instance() {
  use_prefix "$prefix_with_filter"
  start_hold
  start_pavix
  local first=$pavix_pid
  probe_until 30 wait-window 1 || fail "no main window appeared"
  probe minimize || fail "cannot minimise"
  probe wait-hidden 10 || fail "minimised, the window did not hide"

  local begin=$SECONDS rc
  ( cd "$dir" && WINEDEBUG=-all exec "$wine" "$PAVIX_EXE" )
  rc=$?
  note "the second start ended with $rc after $((SECONDS - begin)) s"
  [ $rc -eq 255 ] || fail "the second start ended with $rc, not -1"
  [ $((SECONDS - begin)) -le 10 ] || fail "the second start took too long"
  local out
  out=$(probe count-windows)
  expect_line "$out" "main windows=1"
  # The second start left the shared block alone.
  expect_line "$(cat "$hold_log")" "frame word=0"
  [ "$(wc -l <"$hold_log")" -eq 1 ] || fail "the frame word changed:"$'\n'"$(cat "$hold_log")"
  probe wait-shown 10 || fail "the first instance's window was not restored"
  kill -0 "$first" 2>/dev/null || fail "the first instance is gone"
  probe responsive 2000 || fail "the first instance does not answer"
  probe post-command 105 || fail "cannot send the Exit command"
  expect_clean_end
}

case_no_filter() {
  use_prefix "$prefix_without_filter"
  start_pavix
  probe_until 30 box "Pavix 通知" || fail "no message box"
  echo "$probe_out"
  expect_line "$probe_out" "owner=none"
  expect_line "$probe_out" "text=[安装程序失败, 请联系开发者]"
  local out
  out=$(probe count-windows)
  expect_line "$out" "main windows=0"
  probe dismiss "Pavix 通知" || fail "cannot dismiss the message box"
  wait_exit "$pavix_pid" 20
  local rc=$?
  pavix_pid=""
  [ $rc -eq 255 ] || fail "ended with $rc, not -1"
}

# The first thing pavix.exe does: take the current directory out of the DLL
# search order. Wine's loader keeps looking there either way, so the call
# itself is watched (Wine's relay trace of it): an empty path, never a null
# one (which restores the default order, current directory included).
case_dll_directory() {
  PAVIX_TEST_WINEDEBUG=-all,+debugstr,+relay
  use_prefix "$prefix_with_filter"
  "$wine" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'kernel32.SetDllDirectoryW' /f \
    >/dev/null 2>&1 || fail "cannot set the relay filter"
  "$wineserver" -w
  start_hold
  start_pavix
  probe_until 30 wait-window 1 || fail "no main window appeared"
  probe post-command 105 || fail "cannot send the Exit command"
  expect_clean_end
  "$wine" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1
  local calls
  calls=$(grep -a 'Call KERNEL32.SetDllDirectoryW' "$pavix_log")
  note "calls: $calls"
  [ -n "$calls" ] || fail "pavix.exe never set the DLL directory"
  grep -q 'SetDllDirectoryW(00000000)' <<<"$calls" &&
    fail "pavix.exe restored the default DLL search order (current directory included)"
  grep -q 'L""' <<<"$calls" || fail "pavix.exe did not set an empty DLL directory"
  return 0
}

# --- update check ------------------------------------------------------------------

# Starts the stand-in update server on port 80 with update_host resolving to
# it, then pavix.exe, and waits until the server has the request: the update
# check ran, and pavix.exe now waits for the answer. $1: the reply's bytes as
# printf format, or "--silent". Sets request_seen_ms.
start_with_update_server() {
  local reply=$1
  rm -f "$dir/request.bin" "$dir/server-ready" "$dir/browser.log"
  printf '127.0.0.1\tlocalhost\n127.0.0.1\t%s\n' "$update_host" >"$dir/hosts"
  local answer=(--silent)
  [ "$reply" != "--silent" ] && answer=(--reply "$(printf "$reply" | od -An -v -tx1 | tr -d ' \n')")
  /usr/bin/python3 "$PAVIX_UPDATE_SERVER" --port 80 --request "$dir/request.bin" \
    --ready "$dir/server-ready" "${answer[@]}" &
  server_pid=$!
  local end=$((SECONDS + 10))
  until [ -e "$dir/server-ready" ]; do
    [ $SECONDS -ge $end ] && fail "the update server did not start"
    sleep 0.05
  done
  start_pavix --hosts "$dir/hosts"
  end=$((SECONDS + 30))
  until [ -e "$dir/request.bin" ]; do
    [ $SECONDS -ge $end ] && fail "the update check did not reach the server"
    sleep 0.02
  done
  request_seen_ms=$(now_ms)
}

check_request_bytes() {
  printf 'GET /ckvr.php?os=win&ver=500 HTTP/1.1\nAccept: \r\nConnection: Close\r\nHost: %s\r\n\r\n' \
    "$update_host" >"$dir/request-expected.bin"
  cmp "$dir/request.bin" "$dir/request-expected.bin" ||
    fail "the request differs: $(od -c "$dir/request.bin")"
}

# Software upgrade with a newer version known: the download page opens and
# the balloon shows.
expect_new_version() {
  probe post-command 40002 || fail "cannot send the upgrade command"
  local end=$((SECONDS + 15))
  until grep -qxF 'http://pavix.example/pavix/ckvr.php?os=win&ver=500' "$dir/browser.log" 2>/dev/null; do
    [ $SECONDS -ge $end ] && fail "the download page was not opened"
    sleep 0.1
  done
  probe_until_line 10 "tip=[点击进入下载页面]" tray || fail "no balloon:"$'\n'"$probe_out"
  probe box "Pavix5.0" >/dev/null && fail "a message box says there is nothing newer"
  return 0
}

# Software upgrade without a newer version: the message box, no web page.
expect_no_new_version() {
  probe post-command 40002 || fail "cannot send the upgrade command"
  probe_until 15 box "Pavix5.0" || fail "no message box after the upgrade command"
  echo "$probe_out"
  expect_line "$probe_out" "owner=main"
  expect_line "$probe_out" "text=[当前版本已经是最新版本了]"
  probe dismiss "Pavix5.0" || fail "cannot dismiss the message box"
  [ -e "$dir/browser.log" ] && fail "a web page was opened: $(cat "$dir/browser.log")"
  return 0
}

finish_update_case() {
  probe_until 10 post-command 105 || fail "cannot send the Exit command"
  wait_exit "$pavix_pid" 20
  local rc=$?
  pavix_pid=""
  [ $rc -eq 0 ] || fail "pavix.exe ended with $rc"
  wait_exit "$server_pid" 10
  server_pid=""
}

case_update() {
  local reply=$1 expectation=$2
  use_prefix "$prefix_with_filter"
  start_with_update_server "$reply"
  check_request_bytes
  "$expectation"
  finish_update_case
}

case_update_silent() {
  use_prefix "$prefix_with_filter"
  start_with_update_server --silent
  # The check now waits for an answer that does not come (up to the receive
  # limit): the window goes on answering meanwhile.
  local checks=0 slow=0
  while [ $(($(now_ms) - request_seen_ms)) -lt $((receive_limit_ms - 500)) ]; do
    probe responsive $answer_limit_ms >/dev/null || slow=$((slow + 1))
    checks=$((checks + 1))
  done
  note "$checks looks at the window while the server was silent, $slow without an answer in $answer_limit_ms ms"
  [ "$checks" -ge 2 ] || fail "the window was looked at only $checks times"
  [ "$slow" -eq 0 ] ||
    fail "the window did not answer within $answer_limit_ms ms while the update check waited"
  check_request_bytes
  expect_no_new_version
  finish_update_case
}

readonly http_ok='HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n'
case "$case_name" in
  setup) case_setup ;;
  teardown) case_teardown ;;
  start) case_start ;;
  exit-command) case_exit_command ;;
  second-instance) case_second_instance ;;
  no-filter) case_no_filter ;;
  update-yes) case_update "${http_ok}1" expect_new_version ;;
  update-0) case_update "${http_ok}0" expect_no_new_version ;;
  update-10) case_update "${http_ok}10" expect_no_new_version ;;
  update-line-end) case_update "${http_ok}1\r\n" expect_no_new_version ;;
  update-no-empty-line) case_update 'HTTP/1.1 200 OK\r\n1' expect_no_new_version ;;
  update-silent) case_update_silent ;;
  dll-directory) case_dll_directory ;;
  taskbar-created) case_taskbar_created ;;
  *) fail "unknown case $case_name" ;;
esac
# A shell error (not a failed check) abandons the case with a status.
status=$?
[ $status -eq 0 ] || fail "the case broke off with status $status"
echo "PASS: $case_name"
