#!/usr/bin/env bash
# Builds the Windows installer of one mingw build folder with wixl:
#   build-msi.sh <mingw build dir> <output dir>   ->  <output dir>/zandrel-VERSION-{x64,x86}.msi
# The version is the CMake project's; the files are the build's, stripped; the registry rows are
# printed by the build's registry-rows.exe (run under Wine) from the module's own registration.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd) out=$2
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
version=$(cache CMAKE_PROJECT_VERSION) strip=$(cache CMAKE_STRIP)
source "$here/../cmake/wine-loader.sh"
case $(pe_machine "$build/bin/zandrel.dll") in
  6486) arch=x64 folder='[ProgramFiles64Folder]Zandrel' ;;
  4c01) arch=x86 folder='[ProgramFilesFolder]Zandrel' ;;
  *) echo "build-msi: $build/bin/zandrel.dll is not an x86 or x64 module" >&2; exit 1 ;;
esac
msi=$out/zandrel-$version-$arch.msi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for f in bin/zandrel.dll bin/zandrel.chm bin/zandrel.exe packaging/registry-rows.exe; do
  [[ -f $build/$f ]] || { echo "build-msi: $build/$f is missing (build the folder first)" >&2; exit 1; }
done
"$strip" -o "$work/zandrel.dll" "$build/bin/zandrel.dll"
"$strip" -o "$work/zandrel.exe" "$build/bin/zandrel.exe"
cp "$build/bin/zandrel.chm" "$work/"

# The registry rows, from the module's registration code reading the module's type library.
dll_win="Z:$(realpath "$build/bin/zandrel.dll" | tr / '\\')"
{
  printf 'Registry\tRoot\tKey\tName\tValue\tComponent_\ns72\ti2\tl255\tL255\tL0\ts72\nRegistry\tRegistry\n'
  "$here/../cmake/wine-run.sh" "$build/wineprefix" "$build/packaging/registry-rows.exe" "$dll_win" "$folder" | tr -d '\r'
} >"$work/Registry.idt"
(( $(wc -l <"$work/Registry.idt") > 20 )) || { echo "build-msi: registry-rows printed no rows" >&2; exit 1; }

mkdir -p "$out"
msi=$(realpath "$msi")
(cd "$work" && wixl -a "$arch" -D Version="$version" -D Arch="$arch" -o "$msi" "$here/zandrel.wxs")  # files from here
msibuild "$msi" -i "$work/Registry.idt" \
  -q "UPDATE Component SET Condition = 'ALLUSERS AND NOT (ALLUSERS = 2 AND MSIINSTALLPERUSER = 1)' WHERE Component = 'HelpFolder'"
# wixl leaves an upgrade's maximum exclusive whatever it is told; the Upgrade table's attributes
# are part of its key, so the table is imported again with the inclusive bit (0x200) set.
msiinfo export "$msi" Upgrade | tr -d '\r' | sed 's/\t256\t\tOLDERFOUND$/\t768\t\tOLDERFOUND/' >"$work/Upgrade.idt"
grep -q $'\t768\t\tOLDERFOUND$' "$work/Upgrade.idt" || { echo "build-msi: no upgrade row to widen" >&2; exit 1; }
msibuild "$msi" -i "$work/Upgrade.idt"
echo "$msi"
