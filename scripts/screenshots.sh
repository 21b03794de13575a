#!/usr/bin/env bash
# Screenshots of the Windows windows, drawn by Wine's X11 driver on a private Xvfb display:
#   scripts/screenshots.sh [mingw64 build folder]
# Writes <build>/screenshots/: the setup windows and the progress window in its states
# (tests/wine/setup-screenshots.sh), and refusal-box.png. Uses a prefix of its own so the tests'
# headless prefix stays as it is.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/mingw64}" && pwd)
[[ -x $build/bin/setup-show.exe ]] || { echo "screenshots: build $build first" >&2; exit 1; }
"$root/tests/wine/setup-screenshots.sh" "$build"

# The box TransferFiles shows a script host that asks for XON/XOFF without ZModem.
source "$root/tests/wine/xvfb-wine.sh"
wine_bits_of "$build/bin/zandrel.dll"
trap xvfb_stop EXIT
xvfb_start "$build/wineprefix-x11"
out=$build/screenshots
wine regsvr32 /s "Z:${build//\//\\}\\bin\\zandrel.dll"
printf 'Set o = CreateObject("Zandrel.Quelto")\r\no.MaxTitle = "Nightly upload"\r\no.FlowControl = 1\r\nr = o.TransferFiles(0, 1)\r\n' \
  >"$out/.refusal.vbs"
wine cscript //nologo "Z:${out//\//\\}\\.refusal.vbs" >/dev/null 2>&1 &
shown=$!
xvfb_shoot 'Nightly upload' "$out/refusal-box.png"
echo "screenshots: $out/refusal-box.png"
xvfb_keys 'Nightly upload' Return
wait "$shown"
rm -f "$out/.refusal.vbs"
