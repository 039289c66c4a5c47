#!/usr/bin/env bash
# The 64-bit installer under 64-bit Wine, in a Wine prefix of its own, as a
# user would meet it. The cases run in this order on the same prefix:
#
#   install     a fresh prefix; the installer runs silently (/S) and ends
#               with 0; the files are in Program Files\Pavix and are the
#               package's; the Start-menu shortcut and the uninstall entry
#               exist; the camera is registered from the install folder and
#               a capture application (camcheck) lists one "Pavix"; the
#               Windows 11 camera's source class (HKLM, 64-bit view) names
#               the installed PavixMediaSource.dll. The
#               32-bit registration is attempted with a 32-bit program as
#               the 32-bit regsvr32, which cannot run here: the install
#               still succeeds.
#   run         pavix.exe started through the Start-menu shortcut finds the
#               settings file in the install folder (its working folder),
#               connects to the phone simulator, and camcheck receives the
#               simulator's picture through the installed camera.
#   upgrade     the installer again, over a damaged install (a filter
#               missing, an older version in the uninstall entry) while
#               pavix.exe runs: pavix.exe is closed cleanly, the files and
#               the entry are whole again, the settings file is kept, one
#               device, one entry, one shortcut. The 32-bit registration
#               tool (a stand-in that logs and fails) was run on the 32-bit
#               filter.
#   upgrade_in_use
#               the installer again while older filters are in use: the
#               64-bit one loaded by a program (as by an open video
#               application), the 32-bit one opened without sharing (as by a
#               virus scanner). It ends with 3010 (restart needed); the new
#               64-bit filter is in place at once, the loaded copy moved
#               aside and left for Windows to delete at the restart; the
#               32-bit one is left for Windows to replace then. After the
#               programs let go and Wine restarts (wineboot -r), only the
#               new filters are there.
#   uninstall   the uninstaller, silently, while a program has the 64-bit
#               filter loaded: both filters unregistered (the stand-in saw
#               /u), the files, the shortcut, the uninstall entry, the
#               filter's class key and its device entry gone, the media
#               source unregistered by itself before its file went (its
#               class key gone, which only its own DllUnregisterServer
#               removes) and the file gone, no device
#               listed; the loaded filter moved aside and, with the folder,
#               gone after the restart.
#
# Environment (set by CTest): PAVIX_DIST_DIR, PAVIX_VERSION_HEADER,
# PAVIX_TEST_DIR, PAVIX_PROBE, PAVIX_CAMCHECK, PAVIX_FAKE_REGSVR32,
# PAVIX_HOLD_FILE (Windows programs of the tree), PAVIX_PHONESIM, PAVIX_PATTERN_CHECK (Linux programs
# of the native tree). Exit status 77 (skipped) when those are not built.
set -uo pipefail

readonly case_name=${1:?usage: install_test.sh install|run|upgrade|upgrade_in_use|uninstall}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
# The system tests' helpers: use_prefix, probe, probe_until, wait_exit,
# start_hold, winepath_of, fail, note, clean-up of what a case starts.
# shellcheck source=../app/system_test_lib.sh
. "$source_dir/tests/app/system_test_lib.sh"

readonly prefix=$dir/prefix
readonly drive_c=$prefix/drive_c
readonly install_dir=$drive_c/Program\ Files/Pavix
readonly install_win='C:\Program Files\Pavix'
readonly shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Pavix.lnk"
readonly shortcut_win='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\Pavix.lnk'
readonly syswow64=$drive_c/windows/syswow64
readonly uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Pavix'
readonly clsid='{74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}'
readonly device_key='HKCR\CLSID\{860BB310-5D01-11D0-BD3B-00A0C911CE86}\Instance\Pavix'
# The Windows 11 camera's source class, where the Frame Server (64-bit)
# looks for it.
readonly media_source_key='HKLM\Software\Classes\CLSID\{000E8034-4682-443B-B397-F1723BAED1CB}'
# Not the system tests' port: the simulator here is this case's own.
readonly port=1250

