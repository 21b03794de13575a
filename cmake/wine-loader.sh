# Sourced by the scripts that run Windows programs under Wine. Wine's own programs (cscript,
# regsvr32, reg) start in the bitness of the loader that starts them, and with Debian's wine32
# installed the `wine` command is the 32-bit loader. As on 64-bit Windows, where a 32-bit host
# takes the SysWOW64 programs and registry view, `wine` here is the 64-bit loader unless
# wine_bits_of is given an i386 file.
#   pe_machine <file>     the PE machine field as bytes: 6486 x86_64, 4c01 i386
#   wine_bits_of <file>   makes `wine` the loader of that file's bitness; leaves the file's
#                         machine in wine_machine
pe_machine() { od -An -tx1 -j"$(( $(od -An -tu4 -j60 -N4 "$1") + 4 ))" -N2 "$1" | tr -d ' \n'; }
zandrel_wine64=/usr/lib/wine/wine64
[[ -x $zandrel_wine64 ]] || zandrel_wine64=$(command -v wine64 || echo wine)
zandrel_wine=$zandrel_wine64
wine_bits_of() {
  wine_machine=$(pe_machine "$1")
  if [[ $wine_machine == 4c01 ]]; then zandrel_wine=wine; else zandrel_wine=$zandrel_wine64; fi
}
wine() { command "$zandrel_wine" "$@"; }
