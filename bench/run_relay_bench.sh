#!/usr/bin/env bash
# Throughput and memory of the relay (ExeandDisplay), as ratios against peers
# measured side by side in one run (interleaved rounds, best of each):
#   1. a child writing 1 GiB, relayed with the console on /dev/null and the
#      log on disk, against `child | tee log >/dev/null` and `child | cat >/dev/null`
#   2. a child writing 10 MB as flushed 80-byte lines, against the same peers
#   3. under Wine: 64 MiB relayed against a bare pipe-read loop of the same
#      chunk size that logs nothing
# Goals: relay/tee <= 1.0, relay/cat <= 1.2, peak RSS < 4 MiB; Wine <= 1.25.
# Usage: bench/run_relay_bench.sh [rounds] [--launcher PATH] [--no-wine]
#   --launcher PATH: relay through a built launcher instead of relay_driver
#   (PATH must sit beside an .ini whose command line runs "$RELAY_CMD").
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=3
launcher=
wine_part=1
while [[ $# -gt 0 ]]; do
  case $1 in
    --launcher) launcher=$2; shift 2 ;;
    --no-wine) wine_part=0; shift ;;
    *) rounds=$1; shift ;;
  esac
done

cmake --preset bench -B build/bench >/dev/null
cmake --build build/bench -j2 --target relay_source relay_driver relay_peer >/dev/null
bin=$PWD/build/bench

work=$(mktemp -d "${TMPDIR:-/tmp}/relay_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Runs a command line with bash; prints "seconds max_rss_kib" of the slowest
# process in it (for a pipeline: the whole shell, i.e. the peak of any stage).
measure() {
  rm -f "$work/log"
  /usr/bin/time -f "%e %M" -o "$work/time" bash -c "$1" >/dev/null 2>&1
  cat "$work/time"
}
# Peak RSS of the relaying process alone (not of its child).
relay_rss() {
  rm -f "$work/log"
  /usr/bin/time -f "%M" -o "$work/rss" "$bin/relay_driver" "$work/log" "$1" >/dev/null 2>&1 || true
  cat "$work/rss"
}

relay_cmd() {
  if [[ -n $launcher ]]; then
    printf 'RELAY_CMD=%q %q' "$1" "$launcher"
  else
    printf '%q %q %q' "$bin/relay_driver" "$work/log" "$1"
  fi
}

best() { sort -n | head -1; }

run_case() {
  local name=$1 child=$2 relay tee cat
  : >"$work/relay.t"; : >"$work/tee.t"; : >"$work/cat.t"
  for ((r = 0; r < rounds; r++)); do
    measure "$(relay_cmd "$child") >/dev/null" | cut -d' ' -f1 >>"$work/relay.t"
    measure "$child | tee '$work/log' >/dev/null" | cut -d' ' -f1 >>"$work/tee.t"
    measure "$child | cat >/dev/null" | cut -d' ' -f1 >>"$work/cat.t"
  done
  relay=$(best <"$work/relay.t"); tee=$(best <"$work/tee.t"); cat=$(best <"$work/cat.t")
  local rss
  rss=$(relay_rss "$child")
  awk -v n="$name" -v r="$relay" -v t="$tee" -v c="$cat" -v m="$rss" 'BEGIN {
    printf "%-22s relay %6.2fs  tee %6.2fs  cat %6.2fs  relay/tee %.2f (goal <= 1.00)  relay/cat %.2f (goal <= 1.20)  relay max RSS %.2f MiB (goal < 4)\n",
      n, r, t, c, (t > 0 ? r / t : 0), (c > 0 ? r / c : 0), m / 1024 }'
}

echo "Linux, best of $rounds rounds:"
# Double quotes: the command line must read the same to bash and to the
# C runtime's splitting that the relay applies.
run_case "1 GiB stream" "\"$bin/relay_source\" bytes 1073741824"
run_case "10 MB of 80-byte lines" "\"$bin/relay_source\" lines 131072 80"

if [[ $wine_part -eq 1 ]] && command -v wine >/dev/null && command -v i686-w64-mingw32-g++-posix >/dev/null; then
  cmake --preset windows -B build/bench-win -DKB_TESTS=OFF >/dev/null
  cmake --build build/bench-win -j2 --target kb_core >/dev/null
  for tool in relay_source relay_driver relay_peer; do
    i686-w64-mingw32-g++-posix -std=c++17 -O2 -Isrc -I. -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
      -D_WIN32_WINNT=0x0600 "bench/tools/$tool.cpp" build/bench-win/libkb_core.a \
      -static -static-libgcc -static-libstdc++ -lshell32 -luser32 -lkernel32 \
      -o "build/bench-win/$tool.exe"
  done
  export WINEDEBUG=-all
  wbin=$PWD/build/bench-win
  wchild="\"$(winepath -w "$wbin/relay_source.exe")\" bytes 67108864"
  wlog=$(winepath -w "$work/wine.log")
  wine "$wbin/relay_peer.exe" "$wchild" >/dev/null 2>&1 || true  # warm the Wine server
  : >"$work/wr.t"; : >"$work/wp.t"
  for ((r = 0; r < rounds; r++)); do
    rm -f "$work/wine.log"
    t0=$(date +%s%N); wine "$wbin/relay_driver.exe" "$wlog" "$wchild" >/dev/null 2>&1; t1=$(date +%s%N)
    echo $((t1 - t0)) >>"$work/wr.t"
    t0=$(date +%s%N); wine "$wbin/relay_peer.exe" "$wchild" >/dev/null 2>&1; t1=$(date +%s%N)
    echo $((t1 - t0)) >>"$work/wp.t"
  done
  logged=$(stat -c %s "$work/wine.log" 2>/dev/null || echo 0)
  awk -v r="$(best <"$work/wr.t")" -v p="$(best <"$work/wp.t")" -v l="$logged" 'BEGIN {
    printf "Wine 64 MiB stream     relay %6.2fs  bare loop %6.2fs  relay/bare %.2f (goal <= 1.25)  log bytes %d\n",
      r / 1e9, p / 1e9, r / p, l }'
fi
