#!/usr/bin/env bash
# The main job, end to end: builds zandrel, joins two pseudo-terminals with socat (a virtual
# null-modem cable), receives with one zandrel while another sends a random file over XModem,
# and checks that what arrived is the file followed by XModem's 0x00 padding to 128 bytes.
# Exit status 0 when the files match, 1 otherwise.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
size=${ZANDREL_DEMO_SIZE:-50000}

"$root/scripts/install-deps.sh"
echo "== building zandrel (build/native)"
cmake -S "$root" -B "$root/build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZANDREL_WERROR=ON >/dev/null
cmake --build "$root/build/native" --target zandrel -j "$(nproc)" >/dev/null
zandrel="$root/build/native/bin/zandrel"

work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-demo.XXXXXX")
socat_pid=""
receiver_pid=""
cleanup() {
  [[ -n "$receiver_pid" ]] && kill "$receiver_pid" 2>/dev/null || true
  [[ -n "$socat_pid" ]] && kill "$socat_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

echo "== starting the virtual null-modem cable (socat pty pair)"
socat pty,raw,echo=0,link="$work/port-a" pty,raw,echo=0,link="$work/port-b" 2>"$work/socat.log" &
socat_pid=$!
for _ in $(seq 50); do
  [[ -e "$work/port-a" && -e "$work/port-b" ]] && break
  sleep 0.1
done
if [[ ! -e "$work/port-a" || ! -e "$work/port-b" ]]; then
  echo "socat did not make the pty pair:"; cat "$work/socat.log"; exit 1
fi

head -c "$size" /dev/urandom >"$work/sample.bin"
echo "== sending $size random bytes with XModem: $work/port-a -> $work/port-b"
"$zandrel" receive --port "$work/port-b" --protocol xmodem --recv-timeout 20 \
  --log "$work/transfer.log" "$work/received.bin" 2>"$work/receiver.txt" &
receiver_pid=$!
sleep 0.3
send_status=0
"$zandrel" send --port "$work/port-a" --protocol xmodem --send-timeout 20 "$work/sample.bin" \
  2>"$work/sender.txt" || send_status=$?
receive_status=0
wait "$receiver_pid" || receive_status=$?
receiver_pid=""
echo "-- sender said:"; sed 's/^/   /' "$work/sender.txt"
echo "-- receiver said:"; sed 's/^/   /' "$work/receiver.txt"
echo "-- transfer log:"; sed 's/^/   /' "$work/transfer.log" 2>/dev/null || true

# What must arrive: the file, then 0x00 up to the next multiple of 128.
padding=$(( (128 - size % 128) % 128 ))
{ cat "$work/sample.bin"; head -c "$padding" /dev/zero; } >"$work/expected.bin"
if [[ $send_status -eq 0 && $receive_status -eq 0 ]] && cmp -s "$work/expected.bin" "$work/received.bin"; then
  echo "PASS: the received file is the sent file plus $padding bytes of 0x00 padding"
  exit 0
fi
echo "FAIL: sender exit $send_status, receiver exit $receive_status; files differ or are missing"
exit 1
