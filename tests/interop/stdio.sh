#!/usr/bin/env bash
# zandrel with its standard input and output as the port (--port -), run the ways users run it:
# in socat pipelines with lrzsz over a socket pair, pipes, TCP on loopback and a login terminal
# (a cooked pty that is standard error too); our own sender and receiver joined by a shell
# pipeline for each protocol; the status of a run whose peer leaves, whose time runs out, that
# the user interrupts or that the far end cancels; and as picocom's send and receive commands
# (picocom driven through tmux on one end of a socat pty pair, lrzsz on the other).
#   stdio.sh <build folder>
set -uo pipefail
source "$(dirname "$0")/../prerequisite.sh"
require socat sz rz sx picocom tmux timeout
build=$(cd "$1" && pwd)
zandrel=$build/bin/zandrel cure=$build/tests/interop/libtcdrain_wait.so
[[ -x $zandrel && -f $cure ]] || { echo "FAIL: $zandrel or $cure not built"; exit 1; }
work=$(mktemp -d /tmp/zandrel-stdio.XXXXXX) failures=0
tmux=(tmux -L "zandrel-stdio-$$")
trap '"${tmux[@]}" kill-server 2>/dev/null; kill $(jobs -p) 2>/dev/null; wait; rm -rf "$work"' EXIT
check() { if [[ $2 == "$3" ]]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi; }
until_() { for _ in $(seq 100); do "$@" && return 0; sleep 0.1; done; "$@"; }  # 10 s at most
differ() { local d=$1 f; shift; for f; do cmp -s "$work/out/$f" "$d/$f" || echo "$f"; done; }  # files of out/ not so in $1

mkdir -p "$work"/{out,in,peer}
cd "$work/out" || exit 1
head -c $((16 << 20)) /dev/urandom >big.bin
for f in one two three four; do head -c $((RANDOM * 7 + 1)) /dev/urandom >$f.bin; done
head -c $((128 * 300)) /dev/urandom >x.bin  # XModem pads to whole blocks
for i in $(seq 400); do printf 'line %d of a DOS text file\r\n' "$i"; done >t.txt
printf '#!/bin/sh\n"%s" "$@"; s=$?; echo $s >"%s/status"; exit $s\n' "$zandrel" "$work" >"$work/z"
chmod +x "$work/z"  # our side for socat, which keeps only its own exit status

