# Sourced by scripts that show Wine windows on a virtual X display: starts Xvfb on a free display
# number, points Wine's X11 driver at it (drawing its own captions, as there is no window
# manager), and offers helpers to wait for a window and photograph it.
#   xvfb_start <prefix>     sets DISPLAY and WINEPREFIX; xvfb_stop ends what it started
#   xvfb_window <title>     prints the X window id of the window with exactly that title
#   xvfb_shoot <title> <png>; xvfb_keys, xvfb_type and xvfb_click give it real input (each
#                           leaves the window's id in xvfb_id)
source "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-loader.sh"
xvfb_pid= xvfb_id=
xvfb_start() {
  local prefix=$1 n
  for n in $(seq 91 120); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
      [[ -e /tmp/.X11-unix/X$n ]] && break
      sleep 0.1
    done
    if kill -0 "$xvfb_pid" 2>/dev/null; then
      export DISPLAY=:$n
      break
    fi
    xvfb_pid=
  done
  [[ -n $xvfb_pid ]] || { echo "xvfb-wine: no display could be started" >&2; return 1; }
  export WINEPREFIX=$prefix WINEDEBUG=-all
  "$(dirname "${BASH_SOURCE[0]}")/../../cmake/wine-run.sh" "$prefix" --prepare
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # The caption buttons are drawn from Marlett, which this Wine finds only in the prefix.
  local font=/usr/share/wine/fonts/marlett.ttf
  [[ -f $font && ! -f $prefix/drive_c/windows/Fonts/marlett.ttf ]] && cp "$font" "$prefix/drive_c/windows/Fonts/"
  return 0
}
xvfb_stop() {
  # Windows left open by an interrupted run would otherwise outlive the display.
  [[ -n ${WINEPREFIX:-} ]] && wineserver -k 2>/dev/null
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}
xvfb_window() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1)
    [[ -n $id ]] && { echo "$id"; return 0; }
    sleep 0.1
  done
  echo "xvfb-wine: no window \"$1\"" >&2
  return 1
}
# Real key presses (XTEST) into the window with that title: xvfb_keys <title> key...
xvfb_keys() {
  xvfb_id=$(xvfb_window "$1") || return 1
  shift
  xdotool windowfocus --sync "$xvfb_id" 2>/dev/null || xdotool windowfocus "$xvfb_id"
  xdotool key --delay 60 "$@"
}
# A real mouse click at x y inside that window: xvfb_click <title> x y
xvfb_click() {
  xvfb_id=$(xvfb_window "$1") || return 1
  xdotool mousemove --window "$xvfb_id" "$2" "$3" click 1
  sleep 0.3
}
# Real typing into the focused control of that window: xvfb_type <title> text
xvfb_type() {
  xvfb_id=$(xvfb_window "$1") || return 1
  xdotool windowfocus "$xvfb_id"
  xdotool type --delay 60 "$2"
}
xvfb_shoot() {
  xvfb_id=$(xvfb_window "$1") || return 1
  xdotool mousemove --window "$xvfb_id" 100 8 click 1  # a click on the caption makes it the active window
  sleep 0.5  # let the controls finish painting
  import -window "$xvfb_id" "$2"
}
