#!/usr/bin/env bash
# The registered camera as separate capture applications (camcheck) see it,
# with shmtool standing in for the desktop program as the block's writer:
#   capture_apps_test.sh WINE_EXEC PREFIX TREE
# Runs inside the test run's network namespace (ctest under in-netns.sh).
set -uo pipefail

wine_exec=$1
prefix=$2
tree=$3
wine() { "$wine_exec" --prefix "$prefix" "$@"; }
# In the background, as the process itself (so that $! is the program).
wine_bg() { exec "$wine_exec" --prefix "$prefix" "$@"; }

ax="Z:${tree//\//\\}\\filter\\RovoFilter.ax"
camcheck=$tree/tools/camcheck/camcheck.exe
shmtool=$tree/tools/shmtool/shmtool.exe
work=$(mktemp -d)
winwork="Z:${work//\//\\}"
holder=""
cleanup() {
    [ -n "$holder" ] && kill "$holder" 2>/dev/null && wait "$holder" 2>/dev/null
    wine regsvr32 /s /u "$ax" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
quadrants='#ff0000 #00ff00 #0000ff #ffffff'

. "$(dirname "$0")/../support/checks.sh"

# camcheck NAME ARGS...: runs it with its output in $work/NAME (files, not
# pipes: Wine's service processes may hold a pipe open).
camcheck() {
    local name=$1
    shift
    wine "$camcheck" "$@" >"$work/$name.raw" 2>&1
    local rc=$?
    tr -d '\r' <"$work/$name.raw" >"$work/$name"
    sed "s/^/  [$name] /" "$work/$name"
    return $rc
}

value() {  # value FILE PATTERN: the first number after PATTERN
    sed -n "s/.*$2 \\([-0-9]*\\).*/\\1/p" "$1" | head -1
}

pixel() {  # pixel BMP X Y: the colour there as ImageMagick reads it
    convert "$1" -format "%[pixel:p{$2,$3}]" info:
}

wine regsvr32 /s "$ax" >"$work/reg" 2>&1
check "camera registered" test $? -eq 0

# --- the writer comes first -------------------------------------------------
(wine_bg "$shmtool" write --quadrants --word 3 --hold 300 >"$work/holder" 2>&1) &
holder=$!
# Until the writer has published (Wine may take a while to start it).
for _ in $(seq 600); do
    grep -q 'wrote 480x320 picture' "$work/holder" && break
    sleep 0.1
done
check "the writer published its picture" grep -q 'wrote 480x320 picture' "$work/holder"

camcheck first --seconds 2 --save "$winwork\\first.bmp"
check "camcheck streams" test $? -eq 0
check "the connection is 480x320 RGB24 bottom-up, 1/30 s a frame" \
    grep -q '^media type Video RGB24 480x320 24-bit bottom-up image 460800 frame 333333 ' "$work/first"
# About 66 in 2 s; a third of that is plenty on a loaded machine.
samples=$(value "$work/first" "samples")
check "samples arrive (${samples:-none} in 2 s)" test "${samples:-0}" -ge 20
check "their stamps are 333333 apart from 0" grep -q '^run 1: samples [0-9]* first 0 .* step 333333 continuous yes' "$work/first"
check "the picture arrives upright in its colours" grep -q "^run 1: quadrants $quadrants\$" "$work/first"
# An independent reader of the saved picture: ImageMagick.
check "top left is red in the saved picture" test "$(pixel "$work/first.bmp" 120 80)" = "srgb(255,0,0)"
check "top right is green" test "$(pixel "$work/first.bmp" 360 80)" = "srgb(0,255,0)"
check "bottom left is blue" test "$(pixel "$work/first.bmp" 120 240)" = "srgb(0,0,255)"
check "bottom right is white" test "$(pixel "$work/first.bmp" 360 240)" = "srgb(255,255,255)"

# --- choosing a type ----------------------------------------------------------
# Whatever the camera offers: every capability a video type whose frame
# duration lies in its own interval range.
camcheck types --list-types
check "camcheck lists the camera's types" test $? -eq 0
check "at least one type" grep -q '^types [1-9]' "$work/types"
check "each type's frame duration lies in its interval range" awk '
    $1 == "type" { n++; split($9, r, "-"); if (!($7 > 0 && $7 >= r[1] && $7 <= r[2])) bad = 1 }
    END { exit bad || n == 0 }' "$work/types"
camcheck chosen --size 480x320 --format RGB24 --seconds 1
check "480x320 RGB24 is chosen and streams" test $? -eq 0
check "and connected as chosen" grep -q '^connected 480x320 RGB24 at ' "$work/chosen"
# A size no camera of ours offers, and options camcheck refuses.
camcheck unoffered --size 800x600 --format NV12 --seconds 1
check "a type not offered ends camcheck with status 1" test $? -eq 1
check "and says so" grep -q '^no type 800x600 NV12 offered' "$work/unoffered"
for bad in "--size 801x600" "--size 800" "--format MJPG" "--source 4x" "--size"; do
    # shellcheck disable=SC2086 # the words are the options
    camcheck usage $bad
    check "camcheck $bad is bad usage (status 2)" test $? -eq 2
done

# --- two capture applications at once --------------------------------------
camcheck a --seconds 3 --no-clock &
a=$!
camcheck b --seconds 3 --no-clock &
b=$!
wait $a
ra=$?
wait $b
rb=$?
check "two applications stream at once" test $ra -eq 0 -a $rb -eq 0
for name in a b; do
    samples=$(value "$work/$name" "samples")
    check "application $name gets its samples (${samples:-none} of about 100)" test "${samples:-0}" -ge 30
    check "application $name has its own stamps from 0" grep -q '^run 1: samples [0-9]* first 0 .*continuous yes' "$work/$name"
    check "application $name sees the picture" grep -q "^run 1: quadrants $quadrants\$" "$work/$name"
done

# --- stop and run again -------------------------------------------------------
# Each run starts its stamps at 0 and streams at once, with the graph clock
# (the renderer holds each sample until its stamp is due) and without.
camcheck again --seconds 2 --runs 3
camcheck again-no-clock --seconds 2 --runs 3 --no-clock
for name in again again-no-clock; do
    for run in 1 2 3; do
        line=$(grep "^run $run: samples " "$work/$name")
        samples=$(echo "$line" | sed -n 's/^run [0-9]*: samples \([0-9]*\).*/\1/p')
        check "$name: run $run streams (${samples:-no} samples in 2 s)" test "${samples:-0}" -ge 20
        check "$name: run $run's stamps start at 0, 1/30 s apart" \
            grep -q "^run $run: samples [0-9]* first 0 .* step 333333 continuous yes" "$work/$name"
    done
done

# --- the writer shuts down: frame word -1 ----------------------------------
wine "$shmtool" word -1 >"$work/word" 2>&1
camcheck paused --seconds 3 --until-eos --pause-ms 300
check "from pause: no sample" grep -q '^run 1 paused 300 ms: samples 0$' "$work/paused"
check "from pause: end of stream once running" grep -q '^run 1: end end-of-stream' "$work/paused"
check "no sample at all" grep -q '^run 1: samples 0$' "$work/paused"
camcheck direct --seconds 2 --until-eos
check "run at once: no sample either" grep -q '^run 1: samples 0$' "$work/direct"
check "run at once: end of stream" grep -q '^run 1: end end-of-stream' "$work/direct"

kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
holder=""

# --- the reader comes first ----------------------------------------------------
# The block goes once its last holder is gone, which the Wine server notes a
# moment after the process ended: wait until an opener finds a fresh block.
fresh=no
for _ in $(seq 50); do
    wine "$shmtool" word >"$work/fresh" 2>&1
    if tr -d '\r' <"$work/fresh" | grep -q '^frame word 0$'; then
        fresh=yes
        break
    fi
    sleep 0.2
done
check "the block is gone with its writer" test $fresh = yes
camcheck reader --seconds 5 --no-clock &
reader=$!
# Until the reader's filter exists (and with it the block it made).
for _ in $(seq 600); do
    grep -q '^media type' "$work/reader.raw" 2>/dev/null && break
    sleep 0.1
done
wine "$shmtool" write --quadrants --word 1 >"$work/late" 2>&1
check "a later writer opens the reader's block" grep -q 'wrote 480x320 picture' "$work/late"
wine "$shmtool" check >"$work/tail" 2>&1
check "byte 4 and the tail stay zero" grep -q '^byte4 0 tail zero' "$work/tail"
wait $reader
check "the reader streamed throughout" test $? -eq 0
check "the reader ends up showing the writer's picture" grep -q "^run 1: quadrants $quadrants\$" "$work/reader"

end_checks
