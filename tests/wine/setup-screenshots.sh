#!/usr/bin/env bash
# Photographs every page of the setup sheet, every setup dialog and the progress window in its
# states as Wine draws them on a virtual display, into <build>/screenshots (default
# build/mingw64), with the X11 prefix of the build folder. Needs the mingw64 build
# (bin/setup-show.exe), Xvfb, xdotool and ImageMagick.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$root/build/mingw64}")
out=$build/screenshots
show=$build/bin/setup-show.exe
mkdir -p "$out"
source "$root/tests/wine/xvfb-wine.sh"
wine_bits_of "$show"
trap xvfb_stop EXIT
xvfb_start "$build/wineprefix-x11"

# The sheet: each page in turn, chosen by a click on its tab, then Cancel.
wine "$show" sheet Protocol=1 FlowControl=2 WindowSize=1024 MaxErrors=10 LogToFile=1 >/dev/null &
shown=$!
for page in general:35 transfer:92 logging:145 modem:198; do
  xvfb_click 'Setup Zandrel' "${page#*:}" 37
  xvfb_shoot 'Setup Zandrel' "$out/setup-${page%%:*}.png"
done
xvfb_keys 'Setup Zandrel' Escape
wait "$shown"

# The receiver name's dialog is opened from "Send File As ..." with its Edit button.
for dialog in "sendas:Send File As ..." "phone:Edit Telephone Listing"; do
  wine "$show" "${dialog%%:*}" >/dev/null &
  shown=$!
  xvfb_shoot "${dialog#*:}" "$out/${dialog%%:*}.png"
  if [[ $dialog == sendas:* ]]; then
    xvfb_keys "${dialog#*:}" Down alt+e
    xvfb_shoot 'Edit Receiver File Name' "$out/receiver.png"
    xvfb_keys 'Edit Receiver File Name' Escape
  fi
  xvfb_keys "${dialog#*:}" Escape
  wait "$shown"
done

# The progress window: a run going on (twice, a second apart, to show the bar moving), the same
# run failed, the compact window, and the run and the compact window with the 1 KiB protocols.
for state in running failed compact running:Protocol=3 compact:Protocol=4; do
  wine "$show" progress ${state/:/ } >/dev/null &
  shown=$!
  xvfb_shoot 'Zandrel - Transfer' "$out/progress-${state/:Protocol=/-protocol}.png"
  if [[ $state == running ]]; then
    sleep 1
    xvfb_shoot 'Zandrel - Transfer' "$out/progress-running-later.png"
  fi
  xvfb_keys 'Zandrel - Transfer' Escape
  wait "$shown"
done
ls "$out"
