#!/usr/bin/env bash
# Runs a command with emulated Hayes modems behind the pty pair of with-ptys.sh: modem 100 on the
# far end of COM3 (ZANDREL_PTY_B), and modem 200, which answers every call and echoes its data:
#   with-emulator.sh <hayes-emulator> command [args...]
# The command sees ZANDREL_EMULATOR_LOG, modem 100's log.
set -uo pipefail
emulator=$1; shift
[[ -x $emulator ]] || { echo "with-emulator: $emulator is not built" >&2; exit 1; }
dir=$(mktemp -d /tmp/zandrel-emulator.XXXXXX)
"$emulator" "$dir" "100@$ZANDREL_PTY_B" "200=cat" 2>"$dir/emulator.err" &
pid=$!
trap 'kill $pid 2>/dev/null; wait $pid 2>/dev/null; rm -rf "$dir"' EXIT
for _ in $(seq 100); do
  [[ -e $dir/ready ]] && break
  sleep 0.05
done
export ZANDREL_EMULATOR_LOG=$dir/100.log
"$@"
