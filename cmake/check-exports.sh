#!/usr/bin/env bash
# Fails the build of zandrel.dll unless it exports exactly the four entry points of a component
# server and DllInstall (per-user registration), by their plain names (a 32-bit build would
# otherwise export DllGetClassObject@12).
#   check-exports.sh <objdump> <dll>
set -uo pipefail
objdump=$1 dll=$2
exports=$("$objdump" -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR > 1 { print $NF }' | sort | tr '\n' ' ')
expected="DllCanUnloadNow DllGetClassObject DllInstall DllRegisterServer DllUnregisterServer "
if [[ $exports != "$expected" ]]; then
  echo "check-exports: $dll exports '$exports', expected '$expected'" >&2
  exit 1
fi