# socat pipelines: the line, zandrel's arguments, the peer, where files arrive, which.
rz="cd $work/peer && exec rz -q -y" sz="cd $work/out && exec sz -q" sx="cd $work/out && exec sx -q"
while IFS='|' read -r line ours theirs into files; do
  rm -f "$work/status" "$work"/in/* "$work"/peer/* "$work/listen.log"  # no port of the row before
  case $line in pipes) mine=,pipes peer=,pipes ;; terminal) mine=,pty,stderr,setsid,ctty peer= ;; *) mine= peer= ;; esac
  if [[ $line == TCP ]]; then
    socat -d -d TCP-LISTEN:0,bind=127.0.0.1 "SYSTEM:$theirs" 2>"$work/listen.log" &
    until_ grep -q 'listening on' "$work/listen.log"
    socat "EXEC:$work/z $ours" TCP:127.0.0.1:"$(sed -n 's/.*listening on .*:\([0-9]*\)$/\1/p' "$work/listen.log")" ||
      kill $!  # a listener nobody reached would be waited for for ever
    wait $!
  else
    socat "EXEC:$work/z $ours$mine" "SYSTEM:$theirs$peer"
  fi </dev/null 2>>"$work/ours.log"
  check "$line: zandrel $ours" "0 " "$(cat "$work/status") $(differ "$work/$into" $files)"
done <<EOF
socket pair|send --port - --protocol zmodem big.bin|$rz|peer|big.bin
socket pair|receive --port - --protocol zmodem --dir $work/in|$sz one.bin two.bin|in|one.bin two.bin
pipes|receive --port - --protocol zmodem --dir $work/in|$sz big.bin|in|big.bin
pipes|send --port - --protocol zmodem three.bin four.bin|$rz|peer|three.bin four.bin
TCP|send --port - --protocol zmodem big.bin|$rz|peer|big.bin
TCP|receive --port - --protocol zmodem --dir $work/in|$sz one.bin|in|one.bin
terminal|send --port - --protocol zmodem two.bin|$rz|peer|two.bin
terminal|receive --port - --protocol xmodem --dir $work/in x.bin|$sx x.bin|in|x.bin
EOF

# Our own sender and receiver joined by a pipeline (the way back through a fifo).
mkfifo "$work/back"
for row in "xmodem x.bin" "zmodem one.bin" "acknak t.txt"; do
  set -- $row
  rm -f "$work"/in/*
  "$zandrel" send --port - --protocol "$1" --quiet "$2" <"$work/back" |
    "$zandrel" receive --port - --protocol "$1" --quiet --dir "$work/in" "$2" >"$work/back"
  check "$1: zandrel send | zandrel receive" "0 0 " "${PIPESTATUS[*]} $(differ "$work/in" "$2")"
done

# How a run ends. A fifo opened for reading and writing is a peer that neither sends nor leaves;
# timeout only catches a run that would never end.
mkfifo "$work/silent"
exec 8<>"$work/silent" 2>>"$work/ours.log"
cd "$work/in" || exit 1
true | timeout 30 "$zandrel" receive --port - --protocol zmodem >/dev/null
check "input at its end: communications error" 15 "${PIPESTATUS[1]}"
timeout 30 "$zandrel" send --port - --protocol zmodem "$work/out/one.bin" <&8 | true
check "output's reader gone: communications error, not SIGPIPE" 15 "${PIPESTATUS[0]}"
timeout 30 "$zandrel" receive --port - --protocol xmodem --recv-timeout 1 late.bin <&8 >/dev/null
check "silent peer: time-out" 5 $?
"$zandrel" receive --port - --protocol zmodem <&8 >/dev/null 2>"$work/waiting.log" &
until_ grep -q 'Waiting for sender' "$work/waiting.log"
kill -INT $!
wait $!
check "Ctrl-C: cancelled" 6 $?
# sz sends from a fifo that stops after 3000 bytes, and cancels on the line when terminated.
mkfifo "$work/out/stalls.bin"
(head -c 3000 /dev/urandom && exec sleep 60) >"$work/out/stalls.bin" &
(cd "$work/out" && echo $BASHPID >"$work/sz.pid" && exec sz -q stalls.bin) <"$work/back" |
  "$zandrel" receive --port - --protocol zmodem --dir "$work/in" >"$work/back" &
until_ test -s "$work/in/stalls.bin"
kill -TERM "$(cat "$work/sz.pid")"
wait $!
check "far end cancelled: cancelled by the remote" 16 $?
# A login terminal that is standard error too carries nothing but the protocol until the end.
socat "EXEC:$work/z receive --port - --protocol zmodem --recv-timeout 1,pty,stderr,setsid,ctty" \
  "SYSTEM:exec cat >$work/captured"
check "login terminal, silent peer: time-out; its ZRINIT sent, no progress among the bytes" "5 1 0" \
  "$(cat "$work/status") $(grep -ac -m1 B0100 "$work/captured") $(grep -ac 'Waiting for sender' "$work/captured")"

# picocom on end a of a pty pair, its commands zandrel on the port it holds; lrzsz on end b.
socat pty,raw,echo=0,link="$work/a" pty,raw,echo=0,link="$work/b" &
until_ test -e "$work/a" -a -e "$work/b"
"${tmux[@]}" new-session -d -x 160 -y 50 -c "$work/out" "HOME=$work picocom --send-cmd \
  '$zandrel send --port - --send-timeout 20' --receive-cmd '$zandrel receive --port - --recv-timeout 20' $work/a; sleep 600"
screen() { "${tmux[@]}" capture-pane -p -S -1000; }
shows() { (($(screen | grep -c -- "$1") >= $2)); }
until_ shows 'Terminal ready' 1
found=$(stty -g <"$work/a")
in_picocom() {  # picocom's key (C-s send, C-r receive), what is typed at its prompt, where the
  local key=$1 typed=$2 into=$3 files=$4 runs  # files arrive, which, then the peer's command
  shift 4
  rm -f "$work"/in/* "$work"/peer/*
  (cd "$work/$([[ $1 == rz ]] && echo peer || echo out)" && LD_PRELOAD=$cure exec "$@" <"$work/b" >"$work/b") &
  runs=$(screen | grep -c 'exit status')
  "${tmux[@]}" send-keys C-a "$key"
  until_ shows '\*\*\* file:' $((runs + 1))
  "${tmux[@]}" send-keys -l -- "$typed" \; send-keys Enter
  wait $!
  check "picocom: zandrel $typed, $*" "0 " "$? $(until_ shows 'exit status' $((runs + 1)); differ "$work/$into" $files)"
}
in_picocom C-s "--protocol zmodem one.bin two.bin three.bin" peer "one.bin two.bin three.bin" rz -q -y
in_picocom C-r "--protocol zmodem --dir $work/in" in "four.bin two.bin" sz -q four.bin two.bin
in_picocom C-r "--protocol xmodem --dir $work/in x.bin" in x.bin sx -q x.bin
check "picocom: every exit status 0, progress on its screen, its port as it left it" "3 3 1 $found" \
  "$(screen | grep -c 'exit status: 0') $(screen | grep -c 'exit status') $(screen | grep -c '3 / 3 File(s) sent.') $(stty -g <"$work/a")"

((failures)) && { echo "$failures check(s) failed"; screen | tail -40; tail -20 "$work/ours.log"; exit 1; }
echo "ALL PASSED"