version=$(sed -n 's/^#define PAVIX_VERSION_TEXT "\(.*\)"$/\1/p' "$PAVIX_VERSION_HEADER")
readonly setup=$PAVIX_DIST_DIR/Pavix-$version-setup-x64.exe
[ -f "$setup" ] || fail "$setup is missing (the dist_packages test builds it)"
unpacked=$dir/unpacked

. "$(dirname "$0")/../support/checks.sh"

wine_quiet() { "$wine" "$@" 2>/dev/null | tr -d '\r'; }

# The data of a registry value ("" for the default value), or nothing;
# a third argument picks the registry's view (/reg:64).
registry_value() {
  local out
  if [ -z "$2" ]; then
    out=$(wine_quiet reg query "$1" /ve ${3:+"$3"}) || return 0
  else
    out=$(wine_quiet reg query "$1" /v "$2" ${3:+"$3"}) || return 0
  fi
  sed -n 's/^ *[^ ].*REG_[A-Z_]* *//p' <<<"$out" | head -n 1
}
key_exists() { "$wine" reg query "$1" >/dev/null 2>&1; }

# The "Pavix" devices camcheck lists.
pavix_devices() {
  wine_quiet "$PAVIX_CAMCHECK" --list >"$dir/devices-$case_name.txt"
  grep '^device "Pavix"' "$dir/devices-$case_name.txt"
}

# Runs the installer silently: its exit code in installer_rc. Wine hands a
# Linux parent only the code's low byte (3010 would read 194); cmd's
# start /wait reads all of it. Prints how long it took.
run_installer() {
  local start out
  start=$(now_ms)
  out=$("$wine" cmd /v:on /c "start /wait \"\" \"$(winepath_of "$setup")\" /S & echo exit !errorlevel!" \
          2>"$dir/setup-$case_name.log" | tr -d '\r')
  installer_rc=$(sed -n 's/^exit //p' <<<"$out")
  note "the installer ended with ${installer_rc:-no exit code} after $(($(now_ms) - start)) ms"
}

same_as_package() {  # same_as_package RELATIVE_PATH
  cmp -s "$install_dir/$1" "$unpacked/$1"
}

# Every installed file is the package's.
check_files() {
  local f
  for f in pavix.exe x64/RovoFilter.ax x64/PavixMediaSource.dll x86/RovoFilter.ax README.txt \
           docs/guide.zh-CN.md docs/guide.en.md; do
    check "$f is installed as packed" same_as_package "$f"
  done
  check "the uninstaller is installed" test -f "$install_dir/uninstall.exe"
  check "pavix.exe, the 64-bit filter and the media source are PE32+, the 32-bit filter PE32" eval '
    "$source_dir/scripts/dist/pe_machine.py" --expect "PE32+ x86-64" "$install_dir/pavix.exe" "$install_dir/x64/RovoFilter.ax" \
      "$install_dir/x64/PavixMediaSource.dll" >/dev/null &&
    "$source_dir/scripts/dist/pe_machine.py" --expect "PE32 i386" "$install_dir/x86/RovoFilter.ax" >/dev/null'
  check "the Start-menu shortcut exists" test -f "$shortcut"
}

check_entry() {
  check "uninstall entry: DisplayName Pavix" test "$(registry_value "$uninstall_key" DisplayName)" = Pavix
  check "uninstall entry: DisplayVersion $version" \
    test "$(registry_value "$uninstall_key" DisplayVersion)" = "$version"
  check "uninstall entry: the uninstaller" \
    test "$(registry_value "$uninstall_key" UninstallString)" = "\"$install_win\\uninstall.exe\""
  check "uninstall entry: the quiet uninstaller" \
    test "$(registry_value "$uninstall_key" QuietUninstallString)" = "\"$install_win\\uninstall.exe\" /S"
  check "uninstall entry: the install folder" \
    test "$(registry_value "$uninstall_key" InstallLocation)" = "$install_win"
}

