#!/usr/bin/env bash
# Runs a command with one socat pty pair behind COM3 and COM4 of a private Wine prefix, the
# way a null-modem cable joins two serial ports:
#   with-ptys.sh <prefix dir> command [args...]
# The command sees ZANDREL_COM_A=3 and ZANDREL_COM_B=4 (the two ends as COM port numbers),
# and ZANDREL_PTY_A and ZANDREL_PTY_B (the same ends as pty paths, for native peers).
set -uo pipefail
prefix=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/../../cmake/wine-run.sh" "$prefix" --prepare || exit 1

dir=$(mktemp -d /tmp/zandrel-ptys.XXXXXX)
socat_pid=
cleanup() {
  [[ -n $socat_pid ]] && kill "$socat_pid" 2>/dev/null && wait "$socat_pid" 2>/dev/null
  rm -f "$prefix/dosdevices/com3" "$prefix/dosdevices/com4"
  rm -rf "$dir"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$dir/a" pty,raw,echo=0,link="$dir/b" 2>"$dir/socat.log" &
socat_pid=$!
for _ in $(seq 100); do
  [[ -e $dir/a && -e $dir/b ]] && break
  sleep 0.05
done
if [[ ! -e $dir/a || ! -e $dir/b ]]; then
  echo "with-ptys: socat made no pty pair" >&2; cat "$dir/socat.log" >&2; exit 1
fi
ln -sfn "$dir/a" "$prefix/dosdevices/com3"
ln -sfn "$dir/b" "$prefix/dosdevices/com4"

export ZANDREL_COM_A=3 ZANDREL_COM_B=4
export ZANDREL_PTY_A=$dir/a ZANDREL_PTY_B=$dir/b
"$@"
