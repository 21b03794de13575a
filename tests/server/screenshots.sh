#!/usr/bin/env bash
# Pictures of zandrel.dll's windows as a user sees them, for a person to look at: a real X
# display (Xvfb) with Wine's X11 driver, in a prefix of its own. Not a test; run by hand:
#   screenshots.sh <wine-run.sh> <zandrel.dll> <output dir>
set -uo pipefail
wine_run=$1 dll=$2 out=$3
mkdir -p "$out"
prefix=$(dirname "$dll")/../wineprefix-screens
display=:$((50 + RANDOM % 40))
Xvfb "$display" -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; WINEPREFIX=$prefix wineserver -k 2>/dev/null' EXIT
sleep 1
export DISPLAY=$display
source "$(dirname "$0")/lib.sh" "$wine_run" "$prefix" "$dll"
# Without a window manager Wine draws the captions itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null
wine regsvr32 /s "$dll_win"

shoot() {  # name: waits for a window titled "Nightly upload", photographs the screen
  local id=
  for _ in $(seq 100); do id=$(xdotool search --name "Nightly upload" 2>/dev/null | head -1); [[ -n $id ]] && break; sleep 0.2; done
  sleep 0.5
  import -window root "$out/$1.png"
  echo "$out/$1.png"
}

script=$(mktemp --suffix=.vbs)
cat >"$script" <<'VBS'
Set o = CreateObject("Zandrel.Quelto")
o.MaxTitle = "Nightly upload"
o.FlowControl = 1
r = o.TransferFiles(0, 1)
VBS
wine cscript //nologo "$(winpath "$script")" &
host=$!
shoot refusal-box
kill $host  # the box has been seen; the prefix's server goes at exit
rm -f "$script"
