#!/usr/bin/env bash
# Runs pavix.exe under 64-bit Wine with the phone simulator beside it, in a
# private network namespace with a virtual display:
#
#   run-pavix.sh WIN64_TREE [NATIVE_TREE] [SECONDS]
#
# The Wine prefix WIN64_TREE/run-prefix is the run's own: made on first use
# (fonts linked for the Chinese texts, Wine drawing the window captions) and
# the camera filter of the tree registered in it every time. The simulator
# (NATIVE_TREE/tools/phonesim/phonesim; NATIVE_TREE defaults to the
# WIN64_TREE's sibling "native") streams on 127.0.0.1:1234. After SECONDS
# (default 20) the window is photographed into WIN64_TREE/run-pavix.png;
# then camcheck opens the camera "Pavix" as a capture application would,
# reports the samples and distinct pictures it got per second and saves its
# last picture as WIN64_TREE/run-camcheck.bmp; a second camcheck connects
# at 1280 x 720 NV12, reports its type and rate, the pictures it saw
# (repeats and gaps) and saves its last picture as
# WIN64_TREE/run-camcheck-720p.bmp; mfcheck reads the Windows camera (the
# Media Foundation source, PavixMediaSource.dll) at 1280 x 720 NV12 through
# Media Foundation's source reader and reports the pictures it got; the
# window is closed with its close box. pavix.exe connects to the simulator through the settings file it
# finds in its working directory; its exit code is the script's.
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: run-pavix.sh WIN64_TREE [NATIVE_TREE] [SECONDS]" >&2; exit 2; }
tree=$(cd "$1" && pwd)
native=${2:-$(dirname "$tree")/native}
seconds=${3:-${RUN_SECONDS:-20}}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  exec "$here/in-netns.sh" "$0" "$tree" "$native" "$seconds"
fi

exe=$tree/app/pavix.exe
filter=$tree/filter/RovoFilter.ax
probe=$tree/tests/app/pavix_probe.exe
camcheck=$tree/tools/camcheck/camcheck.exe
mfcheck=$tree/tools/mfcheck/mfcheck.exe
media_source=$tree/mfcamera/PavixMediaSource.dll
simulator=$native/tools/phonesim/phonesim
pattern_check=$native/tests/app/pattern_check
for f in "$exe" "$filter"; do
  [ -f "$f" ] || { echo "run-pavix: $f is missing; build the tree first" >&2; exit 1; }
done

export WINEPREFIX=$tree/run-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
wine=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "run-pavix: making the Wine prefix $WINEPREFIX"
  mkdir -p "$WINEPREFIX"
  "$wine" wineboot --init >/dev/null 2>&1
  for face in Tahoma "MS Shell Dlg" "Microsoft Sans Serif"; do
    "$wine" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f >/dev/null 2>&1
  done
  for setting in Decorated Managed; do
    "$wine" reg add 'HKCU\Software\Wine\X11 Driver' /v "$setting" /d N /f >/dev/null 2>&1
  done
fi
"$wine" regsvr32 "$filter" >/dev/null 2>&1 || { echo "run-pavix: cannot register $filter" >&2; exit 1; }

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}
trap cleanup EXIT

if [ -x "$simulator" ]; then
  log=$tree/run-phonesim.log
  "$simulator" --listen 127.0.0.1:1234 --fps 30 --size 640x480 --quiet 2>"$log" &
  pids+=($!)
  for _ in $(seq 100); do
    grep -q 'listening on' "$log" && break
    sleep 0.05
  done
  echo "run-pavix: phone simulator: $(grep -m1 'listening on' "$log" || echo 'did not start')"
else
  echo "run-pavix: no phone simulator at $simulator (build the native tree); running without it"
fi

run=$tree/run-pavix
mkdir -p "$run"
# The endpoint of the last connection, as the program stores it: the
# simulator's.
printf '127.0.0.1:1234:1235\n' >"$run/pavix_cfg.ini"
(cd "$run" && exec "$wine" "$exe") &
pavix=$!
pids+=($pavix)
echo "run-pavix: pavix.exe started; running for $seconds s"