check_registered() {
  local server="HKCR\\CLSID\\$clsid\\InprocServer32"
  check "the camera's class names the installed 64-bit filter" \
    test "$(registry_value "$server" "")" = "$install_win\\x64\\RovoFilter.ax"
  check "ThreadingModel Both" test "$(registry_value "$server" ThreadingModel)" = Both
  local devices
  devices=$(pavix_devices)
  note "camcheck lists: ${devices:-nothing}"
  check "camcheck lists one device Pavix, of the filter's class" \
    test "$devices" = "device \"Pavix\" clsid $clsid merit 0x00600000 pins 1"
  check "the media source's class names the installed module, in the 64-bit view" \
    test "$(registry_value "$media_source_key\\InprocServer32" "" /reg:64)" = "$install_win\\x64\\PavixMediaSource.dll"
}

# pavix.exe through the Start-menu shortcut, as a user starts it; the
# started program's exit code becomes pavix_pid's (start /wait).
start_from_shortcut() {
  (cd "$dir" && WINEDEBUG=$pavix_winedebug exec "$wine" start /wait "$shortcut_win" \
     2>"$dir/wine-$case_name.log") &
  pavix_pid=$!
  pavix_log=$dir/wine-$case_name.log
  probe_until 30 wait-window 1 || fail "no main window appeared"
}

start_simulator() {
  sim_log=$dir/phonesim-$case_name.log
  "$PAVIX_PHONESIM" --listen 127.0.0.1:$port --fps 30 --seed 3 2>"$sim_log" &
  extra_pids+=($!)
  wait_until_listening "$sim_log"
}

# The Linux processes of this case's prefix whose command line matches
# PATTERN (other test runs use prefixes of their own).
prefix_pids() {
  local pid
  for pid in $(pgrep -f "$1"); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$prefix" && echo "$pid"
  done
}

# The Linux process of the installed pavix.exe in this case's prefix.
installed_pavix_pid() { prefix_pids 'Program Files.Pavix.pavix\.exe' | head -n 1; }

frame_word() { probe frame-word | tr -d '\r' | sed 's/^frame word=//'; }

wait_frame_word_at_least() {  # N SECONDS
  local end=$((SECONDS + $2)) word
  while :; do
    word=$(frame_word)
    [ "${word:-0}" -ge "$1" ] 2>/dev/null && return 0
    [ $SECONDS -ge $end ] && fail "the frame word did not reach $1 in $2 s (at $word)"
    sleep 0.1
  done
}

# --- install ---------------------------------------------------------------------------

case_install() {
  rm -rf "$prefix" "$unpacked"
  mkdir -p "$prefix" "$unpacked"
  7z x -y -bd "-o$unpacked" "$setup" >/dev/null || fail "7z cannot unpack $setup"
  local start
  start=$(now_ms)
  make_pavix_prefix "$prefix"
  note "a fresh prefix took $(($(now_ms) - start)) ms"

  # A 32-bit registration tool that cannot run here, as on this machine
  # any 32-bit program: the 32-bit program of the x86 installer.
  7z e -y -bd "-o$dir/x86" "$PAVIX_DIST_DIR/Pavix-$version-setup-x86.exe" pavix.exe >/dev/null ||
    fail "cannot unpack the 32-bit program"
  mkdir -p "$syswow64"
  cp "$dir/x86/pavix.exe" "$syswow64/regsvr32.exe"

  run_installer
  check "the installer ends with 0 although the 32-bit registration cannot run" test "$installer_rc" = 0
  check_files
  check_entry
  check_registered
}

# --- run from the install folder --------------------------------------------------------

