#!/usr/bin/env bash
# One whole transfer by zandrel.exe under Wine against a Linux peer over a pty pair, checked
# byte for byte, of a file named outside ASCII; the batch protocols move a second one whose name
# holds an emoji, and the names that arrive must be the same UTF-8 bytes. Run inside
# with-ptys.sh (zandrel.exe on COM$ZANDREL_COM_A, the peer on $ZANDREL_PTY_B):
#   transfer.sh <wine-run.sh> <prefix> <zandrel.exe> <protocol> <send|receive> [native zandrel]
# protocol: xmodem (sx / rx -c), xmodem-checksum (rx without -c), zmodem (sz / rz), ymodem
# (sb / rb), acknak (the native zandrel). "send" means zandrel.exe sends. Every way of not
# running the transfer is a failure, never a skip. With ZANDREL_VIA_SER2NET=1 zandrel.exe reaches its end
# of the pair through ser2net's RFC 2217 port on the loopback instead of COM$ZANDREL_COM_A.
set -uo pipefail
wine_run=$1 prefix=$2 exe=$3 protocol=$4 direction=$5 native=${6:-}
size=${ZANDREL_WINE_TRANSFER_SIZE:-40000}
# Wine takes Linux arguments and file names in the locale's encoding.
export LC_ALL=C.UTF-8
name="Überweisung-日本.bin" second="📦 Paket.bin"
source "$(dirname "$0")/peer.sh"
port="COM$ZANDREL_COM_A"
if [[ ${ZANDREL_VIA_SER2NET:-} == 1 ]]; then
  source "$(dirname "$0")/../prerequisite.sh"
  PATH=$PATH:/usr/sbin require ser2net
  ser2net_pid=
  trap 'kill $ser2net_pid 2>/dev/null; peer_cleanup' EXIT
  for _ in 1 2 3; do  # a port picked at random may be taken meanwhile: ser2net then ends
    tcp=$((20000 + RANDOM % 30000))
    printf 'connection: &c\n  accepter: telnet(rfc2217),tcp,127.0.0.1,%s\n  connector: serialdev,%s,115200n81,local\n' \
      "$tcp" "$ZANDREL_PTY_A" >"$work/ser2net.yaml"
    PATH=$PATH:/usr/sbin ser2net -n -c "$work/ser2net.yaml" >"$work/ser2net.txt" 2>&1 &
    ser2net_pid=$!
    for _ in $(seq 50); do
      grep -q "$(printf ':%04X 00000000:0000 0A' "$tcp")" /proc/net/tcp && break 2
      kill -0 "$ser2net_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill "$ser2net_pid" 2>/dev/null
  done
  grep -q "$(printf ':%04X 00000000:0000 0A' "$tcp")" /proc/net/tcp || { echo "FAIL: ser2net did not listen"; cat "$work/ser2net.txt"; exit 1; }
  port=rfc2217://127.0.0.1:$tcp
fi
if [[ $protocol == acknak ]]; then
  # A line protocol for text files: CR LF lines of printable characters, well within its
  # line length (a sender ends a line at CR and drops LF; a receiver writes CR LF).
  head -c "$size" /dev/urandom | base64 -w 72 | sed 's/$/\r/' >"$work/out/$name"
  size=$(stat -c %s "$work/out/$name")
else
  head -c "$size" /dev/urandom >"$work/out/$name"
fi
wire=${protocol%-checksum}
files=("$name")
[[ $wire == [yz]modem ]] && head -c 1000 /dev/urandom >"$work/out/$second" && files+=("$second")
# What arrives in in/: the sender's names, or the name the single-file receiver is given.
arrived=("${files[@]}")
[[ $direction == send && ${#files[@]} == 1 ]] && arrived=(sample.bin)
case $protocol-$direction in
  xmodem-receive) peer sx -b "$work/out/$name" ;;
  xmodem-send) peer rx -c -b sample.bin ;;  # rx takes no path with a slash
  xmodem-checksum-send) peer rx -b sample.bin ;;
  zmodem-receive) peer sz -b "${files[@]/#/$work/out/}" ;;
  zmodem-send) peer rz -b ;;
  ymodem-receive) peer sb "${files[@]/#/$work/out/}" ;;
  ymodem-send) peer rb -b ;;
  acknak-*)
    [[ -x $native ]] || { echo "FAIL: no native zandrel at '$native' (build the native flavour first)"; exit 1; }
    if [[ $direction == receive ]]; then
      peer "$native" send --port "$ZANDREL_PTY_B" --protocol acknak --send-timeout 30 "$work/out/$name"
    else
      peer "$native" receive --port "$ZANDREL_PTY_B" --protocol acknak --recv-timeout 30 "$work/in/sample.bin"
    fi ;;
  *) echo "transfer: unknown case $protocol $direction" >&2; exit 2 ;;
esac

if [[ $direction == send ]]; then
  sleep 0.5  # the receiver first, so that its first request is not lost before we listen
  args=(send --send-timeout 30)
  for f in "${files[@]}"; do args+=("$(winpath "$work/out/$f")"); done
elif [[ ${#files[@]} == 2 ]]; then  # the sender names the files; we name the folder
  args=(receive --recv-timeout 30 --dir "$(winpath "$work/in")")
else
  args=(receive --recv-timeout 30 "$(winpath "$work/in/$name")")
fi
"$wine_run" "$prefix" "$exe" "${args[0]}" --port "$port" --protocol "$wire" "${args[@]:1}" \
  2>"$work/zandrel.txt"
status=$?
peer_end 30
echo "-- zandrel.exe on $port (exit $status):"; cat "$work/zandrel.txt"
echo "-- peer (exit $peer_status):"; tr '\r' '\n' <"$work/peer.txt" | grep -v '^$' | tail -5
[[ $status == 0 && $peer_status == 0 ]] || { echo "FAIL: a side did not end well"; exit 1; }

# Exactly the names expected, byte for byte: a name that went through another code page on
# its way would be another file.
[[ $(ls -A "$work/in" | sort) == "$(printf '%s\n' "${arrived[@]}" | sort)" ]] ||
  { echo "FAIL: in/ holds other names:"; ls -A "$work/in" | od -c; exit 1; }
# XModem fills the last block to 128 bytes (sx with 0x1A, zandrel with 0x00); the others
# carry the exact length.
cp "$work/out/$name" "$work/expected.bin"
if [[ $wire == xmodem ]]; then
  fill='\000'
  [[ $direction == receive ]] && fill='\032'
  head -c $(((128 - size % 128) % 128)) /dev/zero | tr '\000' "$fill" >>"$work/expected.bin"
fi
cmp "$work/expected.bin" "$work/in/${arrived[0]}" || { echo "FAIL: the received file differs"; exit 1; }
[[ ${#arrived[@]} == 1 ]] || cmp "$work/out/$second" "$work/in/$second" || { echo "FAIL: $second differs"; exit 1; }
echo "PASS: ${arrived[*]} arrived byte-exact ($size bytes)"