have_probe=0
[ -f "$probe" ] && have_probe=1
if [ $have_probe = 1 ]; then
  "$wine" "$probe" wait-window 30 || { echo "run-pavix: no window appeared" >&2; exit 1; }
fi
end=$((SECONDS + seconds))
while [ $SECONDS -lt $end ] && kill -0 "$pavix" 2>/dev/null; do sleep 0.5; done
kill -0 "$pavix" 2>/dev/null || { wait "$pavix"; echo "run-pavix: pavix.exe ended early with $?"; exit 1; }

import -window root "$tree/run-pavix.png" 2>/dev/null &&
  echo "run-pavix: screenshot $tree/run-pavix.png"

frame_word() { "$wine" "$probe" frame-word | tr -d '\r' | sed 's/^frame word=//'; }
if [ -f "$camcheck" ]; then
  snapshot=$tree/run-camcheck.bmp
  rm -f "$snapshot"
  [ $have_probe = 1 ] && word_before=$(frame_word) && ms_before=$(($(date +%s%N) / 1000000))
  "$wine" "$camcheck" --seconds 3 --save "Z:${snapshot//\//\\}" >"$run/camcheck.txt" 2>&1 ||
    echo "run-pavix: camcheck failed"
  tr -d '\r' <"$run/camcheck.txt" | grep -E '^(media type|run 1: rate|saved)' |
    sed 's/^/run-pavix: camcheck: /; s/run 1: rate/samples: rate/' || true
  if [ $have_probe = 1 ]; then
    word_after=$(frame_word)
    ms_after=$(($(date +%s%N) / 1000000))
    awk -v a="$word_before" -v b="$word_after" -v ms=$((ms_after - ms_before)) 'BEGIN {
      if (a > 0 && b > a) printf "run-pavix: distinct pictures while camcheck ran: %d in %d ms, %.1f a second\n", b - a, ms, (b - a) * 1000 / ms
      else printf "run-pavix: frame words %s, %s: no phone pictures while camcheck ran\n", a, b }'
  fi
  if [ -f "$snapshot" ] && [ -x "$pattern_check" ]; then
    echo "run-pavix: snapshot $snapshot: $("$pattern_check" read "$snapshot" | tr '\n' ' ')"
  fi

  # As an application that lets the user choose 720p.
  snapshot=$tree/run-camcheck-720p.bmp
  rm -f "$snapshot"
  "$wine" "$camcheck" --size 1280x720 --format NV12 --source 640x480 --seconds 3 \
    --save "Z:${snapshot//\//\\}" >"$run/camcheck-720p.txt" 2>&1 ||
    echo "run-pavix: camcheck at 1280x720 NV12 failed"
  tr -d '\r' <"$run/camcheck-720p.txt" |
    grep -E '^(no type|media type|connected|run 1: (rate|pictures|picture|bands)|saved)' |
    sed 's/^/run-pavix: camcheck 720p: /; s/run 1: //' || true
  if [ -f "$snapshot" ] && [ -x "$pattern_check" ]; then
    echo "run-pavix: snapshot $snapshot: $("$pattern_check" read "$snapshot" | tr '\n' ' ')"
  fi
fi
if [ -f "$mfcheck" ] && [ -f "$media_source" ]; then
  # As a Media Foundation application (the Windows Camera app's way in).
  "$wine" "$mfcheck" "Z:${media_source//\//\\}" --size 1280x720 --format NV12 --samples 90 \
    >"$run/mfcheck.txt" 2>&1 || echo "run-pavix: mfcheck failed"
  tr -d '\r' <"$run/mfcheck.txt" | grep -E '^(connected|samples|steps|picture frame)' |
    sed 's/^/run-pavix: Windows camera: /' || true
fi
if [ $have_probe = 1 ]; then
  "$wine" "$probe" status | sed 's/^/run-pavix: status bar /'
  "$wine" "$probe" frame-word | sed 's/^/run-pavix: shared block /'
  "$wine" "$probe" close
else
  kill "$pavix"
fi
rc=0
wait "$pavix" || rc=$?
echo "run-pavix: pavix.exe ended with $rc"
exit $rc
