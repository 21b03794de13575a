#!/usr/bin/env bash
# The Windows installer as users run it, in a fresh Wine prefix: an older package, then this one
# (an upgrade in place); a ZModem send to rz through the installed object; the uninstall leaving
# the registry as it was; regsvr32 (machine) and regsvr32 /n /i:user on the same files writing
# exactly the installer's rows; the per-user install, with its uninstall.
#   msi.sh <wine-run.sh> <prefix dir> <zandrel-VERSION-ARCH.msi>
# Wine 8 knows neither MSIINSTALLPERUSER nor a per-user program files folder: the per-user
# install is asked for with ALLUSERS="", and its files land in the machine's folder.
set -uo pipefail
wine_run=$1 prefix=$(realpath -m "$2") msi=$3
here=$(cd "$(dirname "$0")" && pwd)
[[ -f $msi ]] || { echo "FAIL: no $msi (scripts/package.sh builds it)"; exit 1; }
rm -rf "$prefix" && work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
msiextract -C "$work/files" "$msi" >/dev/null && dll=$(find "$work/files" -name zandrel.dll)
source "$here/../server/lib.sh" "$wine_run" "$prefix" "$dll"
msiexec() { "$zandrel_wine64" msiexec "$@" /qn; }
folder='C:\Program Files\Zandrel'
[[ $wine_machine == 4c01 ]] && folder='C:\Program Files (x86)\Zandrel'
unix() { wine winepath -u "$1" 2>/dev/null; }

snap() {  # name: the registry as sorted "file:[key]|value" lines, without key times
  wineserver -k; wineserver -w
  for f in system user; do
    awk -v f=$f '/^#/ { next } c { v = v $0; if (!/\\$/) { c = 0; print f ":" k "|" v }; next }
      /^\[/ { k = $0; sub(/\] [0-9]+$/, "]", k); print f ":" k "|"; next }
      /^[@"]/ { if (/\\$/) { c = 1; v = $0; next } print f ":" k "|" $0 }' "$prefix/$f.reg"
  done | grep -v DriverDateData | LC_ALL=C sort >"$work/$1"
  "$wine_run" "$prefix" --prepare
}
# Our rows from one snapshot to the next: the classes of either root as "classes:", the 32-bit
# view folded onto the other (Wine keeps one view of a user's classes), key names in one case,
# the folder as <dir>.
rows() {  # before after folder
  LC_ALL=C comm -13 "$work/$1" "$work/$2" | DIR=${3//\\/\\\\} awk '
    { sub(/^(system|user):\[Software\\\\Classes\\\\(Wow6432Node\\\\)?/, "classes:[") }
    /^classes:\[Installer\\\\/ || !/^classes:|HTML Help/ { next }
    { k = index($0, "]|"); $0 = tolower(substr($0, 1, k)) substr($0, k + 1) }
    { while ((i = index($0, ENVIRON["DIR"]))) $0 = substr($0, 1, i - 1) "<dir>" substr($0, i + length(ENVIRON["DIR"])); print }' |
    LC_ALL=C sort -u
}
same() { check "$1" "" "$(LC_ALL=C comm -3 "$work/$2" "$work/$3" | head -5)"; }
files() { ls "$(unix "$1")" 2>/dev/null | tr '\n' ' '; }

cp "$msi" "$work/old.msi"
msibuild "$work/old.msi" -q "UPDATE Property SET Value = '0.9.0.0' WHERE Property = 'ProductVersion'" \
  -q "UPDATE Property SET Value = '{7D0C2B7E-1F0E-4B1D-9C55-0A5C8E4F2B11}' WHERE Property = 'ProductCode'"
# Keys every Windows has: the installer's own (made by a first install of each kind), the script
# host's (by a first script), the help folder's and the user's classes.
for all in 1 ""; do msiexec /i "$(winpath "$work/old.msi")" ALLUSERS=$all && msiexec /x "$(winpath "$work/old.msi")" ALLUSERS=$all; done
echo 'WScript.Echo "ALL PASSED"' >"$work/first.vbs" && run_script "$work/first.vbs"
wine reg add 'HKLM\SOFTWARE\Microsoft\Windows\HTML Help' /f >/dev/null
wine reg add 'HKCU\Software\Classes' /f >/dev/null
snap s0
msiexec /i "$(winpath "$work/old.msi")"; check "older package installs" 0 $?
msiexec /i "$(winpath "$msi")"; check "this package installs over it" 0 $?
snap s1
check "one Zandrel in the installed programs" 1 "$(grep -c 'Uninstall\\\\{[^]]*}]|"DisplayName"="Zandrel' "$work/s1")"
check "files" "zandrel.chm zandrel.dll zandrel.exe " "$(files "$folder")"
rows s0 s1 "$folder" >"$work/installer"
check "the installer's rows name the module" yes "$(grep -qF 'inprocserver32]|@="<dir>\\zandrel.dll"' "$work/installer" && echo yes)"
"$here/../wine/with-ptys.sh" "$prefix" "$here/../server/transfer.sh" "$wine_run" "$prefix" "$(unix "$folder\\zandrel.dll")" - installed
check "ZModem send through the installed object" 0 $?

msiexec /x "$(winpath "$msi")"; check "uninstall" 0 $?
snap s2
same "uninstall left the registry as it was" s0 s2
check "uninstall left no files" "" "$(files "$folder")"

# The same files registered by hand where msiextract put them: the same rows for another <dir>.
# That the machine's unregistration took away all it wrote shows in the next snapshot.
wine regsvr32 /s "$dll_win"; snap s3
rows s2 s3 "${dll_win%\\*}" >"$work/machine"
check "regsvr32 writes the installer's rows" "$(cat "$work/installer")" "$(cat "$work/machine")"
wine regsvr32 /s /u "$dll_win" && wine regsvr32 /s /n /i:user "$dll_win"; snap s4
check "regsvr32 /n /i:user writes them for the user" "$(grep -vi 'HTML Help' "$work/machine")" "$(rows s2 s4 "${dll_win%\\*}")"
check "and nothing of the machine's" "" "$(LC_ALL=C comm -13 "$work/s2" "$work/s4" | grep -v '^user:')"
wine regsvr32 /s /u /n /i:user "$dll_win"; snap s5
same "regsvr32 /u /n /i:user left the registry as it was" s2 s5

msiexec /i "$(winpath "$msi")" ALLUSERS=; check "per-user install" 0 $?
snap s6
check "per-user rows" "$(grep -vi 'HTML Help' "$work/machine")" "$(rows s5 s6 "$folder")"
check "none of the machine's" "" "$(LC_ALL=C comm -13 "$work/s5" "$work/s6" | grep '^system:' | grep -v '\\Installer\\\|\\Uninstall\\')"
msiexec /x "$(winpath "$msi")" ALLUSERS=; check "per-user uninstall" 0 $?
snap s7
same "per-user uninstall left the registry as it was" s0 s7
check "and no files" "" "$(files "$folder")"
verdict
