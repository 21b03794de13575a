#!/usr/bin/env bash
# Screenshots of the Windows windows, drawn by Wine's X11 driver on a private Xvfb display:
#   scripts/screenshots.sh [mingw64 build folder]
# Writes <build>/screenshots/progress-<state>.png (running: twice, a second apart, to show the
# bar moving) and refusal-box.png. Uses a prefix of its own so the tests' headless prefix stays
# as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw64}" && pwd)
demo=$build/tests/wine/ProgressWindowDemo.exe
[[ -x $demo ]] || { echo "screenshots: build $demo first" >&2; exit 1; }
out=$build/screenshots
prefix=$build/wineprefix-x11
mkdir -p "$out"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
demo_pid=
cleanup() {
  [[ -n $demo_pid ]] && kill "$demo_pid" 2>/dev/null
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null
  wait 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
"$root/cmake/wine-run.sh" "$prefix" --prepare
# No window manager here: Wine draws the captions and frames itself, with the caption buttons from
# Marlett, which this Wine finds only in the prefix's own font folder.
WINEPREFIX=$prefix wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
for font in /usr/share/wine/fonts/marlett.ttf; do
  [[ -f $font && ! -f $prefix/drive_c/windows/Fonts/${font##*/} ]] && cp "$font" "$prefix/drive_c/windows/Fonts/"
done

shot() {  # state, then file names to write, one per second
  local state=$1; shift
  local fifo=$out/.ready
  rm -f "$fifo"; mkfifo "$fifo"
  "$root/cmake/wine-run.sh" "$prefix" "$demo" shot "$state" >"$fifo" 2>/dev/null &
  demo_pid=$!
  local ready x y w h
  read -r ready x y w h <"$fifo" || { echo "screenshots: $state never got ready" >&2; exit 1; }
  h=${h%$'\r'}  # a Windows program's line end
  local margin=12
  sleep 0.5
  xdotool mousemove $((x + w / 2)) $((y + 8)) click 1  # a click on the caption makes it the active window
  sleep 0.3
  for name in "$@"; do
    import -window root -crop "$((w + 2 * margin))x$((h + 2 * margin))+$((x - margin))+$((y - margin))" \
      +repage "$out/$name"
    echo "screenshots: $out/$name"
    sleep 1
  done
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  wait "$demo_pid" 2>/dev/null || true
  demo_pid=
  rm -f "$fifo"
}
shot running progress-running.png progress-running-later.png
shot failed progress-failed.png
shot compact progress-compact.png

# The box TransferFiles shows a script host that asks for XON/XOFF without ZModem.
export WINEPREFIX=$prefix
wine regsvr32 /s "Z:${build//\//\\}\\bin\\zandrel.dll"
printf 'Set o = CreateObject("Zandrel.Quelto")\r\no.MaxTitle = "Nightly upload"\r\no.FlowControl = 1\r\nr = o.TransferFiles(0, 1)\r\n' \
  >"$out/.refusal.vbs"
wine cscript //nologo "Z:${out//\//\\}\\.refusal.vbs" >/dev/null 2>&1 &
demo_pid=$!
for _ in $(seq 100); do xdotool search --onlyvisible --name '^Nightly upload$' >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
import -window root "$out/refusal-box.png" && echo "screenshots: $out/refusal-box.png"
wineserver -k 2>/dev/null || true
wait "$demo_pid" 2>/dev/null || true
demo_pid=
rm -f "$out/.refusal.vbs"

# The setup sheet's pages and the setup dialogs.
trap - EXIT
cleanup
"$root/tests/wine/setup-screenshots.sh" "$build"
