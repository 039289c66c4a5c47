#!/usr/bin/env bash
# Takes the user guide's screenshots (docs/) of pavix.exe under 64-bit Wine
# with a virtual display, in a private network namespace:
#
#   make-guide-shots.sh WIN64_TREE [NATIVE_TREE] [OUT_DIR]    (make guide-shots)
#
# OUT_DIR (default docs/images of the source) receives:
#   main-connected.png   the main window while the phone simulator streams
#   main-idle.png        the main window with no phone
#   about.png            the About dialog (command 104)
#   wifi-connect.png     the Wi-Fi connect dialog (command 40014)
# A dialog that does not appear within 5 s is reported and its picture left
# as it was. The Wine prefix WIN64_TREE/guide-prefix is the script's own
# (fonts linked for the Chinese texts, Wine drawing the window frames); the
# camera filter of the tree is registered in it, the simulator
# (NATIVE_TREE/tools/phonesim/phonesim, NATIVE_TREE defaults to the
# WIN64_TREE's sibling "native") streams on 127.0.0.1:1260.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: make-guide-shots.sh WIN64_TREE [NATIVE_TREE] [OUT_DIR]" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$1" && pwd)
native=${2:-$(dirname "$tree")/native}
out=${3:-$here/../docs/images}
mkdir -p "$out"
out=$(cd "$out" && pwd)

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$here/in-netns.sh" "$0" "$tree" "$native" "$out"
fi

exe=$tree/app/pavix.exe
filter=$tree/filter/RovoFilter.ax
probe=$tree/tests/app/pavix_probe.exe
simulator=$native/tools/phonesim/phonesim
for f in "$exe" "$filter" "$probe" "$simulator"; do
  [ -f "$f" ] || { echo "guide-shots: $f is missing; build it first" >&2; exit 1; }
done
readonly port=1260

export WINEPREFIX=$tree/guide-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
export LC_ALL=C.UTF-8 LANG=C.UTF-8
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "guide-shots: making the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  for face in Tahoma "MS Shell Dlg" "MS Shell Dlg 2" "Microsoft Sans Serif" "MS Sans Serif"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  for setting in Decorated Managed; do
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v "$setting" /d N /f >/dev/null 2>&1
  done
  /usr/lib/wine/wineserver -w
fi
"$wine" regsvr32 "$filter" >/dev/null 2>&1 || { echo "guide-shots: cannot register $filter" >&2; exit 1; }

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

probe() { "$wine" "$probe" "$@" | tr -d '\r'; }

# start_pavix DIR: pavix.exe with DIR as its working folder (and settings).
start_pavix() {
  (cd "$1" && exec "$wine" "$exe" 2>/dev/null) &
  pavix=$!
  pids+=("$pavix")
  probe wait-window 30 >/dev/null || { echo "guide-shots: no main window appeared" >&2; exit 1; }
  # Clear of Wine's stand-in for the notification area at the top left.
  probe move 320 200 >/dev/null
}

stop_pavix() {
  probe close >/dev/null || true
  local end=$((SECONDS + 15))
  while kill -0 "$pavix" 2>/dev/null && [ $SECONDS -lt $end ]; do sleep 0.1; done
  kill "$pavix" 2>/dev/null || true
}

# wait_status TEXT SECONDS: until the status bar's first part is TEXT.
wait_status() {
  local end=$((SECONDS + $2))
  until probe status | grep -qxF "part0=[$1]"; do
    [ $SECONDS -ge $end ] && { echo "guide-shots: the status bar never said '$1'" >&2; return 1; }
    sleep 0.2
  done
}

# shot NAME RECT_LINE: the screen's area "rect X Y W H" into OUT_DIR/NAME.
shot() {
  local name=$1 x y w h
  read -r _ x y w h <<<"$2"
  import -window root "$tree/guide-screen.png"
  convert "$tree/guide-screen.png" -crop "${w}x${h}+${x}+${y}" +repage -strip "$out/$name"
  echo "guide-shots: $out/$name (${w}x${h})"
}

# dialog_shot COMMAND NAME: the dialog the command opens, if one opens.
dialog_shot() {
  probe post-command "$1" >/dev/null
  local popup
  if popup=$(probe popup-rect 5); then
    sleep 0.5  # drawn
    popup=$(probe popup-rect 1)
    shot "$2" "$(grep '^rect ' <<<"$popup")"
    echo "guide-shots:   $(grep '^caption=' <<<"$popup")"
    probe popup-cancel >/dev/null || true
    sleep 0.5
  else
    echo "guide-shots: command $1 opened no dialog; $out/$2 not taken"
  fi
}

# No phone: the idle picture, "not connected".
idle=$tree/guide-run-idle
rm -rf "$idle"
mkdir -p "$idle"
start_pavix "$idle"
wait_status "没有连上手机 " 20 || true
sleep 1
shot main-idle.png "$(probe window-rect)"
dialog_shot 104 about.png
dialog_shot 40014 wifi-connect.png
stop_pavix

# The phone simulator streaming to the stored endpoint: connected.
sim_log=$tree/guide-phonesim.log
"$simulator" --listen 127.0.0.1:$port --fps 15 --size 640x480 --seed 1 --quiet 2>"$sim_log" &
pids+=($!)
for _ in $(seq 100); do
  grep -q 'listening on' "$sim_log" && break
  sleep 0.05
done
connected=$tree/guide-run-connected
rm -rf "$connected"
mkdir -p "$connected"
printf '127.0.0.1:%s:%s\n' $port $((port + 1)) >"$connected/pavix_cfg.ini"
start_pavix "$connected"
wait_status "连接手机成功 " 20
sleep 6  # a frame rate measured over whole seconds
shot main-connected.png "$(probe window-rect)"
stop_pavix
