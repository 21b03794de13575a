#!/usr/bin/env bash
# What zandrel.exe costs under Wine while it waits and while it moves files, on the pty pair of
# tests/wine/with-ptys.sh, beside lrzsz and, when given, another zandrel.exe (the build before a
# change) measured in the same run:
#   bench/zandrel-wait-wine.sh <mingw64 build folder> [seconds] [KiB] [runs] [other zandrel.exe]
# Waiting: a receiver waiting for a sender (XModem), a sender waiting for a receiver (XModem) and
# host mode between batches (ZModem), each on a line nobody answers for `seconds` (default 30),
# then Ctrl-C (SIGINT, which Wine hands to the console's handler): processor seconds of the
# zandrel.exe process and of the prefix's wineserver (which also serves the prefix's own
# background processes) from 3 s after the start to the Ctrl-C, their share of a core, and the
# time from Ctrl-C to the exit. 0 seconds skips this part.
# Moving: KiB (default 1024) of random data each way with lrzsz on the far end, `runs` times
# (default 3), the two builds alternating: XModem to `rx -c` and from `sx`, ZModem to `rz` and
# from `sz`; the median of the bytes a second zandrel.exe reports for the file and of processor
# seconds per MiB of zandrel.exe (Wine's start-up taken off) and of the lrzsz peer.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd)
seconds=${2:-30} kib=${3:-1024} runs=${4:-3} other=${5:-}
prefix=$build/wineprefix
builds=("$build/bin/zandrel.exe")
[[ -n $other ]] && builds+=("$(realpath "$other")")
for p in sx rx sz rz socat /usr/bin/time; do
  command -v "$p" >/dev/null || { echo "zandrel-wait-wine: $p is missing" >&2; exit 1; }
done

work=$(mktemp -d /tmp/zandrel-wait.XXXXXX)
trap 'rm -rf "$work"' EXIT
head -c $((kib * 1024)) /dev/urandom >"$work/sample.bin"
# lrzsz loses its last bytes on a pty without the tests' tcdrain that really waits.
cure=$work/libtcdrain_wait.so
cc -shared -fPIC -o "$cure" "$root/tests/interop/tcdrain_wait.c" -ldl