case_run() {
  use_prefix "$prefix"
  [ -f "$install_dir/pavix.exe" ] || fail "not installed (the dist_install test installs)"
  # The endpoint of an earlier connection, where the program keeps it.
  printf '127.0.0.1:%s:%s\n' $port $((port + 1)) >"$install_dir/pavix_cfg.ini"
  start_simulator
  start_hold
  start_from_shortcut
  wait_frame_word_at_least 30 20
  check "pavix.exe runs in the install folder" \
    test "$(readlink "/proc/$(installed_pavix_pid)/cwd" 2>/dev/null)" = "$install_dir"

  local before after out
  before=$(frame_word)
  "$wine" "$PAVIX_CAMCHECK" --seconds 2 --save "$(winepath_of "$dir/camera.bmp")" >"$dir/camcheck.raw" 2>&1
  check "camcheck streams from the installed camera" test $? -eq 0
  after=$(frame_word)
  tr -d '\r' <"$dir/camcheck.raw" | grep -E '^run 1: (samples|rate)' | sed 's/^/  [camcheck] /'
  out=$("$PAVIX_PATTERN_CHECK" read "$dir/camera.bmp" 2>&1)
  check "the camera's picture is the simulator's, upright ($(tr '\n' ' ' <<<"$out"))" \
    grep -qx 'orientation upright' <<<"$out"
  local frame
  frame=$(sed -n 's/^frame //p' <<<"$out")
  check "it was published while camcheck ran (frame ${frame:-none}, words $before..$after)" \
    eval '[ -n "$frame" ] && [ $((frame + 1)) -ge "$before" ] && [ $((frame + 1)) -le "$after" ]'

  probe close || fail "cannot press the close box"
  expect_clean_end
}

# --- upgrade in place -------------------------------------------------------------------

case_upgrade() {
  use_prefix "$prefix"
  [ -f "$install_dir/pavix.exe" ] || fail "not installed (the dist_install test installs)"
  cp "$PAVIX_FAKE_REGSVR32" "$syswow64/regsvr32.exe"
  rm -f "$syswow64/regsvr32.log"
  # Damage and age the install.
  rm -f "$install_dir/x86/RovoFilter.ax"
  echo "changed" >"$install_dir/README.txt"
  "$wine" reg add "$uninstall_key" /v DisplayVersion /d 4.9 /f >/dev/null 2>&1
  printf '127.0.0.1:%s:%s\n' $port $((port + 1)) >"$install_dir/pavix_cfg.ini"

  start_hold
  start_from_shortcut
  run_installer
  check "the upgrade ends with 0" test "$installer_rc" = 0
  # The installer closed the program: as by its close box.
  wait_exit "$pavix_pid" 20
  local rc=$?
  pavix_pid=""
  check "the running pavix.exe was closed, with exit code 0 (got $rc)" test $rc -eq 0
  wait_exit "$hold_pid" 10
  hold_pid=""
  check "it published its end (frame word -1)" test "$(last_held_word)" = "-1"

  check_files
  check_entry
  check_registered
  check "the settings file is kept" \
    test "$(cat "$install_dir/pavix_cfg.ini")" = "127.0.0.1:$port:$((port + 1))"
  check "one uninstall entry" test "$(wine_quiet reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' |
    grep -ci 'Uninstall\\Pavix')" -eq 1
  local log
  log=$(tr -d '\r' <"$syswow64/regsvr32.log" 2>/dev/null)
  note "32-bit registration tool runs: ${log:-none}"
  check "the 32-bit filter was given to the 32-bit registration tool" \
    grep -qixF "\"C:\\windows\\syswow64\\regsvr32.exe\" /s \"$install_win\\x86\\RovoFilter.ax\"" <<<"$log"
}

# --- files in use ------------------------------------------------------------------------

readonly pending_key='HKLM\System\CurrentControlSet\Control\Session Manager'
readonly stop_file=$dir/stop-holding

# The moves and deletions Windows does at the next restart, one file name a
# line (Wine lists the value's strings joined by "\0").
pending_operations() {
  registry_value "$pending_key" PendingFileRenameOperations | sed 's/\\0/\n/g' | sed '/^$/d'
}

