#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (ASan + UBSan) into build/fuzz and runs
# each for FUZZ_SECONDS (default 5: the smoke pass of the test run) on a copy of its corpus seeds.
# Usage: scripts/fuzz.sh [target-name ...]   FUZZ_SECONDS=600 for a long run, FUZZ_OUT=folder.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${FUZZ_OUT:-"$root/build/fuzz"}
seconds=${FUZZ_SECONDS:-5}
CXX=${FUZZ_CXX:-clang++}
source "$root/tests/prerequisite.sh"
require "$CXX"
mkdir -p "$out"
flags=(-std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined
       -I"$root" -I"$root/tests")
# The library the targets need: the portable core, the POSIX platform files, the fakes.
sources=()
for f in "$root"/link/*.cpp "$root"/transfer/*.cpp "$root"/transfer/zmodem/*.cpp; do
  case "$f" in *Win32.cpp|*Win32?*.cpp) continue ;; esac
  sources+=("$f")
done
sources+=("$root/tests/fakes/FakeClock.cpp" "$root/tests/fakes/FakeComLink.cpp")
# Objects once, targets linked against them.
objdir="$out/obj"
mkdir -p "$objdir"
objects=()
# The newest header: an object older than it is rebuilt, whatever it includes.
newest=$(ls -t "$root"/link/*.h "$root"/transfer/*.h "$root"/transfer/zmodem/*.h "$root"/tests/fakes/*.h | head -1)
for f in "${sources[@]}"; do
  o="$objdir/$(echo "${f#$root/}" | tr / _).o"
  if [[ ! -f "$o" || "$f" -nt "$o" || "$newest" -nt "$o" ]]; then
    "$CXX" "${flags[@]/-fsanitize=fuzzer,/-fsanitize=fuzzer-no-link,}" -c "$f" -o "$o"
  fi
  objects+=("$o")
done
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  for t in "$root"/tests/fuzz/*Fuzz.cpp; do targets+=("$(basename "$t" .cpp)"); done
fi
status=0
for t in "${targets[@]}"; do
  "$CXX" "${flags[@]}" "$root/tests/fuzz/$t.cpp" "${objects[@]}" -lpthread -o "$out/$t"
  case "$t" in
    ZModemHeaderFuzz) seeds=header ;;
    ZModemSubpacketFuzz) seeds=subpacket ;;
    ZModemReceiverFuzz) seeds=receiver ;;
    *) seeds=${t%Fuzz} ;;
  esac
  work="$out/corpus-$t"
  mkdir -p "$work"
  cp -n "$root/tests/fuzz/corpus/$seeds"/* "$work"/ 2>/dev/null || true
  echo "fuzz: $t for ${seconds}s"
  if ! "$out/$t" -max_total_time="$seconds" -max_len=8192 -timeout=20 -print_final_stats=1 \
      -artifact_prefix="$out/$t-" "$work" 2>"$out/$t.log"; then
    echo "fuzz: $t FOUND A FAILURE, see $out/$t.log"
    tail -40 "$out/$t.log"
    status=1
  else
    grep -E "stat::number_of_executed_units" "$out/$t.log" || true
  fi
done
exit $status
