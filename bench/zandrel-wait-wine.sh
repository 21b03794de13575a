#!/usr/bin/env bash
# Processor time of zandrel.exe under Wine while it waits for an XModem receiver that never
# starts (a silent line), and of Wine's server over the same time.
#   bench/zandrel-wait-wine.sh <mingw64 build folder> [seconds]
# Prints user and system seconds of the zandrel.exe process and the server's share.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd); seconds=${2:-10}
prefix=$build/wineprefix
file=$(mktemp /tmp/zandrel-wait.XXXXXX); head -c 10000 /dev/urandom >"$file"
trap 'rm -f "$file" "$file.time"' EXIT
run() {
  # Wine's start-up and shut-down alone, to take off the waiting run's figures.
  /usr/bin/time -f "%U %S %e" -o "$file.time" "$root/cmake/wine-run.sh" "$prefix" "$build/bin/zandrel.exe" --help >/dev/null
  read -r user0 system0 wall0 < <(tail -n 1 "$file.time")
  server=$(pgrep -u "$(id -u)" -f "wineserver" -n || true)  # the prefix's server, started by the warm-up
  before=$( [[ -n $server ]] && awk '{print $14+$15}' /proc/$server/stat || echo 0)
  /usr/bin/time -f "%U %S %e" -o "$file.time" \
    "$root/cmake/wine-run.sh" "$prefix" "$build/bin/zandrel.exe" send --quiet --port "COM$ZANDREL_COM_A" \
    --send-timeout "$seconds" "Z:${file//\//\\}" || true
  after=$( [[ -n $server ]] && awk '{print $14+$15}' /proc/$server/stat || echo 0)
  read -r user system wall < <(tail -n 1 "$file.time")
  ticks=$(getconf CLK_TCK)
  awk -v u="$user" -v s="$system" -v w="$wall" -v d="$((after - before))" -v t="$ticks" \
      -v u0="$user0" -v s0="$system0" -v w0="$wall0" 'BEGIN {
    printf "zandrel.exe run waiting for a receiver: %.1f s, %.2f s user + %.2f s system; wineserver %.2f s\n", w, u, s, d / t
    printf "zandrel.exe --help (Wine start-up alone): %.1f s, %.2f s user + %.2f s system\n", w0, u0, s0
    printf "waiting alone: %.2f s of processor in %.1f s = %.1f%% of a core\n", u + s - u0 - s0, w - w0, 100 * (u + s - u0 - s0) / (w - w0) }'
}
export -f run
export root build prefix seconds file
"$root/tests/wine/with-ptys.sh" "$prefix" bash -c run