# hold MODE FILE: hold_file holds FILE (a Linux path in the prefix) in the
# background until release_holders.
hold() {
  local log=$dir/hold-$case_name-${#extra_pids[@]}.log
  rm -f "$stop_file"
  "$wine" "$PAVIX_HOLD_FILE" "$1" "$(winepath_of "$2")" "$(winepath_of "$stop_file")" >"$log" 2>&1 &
  extra_pids+=($!)
  holder_pids+=($!)
  local end=$((SECONDS + 30))
  until grep -q '^holding' "$log"; do
    [ $SECONDS -ge $end ] && fail "hold_file $1 does not hold $2: $(cat "$log")"
    sleep 0.05
  done
}
holder_pids=()

release_holders() {
  touch "$stop_file"
  local pid
  for pid in "${holder_pids[@]}"; do
    wait_exit "$pid" 30 || fail "hold_file did not let go"
  done
  holder_pids=()
}

# Wine's restart: it does the moves and deletions left for it.
restart_windows() {
  "$wine" wineboot -r >/dev/null 2>&1 || fail "wineboot -r failed"
}

# An older build of a module: the package's with bytes after its end (still
# a module that loads).
make_older() {  # make_older PACKAGE_FILE INSTALLED_FILE
  { cat "$1"; printf 'an older build'; } >"$2"
}

case_upgrade_in_use() {
  use_prefix "$prefix"
  [ -f "$install_dir/pavix.exe" ] || fail "not installed (the dist_install test installs)"
  "$wine" reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1
  local x64=$install_dir/x64/RovoFilter.ax x86=$install_dir/x86/RovoFilter.ax
  make_older "$unpacked/x64/RovoFilter.ax" "$x64"
  make_older "$unpacked/x86/RovoFilter.ax" "$x86"
  cp "$x64" "$dir/older-x64.ax"
  cp "$x86" "$dir/older-x86.ax"
  hold load "$x64"
  hold lock "$x86"

  run_installer
  check "the upgrade ends with 3010, restart needed" test "$installer_rc" = 3010
  check "the new 64-bit filter is in place at once" same_as_package x64/RovoFilter.ax
  check "the loaded 64-bit filter is moved aside" cmp -s "$x64.old0" "$dir/older-x64.ax"
  check "the held 32-bit filter is left" cmp -s "$x86" "$dir/older-x86.ax"
  check "its new copy waits beside it" cmp -s "$x86.new" "$unpacked/x86/RovoFilter.ax"
  local pending
  pending=$(pending_operations)
  note "left for the restart: $(tr '\n' ' ' <<<"$pending")"
  check "the moved-aside filter is deleted at the restart" \
    grep -qxF "\\??\\$install_win\\x64\\RovoFilter.ax.old0" <<<"$pending"
  check "the 32-bit filter is replaced at the restart" eval \
    'grep -qxF "\\??\\$install_win\\x86\\RovoFilter.ax.new" <<<"$pending" &&
     grep -qxF "!\\??\\$install_win\\x86\\RovoFilter.ax" <<<"$pending"'
  check_registered

  release_holders
  restart_windows
  check "after the restart: the moved-aside filter is gone" test ! -e "$x64.old0"
  check "after the restart: the new 32-bit filter is in place" same_as_package x86/RovoFilter.ax
  check "after the restart: no copy waits" test ! -e "$x86.new"
  check "after the restart: nothing is left for the next one" test -z "$(pending_operations)"
  check_files
}

# --- uninstall ----------------------------------------------------------------------------

case_uninstall() {
  use_prefix "$prefix"
  [ -f "$install_dir/uninstall.exe" ] || fail "not installed (the dist_install test installs)"
  rm -f "$syswow64/regsvr32.log"
  check "the device is listed before" test -n "$(pavix_devices)"
  check "the device's entry exists before" key_exists "$device_key"
  # What the 32-bit registration leaves on 64-bit Windows (the registry's
  # 32-bit view): here no 32-bit tool can unregister it.
  local view32
  for view32 in "HKCR\CLSID\$clsid" "$device_key"; do
    "$wine" reg add "$view32" /v Probe /d 32-bit /f /reg:32 >/dev/null 2>&1 ||
      fail "cannot write the 32-bit view"
  done
  "$wine" reg add "$device_key" /v CLSID /d "$clsid" /f /reg:32 >/dev/null 2>&1
  "$wine" reg delete "$pending_key" /v PendingFileRenameOperations /f >/dev/null 2>&1
  # An open video application with the camera.
  hold load "$install_dir/x64/RovoFilter.ax"
  local start
  start=$(now_ms)
  "$wine" "$install_win\\uninstall.exe" /S >"$dir/uninstall.log" 2>&1
  check "the uninstaller ends with 0" test $? -eq 0
  # It runs on from a copy of itself, so that it can remove itself: wait
  # until it has ended (the holder still runs).
  local end=$((SECONDS + 120))
  while [ -n "$(prefix_pids '\\Un\.exe')" ]; do
    [ $SECONDS -ge $end ] && fail "the uninstaller did not end"
    sleep 0.1
  done
  note "uninstalling took $(($(now_ms) - start)) ms"

  local left
  left=$(cd "$drive_c/Program Files" && find Pavix 2>/dev/null | sort | tr '\n' ' ')
  check "only the loaded filter, moved aside, is left (left: ${left:-nothing})" \
    test "$left" = "Pavix Pavix/x64 Pavix/x64/RovoFilter.ax.old0 "
  local ours
  ours=$(pending_operations | grep -F "$install_win" | awk '!seen[$0]++' | tr '\n' '|')
  check "deleted at the restart, in order: the moved-aside filter, its folder, the install folder ($ours)" \
    test "$ours" = "\\??\\$install_win\\x64\\RovoFilter.ax.old0|\\??\\$install_win\\x64\\|\\??\\$install_win\\|"
  release_holders
  restart_windows
  left=$(cd "$drive_c/Program Files" && find Pavix 2>/dev/null)
  check "after the restart the install folder is gone${left:+ (left: $(tr '\n' ' ' <<<"$left"))}" test -z "$left"
  check "the Start-menu shortcut is gone" test ! -e "$shortcut"
  check "the uninstall entry is gone" eval '! key_exists "$uninstall_key"'
  check "the filter's class key is gone" eval '! key_exists "HKCR\\CLSID\\$clsid"'
  check "the device's entry is gone" eval '! key_exists "$device_key"'
  check "no device Pavix is listed" test -z "$(pavix_devices)"
  check "the filter's class key is gone from the 32-bit view" \
    eval '! "$wine" reg query "HKCR\\CLSID\\$clsid" /reg:32 >/dev/null 2>&1'
  check "the device's entry is gone from the 32-bit view" \
    eval '! "$wine" reg query "$device_key" /reg:32 >/dev/null 2>&1'
  check "the media source unregistered itself: its class key is gone" \
    eval '! "$wine" reg query "$media_source_key" /reg:64 >/dev/null 2>&1'
  check "the media source module is removed" test ! -e "$install_dir/x64/PavixMediaSource.dll"
  local log
  log=$(tr -d '\r' <"$syswow64/regsvr32.log" 2>/dev/null)
  check "the 32-bit filter was unregistered with the 32-bit tool" \
    grep -qixF "\"C:\\windows\\syswow64\\regsvr32.exe\" /s /u \"$install_win\\x86\\RovoFilter.ax\"" <<<"$log"
}

for tool in "$PAVIX_PHONESIM" "$PAVIX_PATTERN_CHECK"; do
  if [ "$case_name" = run ] && [ ! -x "$tool" ]; then
    echo "SKIP: $tool is not built (build the native tree; PAVIX_NATIVE_TREE names it)"
    exit 77
  fi
done

mkdir -p "$dir" "$artefacts"
case "$case_name" in
  install) case_install ;;
  run) case_run ;;
  upgrade) case_upgrade ;;
  upgrade_in_use) case_upgrade_in_use ;;
  uninstall) case_uninstall ;;
  *) fail "unknown case $case_name" ;;
esac
end_checks
