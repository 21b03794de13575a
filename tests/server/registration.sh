#!/usr/bin/env bash
# regsvr32 on zandrel.dll in a private Wine prefix: the keys of the class table and the type
# library appear, registering again leaves one tree, the help folder is recorded only where its
# key exists, and regsvr32 /u leaves the keys others share.
#   registration.sh <wine-run.sh> <prefix dir> <zandrel.dll>
set -uo pipefail
source "$(dirname "$0")/lib.sh" "$@"

clsid='{A3A692C3-929B-4090-971E-2321CBAFE0B2}' libid='{C13B0AB9-DC10-4C9E-B1D8-5889E798C169}'
class="HKCR\\CLSID\\$clsid" help='HKLM\SOFTWARE\Microsoft\Windows\HTML Help'
folder=${dll_win%\\*}
# The type library is registered for the system kind the DLL was built for.
kind=win64
[[ $wine_machine == 4c01 ]] && kind=win32

wine reg delete "$help" /f >/dev/null 2>&1
wine regsvr32 /s "$dll_win"
check "regsvr32 without the help key" 0 $?
check "no help key made" no "$(reg_has_key "$help")"
wine reg add "$class\\Stale" /f >/dev/null  # left by an older registration
wine reg add "$help" /f >/dev/null
wine regsvr32 /s "$dll_win"
check "regsvr32 again" 0 $?

while IFS='|' read -r key name expected; do
  check "$key ${name:-(default)}" "$expected" "$(reg_value "$key" "$name")"
done <<TABLE
HKCR\\Zandrel.Quelto.1||Quelto Class
HKCR\\Zandrel.Quelto.1\\CLSID||$clsid
HKCR\\Zandrel.Quelto||Quelto Class
HKCR\\Zandrel.Quelto\\CLSID||$clsid
HKCR\\Zandrel.Quelto\\CurVer||Zandrel.Quelto.1
$class||Quelto Class
$class\\ProgID||Zandrel.Quelto.1
$class\\VersionIndependentProgID||Zandrel.Quelto
$class\\InprocServer32||$dll_win
$class\\InprocServer32|ThreadingModel|Apartment
$class\\TypeLib||$libid
HKCR\\TypeLib\\$libid\\1.0||zandrel 1.0 Type Library
HKCR\\TypeLib\\$libid\\1.0\\409\\$kind||$dll_win
HKCR\\TypeLib\\$libid\\1.0\\HELPDIR||$folder
$help|zandrel.chm|$folder
TABLE
check "Programmable key" yes "$(reg_has_key "$class\\Programmable")"
check "one class tree: the stale key went" no "$(reg_has_key "$class\\Stale")"
check "class sub-keys" 5 "$(wine reg query "$class" | tr -d '\r' | grep -c "^HKEY.*$clsid\\\\")"

# That regsvr32 /u takes away every row it wrote is shown on the whole registry by the installer's
# test (tests/packaging/msi.sh); here, that it leaves the shared keys.
wine regsvr32 /s /u "$dll_win"
check "regsvr32 /u" 0 $?
check "help key stays" yes "$(reg_has_key "$help")"
check "CLSID stays" yes "$(reg_has_key 'HKCR\CLSID')"
wine regsvr32 /s "Z:\\nowhere\\zandrel.dll"
check "regsvr32 of a missing file: load failed" 3 $?
verdict
