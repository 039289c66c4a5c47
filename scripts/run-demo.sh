#!/usr/bin/env bash
# The demo: the phone simulator streams its moving test pattern on
# 127.0.0.1:1234 and ringfeed reads it through the receive ring and the frame
# parser, printing what got through each second. Runs in a private network
# namespace.  run-demo.sh NATIVE_TREE SECONDS
set -euo pipefail
tree=$(cd "$1" && pwd)
seconds=${2:-20}
here=$(cd "$(dirname "$0")" && pwd)

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  PAVIX_NO_DISPLAY=1 exec "$here/in-netns.sh" "$0" "$@"
fi

log=$(mktemp)
"$tree/tools/phonesim/phonesim" --listen 127.0.0.1:1234 --fps 30 --size 640x480 --quiet 2>"$log" &
sim=$!
trap 'kill $sim 2>/dev/null || true; wait $sim 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do
  grep -q 'listening on' "$log" && break
  sleep 0.05
done
echo "phone simulator: $(grep -m1 'listening on' "$log" || echo 'did not start')"
"$tree/tools/ringfeed/ringfeed" --connect 127.0.0.1:1234 --seconds "$seconds"
