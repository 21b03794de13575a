#!/usr/bin/env bash
# ZModem over a socket pair, joined the way users join programs with socat: a file (16 MiB by
# default) from zandrel send to rz, from sz to zandrel receive and between two zandrels, each
# beside sz to rz, interleaved round by round in one run. Prints per pairing the best and the
# median time, the median rate and each side's median processor time, and the ratio of the
# medians against sz to rz (below 1: faster than lrzsz).
#   bench/zandrel-stdio-bench.sh <build folder> [rounds] [MiB]
set -euo pipefail
build=$(cd "$1" && pwd) rounds=${2:-5} mib=${3:-16}
zandrel=$build/bin/zandrel
for p in socat sz rz /usr/bin/time "$zandrel"; do command -v "$p" >/dev/null || { echo "$p missing"; exit 1; }; done
work=$(mktemp -d /tmp/zandrel-stdio-bench.XXXXXX)
trap '[[ -n ${ZANDREL_BENCH_KEEP:-} ]] || rm -rf "$work"' EXIT
mkdir "$work/in"
head -c $((mib << 20)) /dev/urandom >"$work/data.bin"

declare -A senders receivers
senders=([lrzsz]="sz -q data.bin" [zandrel]="$zandrel send --port - --protocol zmodem --quiet data.bin")
receivers=([lrzsz]="rz -q -y" [zandrel]="$zandrel receive --port - --protocol zmodem --quiet")
pairings=("lrzsz lrzsz" "zandrel lrzsz" "lrzsz zandrel" "zandrel zandrel")
# One side as socat starts it, its wall and processor seconds appended to $work/<name>.
side() { echo "SYSTEM:cd $2 && exec /usr/bin/time -f %e/%U/%S -a -o $work/$1 $3"; }
for ((round = 1; round <= rounds; round++)); do
  for pairing in "${pairings[@]}"; do
    set -- $pairing
    rm -f "$work/in/data.bin"
    start=$(date +%s%N)
    socat "$(side "$1-$2.send" "$work" "${senders[$1]}")" "$(side "$1-$2.receive" "$work/in" "${receivers[$2]}")"
    echo $((($(date +%s%N) - start) / 1000)) >>"$work/$1-$2.wall"
    cmp -s "$work/data.bin" "$work/in/data.bin" || echo "round $round, $1 to $2: the file differs"
  done
done

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
printf '%d MiB of ZModem over a socket pair, %d rounds (CPU: user + system seconds)\n' "$mib" "$rounds"
printf '%-20s %8s %8s %10s %11s %11s %9s\n' "sender -> receiver" "best s" "median s" "MiB/s" "sender CPU" "receiver CPU" "vs lrzsz"
reference=$(median <"$work/lrzsz-lrzsz.wall")
for pairing in "${pairings[@]}"; do
  set -- $pairing
  wall=$(median <"$work/$1-$2.wall")
  best=$(sort -n "$work/$1-$2.wall" | head -1)
  send=$(awk -F/ '{ print $2 + $3 }' "$work/$1-$2.send" | median)
  receive=$(awk -F/ '{ print $2 + $3 }' "$work/$1-$2.receive" | median)
  awk -v n="$1 -> $2" -v b="$best" -v w="$wall" -v m="$mib" -v s="$send" -v r="$receive" -v ref="$reference" \
    'BEGIN { printf "%-20s %8.3f %8.3f %10.1f %11.2f %11.2f %9.2f\n", n, b / 1e6, w / 1e6, m / (w / 1e6), s, r, w / ref }'
done
