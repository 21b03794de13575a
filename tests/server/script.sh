#!/usr/bin/env bash
# Registers zandrel.dll in a private Wine prefix and runs one script test under cscript on a
# machine with (or without) modems:
#   script.sh <wine-run.sh> <prefix dir> <zandrel.dll> <modems|none> <script> [args...]
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2" "$3"
modems=$4 script=$5
shift 5
machine "$modems"
wine reg delete 'HKCU\Software\Harbwick' /f >/dev/null 2>&1  # a user who never saved
wine regsvr32 /s "$dll_win" || { echo "FAIL regsvr32 exited $?"; exit 1; }
run_script "$script" "$@"
((failures == 0)) || exit 1
