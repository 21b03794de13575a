#!/usr/bin/env bash
# Runs one Windows program under Wine and passes its exit code on: CTest's cross-compiling
# emulator for the mingw build, and the runner the Wine test scripts use for zandrel.exe.
#   wine-run.sh <prefix dir> [--expect TEXT] program.exe [args...]
#   wine-run.sh <prefix dir> --prepare     (only make the prefix and start Wine)
# The prefix is private to the build folder, made on first use, with a headless display driver.
# --expect makes a run that exits 0 without printing TEXT a failure: a Wine without its 32-bit side
# runs an i386 program by printing nothing and exiting 0.
set -uo pipefail
prefix=$1; shift
expect=
if [[ ${1:-} == --expect ]]; then expect=$2; shift 2; fi
program=$1; shift
prepare=0
[[ $program == --prepare ]] && prepare=1
source "$(dirname "${BASH_SOURCE[0]}")/wine-loader.sh"

# An i386 program runs only where Wine has its 32-bit loader (Debian's wine32:i386); anything but
# x86 cannot run here and must not pass.
if [[ $prepare == 0 ]]; then
  wine_bits_of "$program"
  case $wine_machine in
    6486) ;;
    4c01) [[ -x /usr/lib/wine/wine ]] || {
            echo "wine-run: $program is an i386 program and this Wine has no 32-bit side (wine32:i386); not run" >&2
            exit 1; } ;;
    *) echo "wine-run: $program is not an x86 program (machine $wine_machine); not run" >&2
       exit 1 ;;
  esac
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
mkdir -p "$prefix"
(
  flock 9
  if [[ ! -f $prefix/system.reg ]]; then
    wine wineboot -i </dev/null >/dev/null 2>&1 9>&-
    wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11,null /f </dev/null >/dev/null 2>&1 9>&-
    # The desktop that wineboot started has no display driver; the next one reads the setting.
    wineserver -k </dev/null >/dev/null 2>&1 9>&-
  fi
  # The server and Wine's helper processes must not hold our output open, or every captured
  # run waits seconds for end of file: start them with null descriptors first (and without the
  # lock's descriptor, which a lingering server would otherwise hold for its whole life).
  wineserver -p30 </dev/null >/dev/null 2>&1 9>&-
  wine cmd /c exit </dev/null >/dev/null 2>&1 9>&-
) 9>"$prefix.lock"
[[ $prepare == 1 ]] && exit 0

if [[ -z $expect ]]; then
  wine "$program" "$@"
  exit $?
fi
log=$(mktemp)
trap 'rm -f "$log"' EXIT
wine "$program" "$@" 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
if [[ $rc == 0 ]] && ! grep -qF -- "$expect" "$log"; then
  echo "wine-run: $program exited 0 without printing \"$expect\"; counted as a failure" >&2
  rc=1
fi
exit $rc
