#!/usr/bin/env bash
# ZModem through ser2net, each side started the way its users start it, in one run: ser2net on
# the loopback in front of a socat pty pair (its RFC 2217 port and a raw one on the same pty),
# lrzsz on the far end. Sending: zandrel on rfc2217:// and on tcp://, against sz joined to the raw
# port by `socat TCP:... EXEC:sz`, each to rz; receiving: zandrel against `socat ... EXEC:rz`,
# each from sz. Prints time, throughput and processor time per MiB of our side (zandrel; socat
# and lrzsz together) and of ser2net over the same run.
#   bench/ser2net-zmodem.sh <native build folder> [MiB] [rounds]
set -euo pipefail
build=$(cd "$1" && pwd); mib=${2:-16}; rounds=${3:-3}
PATH=$PATH:/usr/sbin
for p in ser2net socat sz rz; do command -v $p >/dev/null || { echo "$p is not installed"; exit 1; }; done
work=$(mktemp -d /tmp/zandrel-ser2net-bench.XXXXXX)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; wait 2>/dev/null; rm -rf "$work"' EXIT
mkdir "$work/in" "$work/out"
socat pty,raw,echo=0,link="$work/a" pty,raw,echo=0,link="$work/b" 2>/dev/null & pids+=($!)
for _ in $(seq 100); do [[ -e $work/a && -e $work/b ]] && break; sleep 0.05; done

listening() { grep -q "$(printf ':%04X 00000000:0000 0A' "$1")" /proc/net/tcp; }
for _ in 1 2 3; do  # ports picked at random may be taken: ser2net then ends
  telnet=$((20000 + RANDOM % 30000)) raw=$((20000 + RANDOM % 30000))
  for port in "$telnet" "$raw"; do
    accepter=tcp; [[ $port == "$telnet" ]] && accepter="telnet(rfc2217),tcp"
    printf 'connection: &c%s\n  accepter: %s,127.0.0.1,%s\n  connector: serialdev,%s,115200n81,local\n' \
      "$port" "$accepter" "$port" "$work/a"
  done >"$work/ser2net.yaml"
  ser2net -n -c "$work/ser2net.yaml" >/dev/null 2>&1 & server=$!
  for _ in $(seq 50); do listening "$telnet" && listening "$raw" && break 2; sleep 0.1; done
  kill "$server" 2>/dev/null || true
done
pids+=("$server")
listening "$telnet" || { echo "ser2net did not start"; exit 1; }

head -c $((mib << 20)) /dev/urandom >"$work/out/big.bin"
cure=$build/tests/interop/libtcdrain_wait.so
[[ -r $cure ]] || cure=
ticks() { awk '{print $14 + $15}' "/proc/$server/stat"; }

# measure <label> <peer on the pty: a command line> <our side...>
measure() {
  local label=$1 peer=$2; shift 2
  rm -f "$work/in/big.bin"
  (cd "$work/${peer%% *}" && LD_PRELOAD=$cure exec ${peer#* } <"$work/b" >"$work/b" 2>/dev/null) & local peer_pid=$!
  local before; before=$(ticks)
  (cd "$work/in" && /usr/bin/time -f "%e %U %S" -o "$work/time" "$@" >/dev/null 2>&1) || true
  wait "$peer_pid" || true
  local after; after=$(ticks)
  cmp -s "$work/out/big.bin" "$work/in/big.bin" || echo "$label: the file arrived damaged or not at all"
  read -r wall user system <"$work/time"
  awk -v l="$label" -v w="$wall" -v u="$user" -v s="$system" -v m="$mib" -v d=$((after - before)) \
      -v t="$(getconf CLK_TCK)" 'BEGIN {
    printf "%-42s %6.2f s %6.2f MiB/s  %6.1f ms CPU/MiB  (ser2net %5.1f ms/MiB)\n",
           l, w, m / w, 1000 * (u + s) / m, 1000 * d / t / m }'
}

url_t=rfc2217://127.0.0.1:$telnet url_r=tcp://127.0.0.1:$raw
echo "$mib MiB of ZModem through ser2net, $rounds rounds"
for ((i = 1; i <= rounds; i++)); do
  measure "send: zandrel $url_t" "in rz -q -y" "$build/bin/zandrel" send --quiet --port "$url_t" --protocol zmodem "$work/out/big.bin"
  measure "send: zandrel $url_r" "in rz -q -y" "$build/bin/zandrel" send --quiet --port "$url_r" --protocol zmodem "$work/out/big.bin"
  measure "send: socat TCP EXEC:sz" "in rz -q -y" socat "TCP:127.0.0.1:$raw" "EXEC:sz -q $work/out/big.bin"
  measure "receive: zandrel $url_t" "out sz -q big.bin" "$build/bin/zandrel" receive --quiet --port "$url_t" --protocol zmodem --overwrite 4
  measure "receive: socat TCP EXEC:rz" "out sz -q big.bin" socat "TCP:127.0.0.1:$raw" "EXEC:rz -q -y"
done
