#!/usr/bin/env bash
# The setup windows under real keyboard and mouse input (xdotool into Wine's X11 windows on a
# virtual display): mnemonics, tab order, default buttons and a correction on leaving a field,
# which window messages alone cannot prove.
#   setup-input.sh <wine prefix> <setup-show.exe>
# Without Xvfb or xdotool: skipped, or under CI failed (tests/prerequisite.sh).
set -uo pipefail
prefix=$1 show=$2
source "$(dirname "$0")/../prerequisite.sh"
require Xvfb xdotool
source "$(dirname "$0")/xvfb-wine.sh"
wine_bits_of "$show"
out=$(mktemp)
trap 'xvfb_stop; rm -f "$out"' EXIT
xvfb_start "$prefix" || exit 1
passed=0 failed=0
expect() {  # name=value lines the run must have printed
  local line printed
  printed=$(tr -d '\r' <"$out")  # the program writes its lines with CR LF
  for line in "$@"; do
    if grep -qxF -- "$line" <<<"$printed"; then passed=$((passed + 1)); else
      echo "missing: $line"; failed=$((failed + 1)); fi
  done
}
run() {  # setup-show arguments; the input follows in the caller
  wine "$show" "$@" >"$out" 2>/dev/null &
  shown=$!
}
finish() {
  for _ in $(seq 100); do kill -0 "$shown" 2>/dev/null || break; sleep 0.1; done
  kill "$shown" 2>/dev/null
  wait "$shown" 2>/dev/null
}

# General page: Alt+P and a letter pick the next protocol of that letter after ZModem, XModem-1K
# (XON/XOFF falls back to None), Alt+M and 75 typed, Tab away corrects it to 50, Logging's Alt+F
# checks Log To File, Enter is OK.
run sheet Protocol=1 FlowControl=1
xvfb_keys 'Setup Zandrel' alt+p x alt+m
xvfb_type 'Setup Zandrel' 75
xvfb_keys 'Setup Zandrel' Tab
xvfb_click 'Setup Zandrel' 145 37
xvfb_keys 'Setup Zandrel' alt+f alt+l ctrl+a
xvfb_type 'Setup Zandrel' 'C:\logs\typed.log'
xvfb_keys 'Setup Zandrel' Return
finish
expect ran=1 Protocol=4 FlowControl=0 MaxErrors=50 LogToFile=1 'LogFilename=C:\logs\typed.log'

# Send File As ...: Down to the second row, Alt+E edits it, the receiver name typed over the
# selected text, Enter closes each dialog with its default button.
run sendas
xvfb_keys 'Send File As ...' Down alt+e
xvfb_window 'Edit Receiver File Name' >/dev/null
xvfb_type 'Edit Receiver File Name' 'incoming\inv.txt'
xvfb_keys 'Edit Receiver File Name' Return
sleep 0.5
xvfb_keys 'Send File As ...' Return
finish
expect button=1 'result=C:\Daten\Ausgang\Überweisung-日本.bin;Überweisung-日本.bin;C:\Daten\Ausgang\Bestand-😀.txt;incoming\inv.txt;C:\Daten\Ausgang\readme.txt;readme.txt'

# Edit Telephone Listing: the description first, Tab to the number, Enter for OK.
run phone
xvfb_type 'Edit Telephone Listing' 'Branch'
xvfb_keys 'Edit Telephone Listing' Tab
xvfb_type 'Edit Telephone Listing' '555-0199'
xvfb_keys 'Edit Telephone Listing' Return
finish
expect button=1 description=Branch number=555-0199

echo "$passed passed, $failed failed"
((failed == 0))
