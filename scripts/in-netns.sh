#!/usr/bin/env bash
# Runs a command in a private network namespace that has only loopback (with
# the multicast route on it), a private /etc/hosts, and a virtual X display:
#   in-netns.sh [--hosts FILE] command [args...]
# Whatever the command sends stays on this machine. Needs root.
set -euo pipefail

hosts=""
if [ "${1:-}" = "--hosts" ]; then
  hosts=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: in-netns.sh [--hosts FILE] command [args...]" >&2; exit 2; }

if [ "${PAVIX_IN_NETNS:-}" != "1" ]; then
  here=$(cd "$(dirname "$0")" && pwd)
  if [ -z "$hosts" ]; then
    hosts=$(mktemp /tmp/pavix-hosts.XXXXXX)
    printf '127.0.0.1\tlocalhost\n::1\tlocalhost\n' >"$hosts"
  fi
  exec unshare --net --mount env PAVIX_IN_NETNS=1 PAVIX_HOSTS="$hosts" \
    "$here/in-netns.sh" "$@"
fi

# Inside the namespace.
ip link set lo up
ip route add 224.0.0.0/4 dev lo 2>/dev/null || true
mount --make-rprivate / 2>/dev/null || true
mount --bind "$PAVIX_HOSTS" /etc/hosts

# Everything started in here ends with the namespace: Wine's servers and
# any program a test left behind, then the display.
xvfb_pid=""
cleanup() {
  local ns pid
  ns=$(readlink /proc/$$/ns/net)
  local signal
  for signal in TERM KILL; do
    for proc in /proc/[0-9]*; do
      pid=${proc#/proc/}
      [ "$pid" = "$$" ] || [ "$pid" = "$xvfb_pid" ] && continue
      [ "$(readlink "$proc/ns/net" 2>/dev/null)" = "$ns" ] && kill -s "$signal" "$pid" 2>/dev/null
    done
    sleep 0.3
  done
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
  return 0
}
trap cleanup EXIT

if command -v Xvfb >/dev/null 2>&1 && [ -z "${PAVIX_NO_DISPLAY:-}" ]; then
  # The namespace has its own abstract socket space but shares /tmp/.X11-unix,
  # so pick a display number nobody uses.
  for n in $(seq 90 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [ -e "/tmp/.X11-unix/X$n" ] && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=":$n"
      break
    fi
    xvfb_pid=""
  done
fi

"$@"
