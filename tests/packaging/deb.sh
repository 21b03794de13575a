#!/usr/bin/env bash
# The Debian package as users install it: dpkg -i; the installed zandrel, its manual page and its
# completion, both knowing every option of --help; a ZModem send to rz with the installed program
# over a pty pair; dpkg -r leaving none of its files; lintian without a tag left unexplained.
#   deb.sh <zandrel_VERSION_ARCH.deb> <version>
set -uo pipefail
deb=$1 version=$2
[[ -f $deb ]] || { echo "FAIL: no $deb (scripts/package.sh builds it)"; exit 1; }
if [[ $(id -u) != 0 ]]; then
  [[ ${CI:-} == true ]] && { echo "FAIL: installing the package needs root"; exit 1; }
  echo "not root: skipped"; exit 77
fi
dpkg -s zandrel >/dev/null 2>&1 && { echo "FAIL: a zandrel package is installed already; not touched"; exit 1; }
for tool in lintian man socat rz; do command -v $tool >/dev/null || { echo "FAIL: $tool missing"; exit 1; }; done
failures=0
check() { if [[ $2 == "$3" ]]; then echo "ok   $1"; else echo "FAIL $1: expected '$2', got '$3'"; failures=$((failures + 1)); fi; }
source "$(dirname "$0")/../wine/peer.sh"  # $work, the rz peer on $ZANDREL_PTY_B
socat pty,raw,echo=0,link="$work/a" pty,raw,echo=0,link="$work/b" & socat=$!
trap 'kill $socat; dpkg -r zandrel >/dev/null 2>&1; peer_cleanup' EXIT
export ZANDREL_PTY_A=$work/a ZANDREL_PTY_B=$work/b

dpkg -i "$deb" >/dev/null; check "dpkg -i" 0 $?
check "zandrel --version" "zandrel $version" "$(/usr/bin/zandrel --version)"
check "man -w zandrel" /usr/share/man/man1/zandrel.1.gz "$(man -w zandrel)"
source /usr/share/bash-completion/completions/zandrel
COMP_WORDS=(zandrel send --); COMP_CWORD=2; _zandrel
for o in $(zandrel --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  zcat /usr/share/man/man1/zandrel.1.gz | grep -qF -- "${o//-/\\-}" || check "$o in the manual page" yes no
  [[ " ${COMPREPLY[*]} " == *" $o "* ]] || check "$o completed" yes no
done

head -c 100000 /dev/urandom >"$work/out/sample.bin"
peer rz -q -b
/usr/bin/zandrel send --port "$ZANDREL_PTY_A" --protocol zmodem --send-timeout 20 --quiet "$work/out/sample.bin"
check "zandrel send" 0 $?
peer_end 20
check "rz ended well" 0 "$peer_status"
check "the file arrived whole" same "$(cmp -s "$work/out/sample.bin" "$work/in/sample.bin" && echo same)"

lintian -I --fail-on error,warning,info "$deb"; check "lintian" 0 $?
files=$(dpkg -L zandrel | while read -r f; do [[ -f $f ]] && echo "$f"; done)
dpkg -r zandrel >/dev/null; check "dpkg -r" 0 $?
check "files left" "" "$(for f in $files /usr/share/doc/zandrel; do [[ -e $f ]] && echo "$f"; done)"
((failures)) && { echo "$failures check(s) failed"; exit 1; }
echo "ALL PASSED"
