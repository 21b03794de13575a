# Sourced by the transfer tests that meet a Linux peer on the far end of with-ptys.sh's pty pair:
# $work with in/ (the peer's folder) and out/, removed at exit together with the peer.
#   peer <command...>   runs it in the background in in/ on $ZANDREL_PTY_B, its stderr in peer.txt
#   peer_end <seconds>  waits for it: peer_status is its exit status, or "hung". Not to be called
#                       inside $(...): only this shell can wait for the peer it started.
#   winpath <path>      the path on Wine's Z: drive
work=$(mktemp -d /tmp/zandrel-transfer.XXXXXX)
mkdir "$work/in" "$work/out"
peer_pid= peer_status=
peer_cleanup() {
  [[ -n $peer_pid ]] && kill "$peer_pid" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap peer_cleanup EXIT
# lrzsz exits right after its last write, and on a pty that write may not have left yet; a
# preloaded tcdrain that really waits keeps the last bytes.
preload=$work/libtcdrain_wait.so
cc -shared -fPIC -o "$preload" "$(dirname "${BASH_SOURCE[0]}")/../interop/tcdrain_wait.c" -ldl 2>/dev/null || preload=
peer() {
  (cd "$work/in" && exec env LD_PRELOAD="$preload" "$@" <"$ZANDREL_PTY_B" >"$ZANDREL_PTY_B" 2>"$work/peer.txt") &
  peer_pid=$!
}
peer_end() {
  local i
  for ((i = 0; i < $1 * 10; i++)); do
    if ! kill -0 "$peer_pid" 2>/dev/null; then
      wait "$peer_pid"
      peer_status=$? peer_pid=
      return
    fi
    sleep 0.1
  done
  peer_status=hung
}
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
