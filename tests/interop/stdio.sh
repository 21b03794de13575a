#!/usr/bin/env bash
# zandrel with its standard input and output as the port (--port -), run the ways users run it:
# as picocom's send and receive commands (picocom driven through tmux on one end of a socat pty
# pair, lrzsz on the other); in socat pipelines with lrzsz over a socket pair, pipes, TCP on
# loopback and a login terminal (a pty that is standard error too); our own sender and receiver
# joined by a shell pipeline for each protocol; and the status of a run whose peer leaves, whose
# time runs out, that the user interrupts or that the far end cancels.
#   stdio.sh <build folder>
set -uo pipefail
source "$(dirname "$0")/../prerequisite.sh"
require socat sz rz sx picocom tmux timeout
build=$(cd "$1" && pwd)
zandrel=$build/bin/zandrel cure=$build/tests/interop/libtcdrain_wait.so
[[ -x $zandrel && -f $cure ]] || { echo "FAIL: $zandrel or $cure not built"; exit 1; }
work=$(mktemp -d /tmp/zandrel-stdio.XXXXXX)
tmux=(tmux -L "zandrel-stdio-$$")
cleanup() {
  "${tmux[@]}" kill-server 2>/dev/null
  kill $(jobs -p) 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
check() { if [[ $2 == "$3" ]]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi; }
arrived() { for f in "${@:2}"; do check "$1: $f byte-exact" same "$(cmp -s "$work/out/$f" "$work/in/$f" && echo same)"; done; }
# Polls (10 s at most) until the command succeeds.
until_() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; "$@"; }