run() {
  winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
  ticks=$(getconf CLK_TCK)
  # The prefix's own server (other checkouts run theirs): its folder is named after the prefix's
  # device and inode.
  server_pid() {
    local id pid
    id=$(printf 'server-%x-%x' $(stat -c '%d %i' "$prefix"))
    for pid in $(pgrep wineserver); do
      [[ $(readlink "/proc/$pid/cwd" 2>/dev/null) == */$id ]] && { echo "$pid"; return; }
    done
  }
  server_ticks() { [[ -n $server ]] && awk '{print $14 + $15}' "/proc/$server/stat" || echo 0; }
  # Seconds of wall, user and system time of a command (from /usr/bin/time's file).
  timed() {
    local out=$1; shift
    /usr/bin/time -f "%e %U %S" -o "$out" "$@" || true
  }
  times_of() { tail -n 1 "$1"; }
  now() { date +%s.%N; }
  median() { sort -g | awk '{v[NR] = $1} END {print NR ? v[int((NR + 1) / 2)] : 0}'; }

  "$root/cmake/wine-run.sh" "$prefix" --prepare
  server=$(server_pid)
  # Wine's start-up and shut-down alone, to take off the transfers' processor time.
  declare -A start_cpu
  for exe in "${builds[@]}"; do
    cpus=()
    for i in 1 2 3; do
      timed "$work/t" "$root/cmake/wine-run.sh" "$prefix" "$exe" --help >/dev/null
      read -r w u s < <(times_of "$work/t")
      cpus+=("$(echo "$u + $s" | bc -l)")
    done
    start_cpu[$exe]=$(printf '%s\n' "${cpus[@]}" | median)
  done

  ((seconds > 0)) && echo "Waiting ${seconds} s on a silent line, then Ctrl-C (processor time after the first 3 s):" &&
    printf '  %-9s %-10s %9s %9s %11s %9s\n' case build "zandrel s" "server s" "of a core" "Ctrl-C s"
  for case in receive send host; do
    ((seconds > 0)) || break
    for exe in "${builds[@]}"; do
      case $case in
        receive) args=(receive --protocol xmodem --recv-timeout 0 "$(winpath "$work/in.bin")") ;;
        send) args=(send --protocol xmodem --send-timeout 0 "$(winpath "$work/sample.bin")") ;;
        host) args=(receive --protocol zmodem --host --dir "$(winpath "$work")") ;;
      esac
      rm -f "$work/in.bin"
      "$root/cmake/wine-run.sh" "$prefix" "$exe" "${args[0]}" --quiet \
        --port "COM$ZANDREL_COM_A" --baud 115200 "${args[@]:1}" &
      runner=$!
      sleep 3  # Wine's start-up over
      pid=$(pgrep -f "^$exe" -n || true)
      [[ -n $pid ]] || { echo "  $case: zandrel.exe is not running" >&2; wait; continue; }
      p0=$(awk '{print $14 + $15}' "/proc/$pid/stat") s0=$(server_ticks) t0=$(now)
      sleep "$((seconds - 3))"
      p1=$(awk '{print $14 + $15}' "/proc/$pid/stat") s1=$(server_ticks) t1=$(now)
      kill -INT "$pid"
      wait "$runner" || true
      latency=$(echo "$(now) - $t1" | bc -l)
      awk -v p="$((p1 - p0))" -v s="$((s1 - s0))" -v t="$ticks" -v w="$(echo "$t1 - $t0" | bc -l)" \
          -v l="$latency" -v c="$case" -v b="$([[ $exe == "${builds[0]}" ]] && echo this || echo other)" 'BEGIN {
        printf "  %-9s %-10s %9.2f %9.2f %10.2f%% %9.2f\n", c, b, p / t, s / t, 100 * (p + s) / t / w, l }'
    done
  done

  echo "Moving ${kib} KiB over a fast pty with lrzsz on the far end, ${runs} runs each, median:"
  printf '  %-16s %-10s %10s %15s %13s\n' case build "bytes/s" "zandrel s/MiB" "peer s/MiB"
  for case in xmodem-send xmodem-receive zmodem-send zmodem-receive; do
    declare -A rates=() zcpu=() pcpu=()
    for ((r = 1; r <= runs; r++)); do
      for exe in "${builds[@]}"; do
        rm -rf "$work/in" && mkdir "$work/in"
        protocol=${case%-*}
        case $case in
          xmodem-send) peer=(rx -c -b in.bin) ;;
          xmodem-receive) peer=(sx -b "$work/sample.bin") ;;
          zmodem-send) peer=(rz -b) ;;
          zmodem-receive) peer=(sz -b "$work/sample.bin") ;;
        esac
        if [[ $case == *-send ]]; then
          args=(send --send-timeout 30 "$(winpath "$work/sample.bin")")
        elif [[ $protocol == zmodem ]]; then
          args=(receive --recv-timeout 30 --dir "$(winpath "$work/in")")
        else
          args=(receive --recv-timeout 30 "$(winpath "$work/in/in.bin")")
        fi
        (cd "$work/in" && exec env LD_PRELOAD="$cure" /usr/bin/time -f "%e %U %S" -o "$work/p" \
          "${peer[@]}" <"$ZANDREL_PTY_B" >"$ZANDREL_PTY_B" 2>/dev/null) &
        peer_pid=$!
        [[ $case == *-send ]] && sleep 0.5  # the receiver first, as users start them
        timed "$work/t" "$root/cmake/wine-run.sh" "$prefix" "$exe" "${args[0]}" \
          --port "COM$ZANDREL_COM_A" --baud 115200 --protocol "$protocol" "${args[@]:1}" 2>"$work/said"
        # A peer that missed the transfer would wait for ever; killing it ends socat's pair too.
        for ((i = 0; i < 200 && $(kill -0 "$peer_pid" 2>/dev/null && echo 1 || echo 0); i++)); do sleep 0.1; done
        if kill -0 "$peer_pid" 2>/dev/null; then
          pkill -P "$peer_pid"; kill "$peer_pid"; wait
          echo "  $case: the peer did not end; stopped" >&2
          return 1
        fi
        wait "$peer_pid" || true
        read -r w u s < <(times_of "$work/t")
        read -r pw pu ps < <(times_of "$work/p")
        got=$(find "$work/in" -type f -name '*.bin' | head -n 1)
        # XModem fills the last block; the file's own bytes must all be there.
        if [[ -z $got ]] || ! cmp -s -n $((kib * 1024)) "$got" "$work/sample.bin"; then
          echo "  $case run $r ($exe): the file did not arrive whole" >&2
          continue
        fi
        rates[$exe]+=" $(grep -o '[0-9]* B/s' "$work/said" | tail -n 1 | cut -d' ' -f1)"
        zcpu[$exe]+=" $(echo "($u + $s - ${start_cpu[$exe]}) * 1024 / $kib" | bc -l)"
        pcpu[$exe]+=" $(echo "($pu + $ps) * 1024 / $kib" | bc -l)"
      done
    done
    for exe in "${builds[@]}"; do
      printf '  %-16s %-10s %10.0f %15.3f %13.3f\n' "$case" \
        "$([[ $exe == "${builds[0]}" ]] && echo this || echo other)" \
        "$(tr ' ' '\n' <<<"${rates[$exe]:-}" | grep . | median)" \
        "$(tr ' ' '\n' <<<"${zcpu[$exe]:-}" | grep . | median)" \
        "$(tr ' ' '\n' <<<"${pcpu[$exe]:-}" | grep . | median)"
    done
  done
}
export -f run
export root build prefix seconds kib runs work cure
export builds_list="${builds[*]}"
"$root/tests/wine/with-ptys.sh" "$prefix" bash -c 'builds=($builds_list); run'
