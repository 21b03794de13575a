#!/usr/bin/env bash
# Registers zandrel.dll in a private Wine prefix and runs one script test under cscript on a
# machine with (or without) modems:
#   script.sh <wine-run.sh> <prefix dir> <zandrel.dll> <modems|none> <script> [args...]
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$1" "$2" "$3"
registered "$4"
run_script "${@:5}"
((failures == 0)) || exit 1