mkdir -p "$work"/{out,in,peer}
cd "$work/out" || exit 1
head -c $((16 << 20)) /dev/urandom >big.bin
for f in one two three four; do head -c $((RANDOM * 7 + 1)) /dev/urandom >$f.bin; done
head -c $((128 * 300)) /dev/urandom >x.bin  # XModem pads to whole blocks
for i in $(seq 400); do printf 'line %d of a DOS text file\r\n' "$i"; done >t.txt
cp big.bin one.bin two.bin three.bin four.bin x.bin "$work/peer/"
# Our side for socat: zandrel with its exit status kept in $work/status (socat keeps its own).
printf '#!/bin/sh\n"%s" "$@"; s=$?; echo $s >"%s/status"; exit $s\n' "$zandrel" "$work" >"$work/z"
chmod +x "$work/z"
ours() { rm -f "$work/status" "$work"/in/*; echo "EXEC:$work/z $*"; }
theirs() { echo "SYSTEM:cd $work/peer && rm -f $* && exec"; }  # then the peer's command line
status() { cat "$work/status" 2>/dev/null; }

# socat pipelines with lrzsz, 16 MiB one way and a small batch the other on each kind of line.
socat "$(ours send --port - --protocol zmodem big.bin)" "$(theirs) rz -q -y" 2>>"$work/ours.log"
check "socket pair: zandrel send to rz" 0 "$(status)"
check "socket pair: big.bin byte-exact" same "$(cmp -s big.bin "$work/peer/big.bin" && echo same)"
socat "$(theirs) sz -q one.bin two.bin" "$(ours receive --port - --protocol zmodem --dir "$work/in")" 2>>"$work/ours.log"
check "socket pair: zandrel receive from sz" 0 "$(status)"
arrived "socket pair" one.bin two.bin
socat "$(theirs) sz -q big.bin",pipes "$(ours receive --port - --protocol zmodem --dir "$work/in")",pipes 2>>"$work/ours.log"
check "pipes: zandrel receive from sz" 0 "$(status)"
arrived pipes big.bin
socat "$(ours send --port - --protocol zmodem three.bin four.bin)",pipes "$(theirs three.bin four.bin) rz -q -y",pipes 2>>"$work/ours.log"
check "pipes: zandrel send to rz" 0 "$(status)"
check "pipes: the batch byte-exact" same "$(cmp -s three.bin "$work/peer/three.bin" && cmp -s four.bin "$work/peer/four.bin" && echo same)"
# TCP: lrzsz behind a listener on a port the system picks, zandrel connecting to it.
listen() {
  socat -d -d TCP-LISTEN:0,bind=127.0.0.1 "$1" 2>"$work/listen.log" &
  listener=$!
  until_ grep -q 'listening on' "$work/listen.log"
  port=$(sed -n 's/.*listening on .*:\([0-9]*\)$/\1/p' "$work/listen.log")
}
listen "$(theirs big.bin) rz -q -y"
socat "$(ours send --port - --protocol zmodem big.bin)" TCP:127.0.0.1:"$port" 2>>"$work/ours.log"
wait $listener
check "TCP: zandrel send to rz" 0 "$(status)"
check "TCP: big.bin byte-exact" same "$(cmp -s big.bin "$work/peer/big.bin" && echo same)"
listen "$(theirs) sz -q one.bin"
socat "$(ours receive --port - --protocol zmodem --dir "$work/in")" TCP:127.0.0.1:"$port" 2>>"$work/ours.log"
wait $listener
check "TCP: zandrel receive from sz" 0 "$(status)"
arrived TCP one.bin
# A login terminal (ssh -t, a web terminal): a cooked pty that is standard error too.
login=pty,stderr,setsid,ctty
socat "$(ours send --port - --protocol zmodem two.bin)",$login "$(theirs two.bin) rz -q -y" 2>>"$work/ours.log"
check "login terminal: zandrel send to rz" 0 "$(status)"
check "login terminal: two.bin byte-exact" same "$(cmp -s two.bin "$work/peer/two.bin" && echo same)"
socat "$(theirs) sx -q x.bin" "$(ours receive --port - --protocol xmodem --dir "$work/in" x.bin)",$login 2>>"$work/ours.log"
check "login terminal: zandrel receive from sx" 0 "$(status)"
arrived "login terminal" x.bin

# Our own sender and receiver, joined by a pipeline (the way back through a fifo).
mkfifo "$work/back"
for row in "xmodem x.bin" "zmodem one.bin" "acknak t.txt"; do
  set -- $row
  rm -f "$work"/in/*
  "$zandrel" send --port - --protocol "$1" --quiet "$2" <"$work/back" |
    "$zandrel" receive --port - --protocol "$1" --quiet --dir "$work/in" "$2" >"$work/back"
  check "$1: zandrel send | zandrel receive" "0 0" "${PIPESTATUS[*]}"
  arrived "$1" "$2"
done

# How a run ends. A fifo opened for reading and writing is a peer that neither sends nor leaves;
# timeout only catches a run that would never end.
mkfifo "$work/silent"
exec 8<>"$work/silent"
cd "$work/in" || exit 1
true | timeout 30 "$zandrel" receive --port - --protocol zmodem >/dev/null 2>>"$work/ours.log"
check "input at its end: communications error" 15 "${PIPESTATUS[1]}"
timeout 30 "$zandrel" send --port - --protocol zmodem "$work/out/one.bin" <&8 2>>"$work/ours.log" | true
check "output's reader gone: communications error, not SIGPIPE" 15 "${PIPESTATUS[0]}"
timeout 30 "$zandrel" receive --port - --protocol xmodem --recv-timeout 1 late.bin <&8 >/dev/null 2>>"$work/ours.log"
check "silent peer: time-out" 5 $?
"$zandrel" receive --port - --protocol zmodem <&8 >/dev/null 2>"$work/waiting.log" &
until_ grep -q 'Waiting for sender' "$work/waiting.log"
kill -INT $!
wait $!
check "Ctrl-C: cancelled" 6 $?
# sz sends from a fifo that stops after 3000 bytes, and cancels on the line when terminated.
mkfifo "$work/peer/stalls.bin"
(head -c 3000 /dev/urandom && exec sleep 60) >"$work/peer/stalls.bin" &
writer=$!
(cd "$work/peer" && echo $BASHPID >sz.pid && exec sz -q stalls.bin) <"$work/back" |
  "$zandrel" receive --port - --protocol zmodem --dir "$work/in" >"$work/back" 2>>"$work/ours.log" &
until_ test -s "$work/in/stalls.bin"
kill -TERM "$(cat "$work/peer/sz.pid")"
wait $!
check "far end cancelled: cancelled by the remote" 16 $?
kill $writer
# A login terminal that is standard error too carries nothing but the protocol until the end.
socat "$(ours receive --port - --protocol zmodem --recv-timeout 1)",$login "SYSTEM:exec cat >$work/captured" 2>>"$work/ours.log"
check "login terminal, silent peer: time-out" 5 "$(status)"
check "login terminal: its ZRINIT and no progress among the protocol bytes" "1 0" \
  "$(grep -ac -m1 'B0100' "$work/captured") $(grep -ac 'Waiting for sender' "$work/captured")"

# picocom on end a, its commands zandrel on the port it holds; lrzsz on end b.
socat pty,raw,echo=0,link="$work/a" pty,raw,echo=0,link="$work/b" 2>>"$work/ours.log" &
until_ test -e "$work/a" -a -e "$work/b"
"${tmux[@]}" new-session -d -x 160 -y 50 -c "$work/out" \
  "HOME=$work picocom --send-cmd '$zandrel send --port - --send-timeout 20' --receive-cmd '$zandrel receive --port - --recv-timeout 20' $work/a; sleep 600"
screen() { "${tmux[@]}" capture-pane -p -S -1000; }
shows() { (($(screen | grep -c -- "$1") >= $2)); }
until_ shows "Terminal ready" 1
found=$(stty -g <"$work/a")
peer() { (cd "$work/peer" && LD_PRELOAD=$cure exec "$@" <"$work/b" >"$work/b" 2>>"$work/peer.log") & }
runs=0
command() {  # picocom's key (C-s send, C-r receive) and what is typed at its prompt
  prompts=$(screen | grep -c '\*\*\* file:')
  "${tmux[@]}" send-keys C-a "$1"
  until_ shows '\*\*\* file:' $((prompts + 1))
  "${tmux[@]}" send-keys -l -- "$2"
  "${tmux[@]}" send-keys Enter
  runs=$((runs + 1))
  for _ in 1 2 3; do until_ shows 'exit status' $runs && break; done
}
peer rz -q -y
command C-s "--protocol zmodem one.bin two.bin three.bin"
wait $!
check "picocom: zandrel sends to rz, rz's exit" 0 $?
check "picocom: the batch byte-exact" same "$(for f in one two three; do cmp -s {"$work/out","$work/peer"}/$f.bin || echo differs; done; echo same)"
rm -f "$work"/in/*
peer sz -q four.bin two.bin
command C-r "--protocol zmodem --dir $work/in"
wait $!
check "picocom: zandrel receives from sz, sz's exit" 0 $?
arrived picocom four.bin two.bin
peer sx -q x.bin
command C-r "--protocol xmodem --dir $work/in x.bin"
wait $!
check "picocom: zandrel receives from sx, sx's exit" 0 $?
arrived picocom x.bin
check "picocom: every command's exit status 0" "3 3" "$(screen | grep -c 'exit status: 0') $(screen | grep -c 'exit status')"
check "picocom: progress on its screen" 1 "$(screen | grep -c '3 / 3 File(s) sent.')"
check "picocom: the port's settings as picocom left them" "$found" "$(stty -g <"$work/a")"

((failures)) && { echo "$failures check(s) failed"; screen | tail -40; tail -20 "$work/ours.log"; exit 1; }
echo "ALL PASSED"
