#!/usr/bin/env bash
# One whole ZModem transfer through the job and its progress window under Wine, against lrzsz on
# the other end of a pty pair, checked byte for byte with its log. Run inside with-ptys.sh:
#   window-transfer.sh <wine-run.sh> <prefix> <ProgressWindowDemo.exe> <send|receive>
# "send" means the window's job sends (to rz); "receive" that it receives (from sz).
set -uo pipefail
wine_run=$1 prefix=$2 exe=$3 direction=$4
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d /tmp/zandrel-window-transfer.XXXXXX)
peer_pid=
cleanup() {
  [[ -n $peer_pid ]] && kill "$peer_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
command -v sz >/dev/null && command -v rz >/dev/null || { echo "window-transfer: lrzsz missing; skipped"; exit 77; }
mkdir "$work/in" "$work/out"
head -c 150000 /dev/urandom >"$work/out/one.bin"
head -c 3000 /dev/urandom >"$work/out/two.bin"
winpath() { echo "Z:${1//\//\\}"; }
preload=$work/libtcdrain_wait.so
cc -shared -fPIC -o "$preload" "$here/../interop/tcdrain_wait.c" -ldl 2>/dev/null || preload=

peer() {
  (cd "$work/in" && LD_PRELOAD=$preload "$@" <"$ZANDREL_PTY_B" >"$ZANDREL_PTY_B" 2>"$work/peer.txt") &
  peer_pid=$!
}
if [[ $direction == receive ]]; then
  peer sz -q -b "$work/out/one.bin" "$work/out/two.bin"
  "$wine_run" "$prefix" "$exe" receive "COM$ZANDREL_COM_A" --log "$(winpath "$work/zandrel.log")" \
    --dir "$(winpath "$work/in")" >"$work/window.txt" 2>&1
else
  peer rz -q -b
  sleep 0.5  # rz first, so that its first request is not lost
  "$wine_run" "$prefix" "$exe" send "COM$ZANDREL_COM_A" --log "$(winpath "$work/zandrel.log")" \
    "$(winpath "$work/out/one.bin")" "$(winpath "$work/out/two.bin")" >"$work/window.txt" 2>&1
fi
status=$?
wait "$peer_pid"; peer_status=$?; peer_pid=
echo "-- window (exit $status):"; cat "$work/window.txt"
echo "-- peer (exit $peer_status):"; cat "$work/peer.txt"
echo "-- log:"; cat "$work/zandrel.log" 2>/dev/null
fail=0
[[ $status == 0 && $peer_status == 0 ]] || fail=1
grep -q "result 0, 2 file(s) seen, 2 transferred" "$work/window.txt" || fail=1
for f in one.bin two.bin; do
  cmp -s "$work/out/$f" "$work/in/$f" || { echo "window-transfer: $f differs"; fail=1; }
  grep -q "^[^ ]*$f *OK " "$work/zandrel.log" || { echo "window-transfer: no OK entry for $f"; fail=1; }
done
[[ $fail == 0 ]] && echo "window-transfer: PASSED"
exit $fail
