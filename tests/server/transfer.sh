#!/usr/bin/env bash
# Real transfers through Zandrel.Quelto: a VBScript (Transfer.vbs, which first checks what that
# language passes) sets the properties and calls TransferFiles over Wine's COM port, lrzsz is on
# the other end of the pty pair. Run inside with-ptys.sh (the object on COM$ZANDREL_COM_A, the
# peer on $ZANDREL_PTY_B):
#   transfer.sh <wine-run.sh> <prefix> <zandrel.dll> <PressCancel.exe> <case>
# Cases: zmodem-receive (three files from sz), zmodem-many (three files and 200 small ones to rz),
# xmodem-directory (a folder as the file), cancel (Cancel pressed while sending to rz), installed
# (one file to rz through the object an installer registered: nothing registered here), ymodem
# (Protocol 3: three files to rb), xmodem1k (Protocol 4: one file to rx, which keeps the padding).
# An XModem send to rx -c is zandrel.exe's (tests/wine), names of files that are not there
# ZModemTest's.
set -uo pipefail
source "$(dirname "$0")/../prerequisite.sh"
require sz rz rx rb
source "$(dirname "$0")/lib.sh" "$1" "$2" "$3"
press_cancel=$4 case=$5
# The first file's name is outside ASCII, so that every case also shows the object's texts (the
# file list, the log) and the file layer keep it: it must arrive as the same UTF-8 bytes. Wine
# takes Linux arguments and file names in the locale's encoding.
export LC_ALL=C.UTF-8
one="Überweisung-日本.bin"
source "$here/../wine/peer.sh"
log=$work/zandrel.log
files() {  # Windows list of the named files of out/
  local list= f
  for f in "$@"; do list+="${list:+;}$(winpath "$work/out/$f")"; done
  echo "$list"
}
object() {  # protocol transfer fileList result attempted transferred
  ${register:-registered} none
  [[ $2 == 1 ]] && sleep 0.5  # the receiving peer first, so that its first request is not lost
  run_script "$here/Transfer.vbs" "$ZANDREL_COM_A" "$1" "$2" "$3" "$(winpath "$log")" "$4" "$5" "$6"
}
arrived() {  # files of out/ that must have arrived in in/ unchanged, each with an "OK" log line
  local f
  for f in "$@"; do
    check "$f arrived whole" same "$(cmp -s "$work/out/$f" "$work/in/$f" && echo same || echo differs)"
    grep -qE "^\S*$f +OK " "$log" || check "log entry OK for $f" yes no
  done
}

for f in "$one" two.bin three.bin; do head -c $((RANDOM * 3 + 1)) /dev/urandom >"$work/out/$f"; done
case $case in
  zmodem-receive)
    peer sz -q -b "$work/out/$one" "$work/out/two.bin" "$work/out/three.bin"
    (cd "$work/in" && object 1 0 "" 0 3 3)  # files land in the host's current folder
    peer_end 20
    check "sz ended well" 0 "$peer_status"
    arrived "$one" two.bin three.bin ;;
  zmodem-many)
    names=("$one" two.bin three.bin)
    for i in $(seq -w 1 200); do echo "file $i" >"$work/out/f$i.txt"; names+=("f$i.txt"); done
    peer rz -q -b
    object 1 1 "$(files "${names[@]}")" 0 203 203
    peer_end 30
    check "rz ended well" 0 "$peer_status"
    check "files received" 203 "$(ls "$work/in" | wc -l)"
    arrived "$one" two.bin three.bin f001.txt f200.txt ;;
  installed)
    peer rz -q -b
    register=machine object 1 1 "$(files "$one")" 0 1 1
    peer_end 20
    check "rz ended well" 0 "$peer_status"
    arrived "$one" ;;
  ymodem)
    peer rb -q
    object 3 1 "$(files "$one" two.bin three.bin)" 0 3 3
    peer_end 20
    check "rb ended well" 0 "$peer_status"
    arrived "$one" two.bin three.bin ;;
  xmodem1k)
    peer rx -q -c "$one"
    object 4 1 "$(files "$one")" 0 1 1
    peer_end 20
    check "rx ended well" 0 "$peer_status"
    check "$one arrived" same "$(cmp -s -n "$(stat -c %s "$work/out/$one")" "$work/out/$one" "$work/in/$one" && echo same)" ;;
  xmodem-directory)
    object 0 1 "$(winpath "$work/out")" 8 1 0 ;;  # no file behind the name: "No files sent."
  cancel)
    head -c 30000000 /dev/urandom >"$work/out/big.bin"
    peer rz -q -b
    WINEDEBUG=-all wine "$press_cancel" "Zandrel transfer test" &
    presser=$!
    object 1 1 "$(files big.bin)" 6 1 0
    wait $presser
    check "Cancel pressed" 0 $?
    peer_end 20
    check "rz was cancelled, not left hanging" yes "$([[ $peer_status != hung && $peer_status != 0 ]] && echo yes || echo no)"
    grep -q "User cancelled\." "$log" || check "log entry 'User cancelled.'" yes no ;;
  *) echo "unknown case $case"; exit 2 ;;
esac
echo "-- peer:"; tr '\r' '\n' <"$work/peer.txt" | grep -v '^$' | tail -3
echo "-- log:"; cat "$log" 2>/dev/null | tail -5
verdict
