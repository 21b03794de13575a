#!/usr/bin/env bash
# What waiting costs and how fast Ctrl-C ends it, zandrel beside lrzsz in one run, over a socat
# pty pair whose far end nobody serves:
#   - processor seconds of a receiver waiting S seconds for a sender (zandrel receive --protocol
#     zmodem, rz), of an XModem sender waiting for a receiver (zandrel send, sx), and of host mode
#     idling S seconds (zandrel receive --host);
#   - seconds from Ctrl-C (SIGINT) to the end of each zandrel wait.
#   bench/zandrel-wait.sh <native build folder> [seconds (30)]
set -uo pipefail
build=$(cd "$1" && pwd); seconds=${2:-30}
zandrel=$build/bin/zandrel
command -v socat >/dev/null && command -v rz >/dev/null && command -v sx >/dev/null || { echo "socat and lrzsz are needed"; exit 1; }
dir=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-wait.XXXXXX")
trap 'kill $socat 2>/dev/null; rm -rf "$dir"' EXIT
socat pty,raw,echo=0,link="$dir/a" pty,raw,echo=0,link="$dir/b" 2>/dev/null &
socat=$!
for _ in $(seq 100); do [[ -e $dir/b ]] && break; sleep 0.05; done
head -c 10000 /dev/urandom >"$dir/file.bin"
ticks=$(getconf CLK_TCK)

# Runs a command for $seconds, then SIGINT; prints CPU seconds, and the seconds from SIGINT to exit.
measure() {  # name, command...
  local name=$1; shift
  ( cd "$dir" && exec "$@" ) </dev/null >/dev/null 2>&1 &
  local pid=$!
  sleep "$seconds"
  local cpu
  cpu=$(awk -v t="$ticks" '{printf "%.3f", ($14 + $15) / t}' "/proc/$pid/stat" 2>/dev/null || echo "?")
  local sent=$(date +%s.%N)
  kill -INT "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  local ended=$(date +%s.%N)
  awk -v n="$name" -v c="$cpu" -v s="$seconds" -v a="$sent" -v b="$ended" \
    'BEGIN {printf "  %-34s CPU %6.3f s in %d s (%5.2f%% of a core)   Ctrl-C to exit %.2f s\n", n, c, s, 100 * c / s, b - a}'
}

echo "Waiting $seconds s on a silent line:"
measure "zandrel receive (zmodem)" "$zandrel" receive --protocol zmodem --recv-timeout 0 --port "$dir/a"
measure "rz" sh -c "exec rz <'$dir/a' >'$dir/a'"
measure "zandrel send (xmodem)" "$zandrel" send --send-timeout 0 --port "$dir/a" "$dir/file.bin"
measure "sx" sh -c "exec sx '$dir/file.bin' <'$dir/a' >'$dir/a'"
measure "zandrel receive --host (zmodem)" "$zandrel" receive --protocol zmodem --host --port "$dir/a"
