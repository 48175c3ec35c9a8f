#!/usr/bin/env bash
# Throughput and memory of the output relay, measured on the built launcher
# itself (a renamed copy beside its .ini, started as a user starts it), each
# run paired with its peer in the same round:
#   child: bench/tools/relay_source ("gen"), 256 MiB of 80-byte lines, and
#          256 MiB without any line feed, written 64 KiB at a time
#   peer:  `gen | tee log`, with the same standard output
#   standard output: /dev/null, and a pipe read by `cat`
# Each case reports the median of the per-round ratios launcher/tee with
# their spread (lowest and highest), and the launcher's peak memory.
# Goals: pipe <= 0.80 of tee, /dev/null <= 0.90 of tee, peak < 4 MiB.
# With --wine: the Windows launcher under Wine against a bare
# CreatePipe / ReadFile / WriteFile loop writing console and log
# (bench/tools/relay_peer), goal <= 1.10.
# Usage: bench/run_relay_bench.sh [--rounds N] [--mib N] [--wine] [--wine-only] [--wine-mib N]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=5
mib=256
wine_part=0
linux_part=1
wine_mib=256
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --mib) mib=$2; shift 2 ;;
    --wine) wine_part=1; shift ;;
    --wine-only) wine_part=1; linux_part=0; shift ;;
    --wine-mib) wine_mib=$2; shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--mib N] [--wine] [--wine-only] [--wine-mib N]" >&2; exit 2 ;;
  esac
done

cmake --preset bench -B build/bench >/dev/null
cmake --build build/bench -j2 --target launcher_console relay_source >/dev/null
bin=$root/build/bench

work=$(mktemp -d "${TMPDIR:-/tmp}/relay_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/run"
cp "$bin/launcher_console" "$work/app/tool_console"
export XDG_RUNTIME_DIR=$work/run
bytes=$((mib * 1024 * 1024))

# "elapsed cpu": the seconds a bash command line takes, to the microsecond,
# and the processor seconds (user + system) of all its processes. On a
# loaded machine the elapsed time is mostly waiting for a processor; the
# processor time shows the work itself.
seconds() {
  rm -f "$work/tee.log" "$work/run.log"
  local t0=$EPOCHREALTIME
  /usr/bin/time -f "%U %S" -o "$work/cpu" bash -c "$1"
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" -v c="$(cat "$work/cpu")" \
    'BEGIN { split(c, u, " "); printf "%.6f %.3f\n", b - a, u[1] + u[2] }'
}

# Prints "median lowest highest" of the numbers on standard input.
summary() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

# run_case NAME GEN_ARGS OUTPUT GOAL; OUTPUT is "null" or "pipe".
run_case() {
  local name=$1 gen_args=$2 output=$3 goal=$4 sink
  printf '[wx6]\nlaunchercmd=%s\nlauncherargs=%s\n' "$bin/relay_source" "$gen_args" \
    >"$work/app/tool.ini"
  local launcher="'$work/app/tool_console' -applogloc '$work/run.log'"
  local tee="'$bin/relay_source' $gen_args | tee '$work/tee.log'"
  if [[ $output == pipe ]]; then sink='| cat >/dev/null'; else sink='>/dev/null'; fi
  : >"$work/ratios"; : >"$work/cpu_ratios"; : >"$work/l.t"; : >"$work/t.t"
  for ((r = 0; r < rounds; r++)); do
    local l t lc tc
    # Alternate which goes first, so that neither always meets a warm cache.
    if ((r % 2 == 0)); then
      read -r l lc < <(seconds "$launcher $sink"); read -r t tc < <(seconds "$tee $sink")
    else
      read -r t tc < <(seconds "$tee $sink"); read -r l lc < <(seconds "$launcher $sink")
    fi
    echo "$l" >>"$work/l.t"; echo "$t" >>"$work/t.t"
    awk -v l="$l" -v t="$t" 'BEGIN { printf "%.6f\n", l / t }' >>"$work/ratios"
    awk -v l="$lc" -v t="$tc" 'BEGIN { printf "%.6f\n", (t > 0 ? l / t : 0) }' >>"$work/cpu_ratios"
  done
  # Peak resident memory of the launcher process (its own maximum; the
  # child's is reported apart by the kernel only for waited-for children,
  # and relay_source stays well under the launcher's).
  rm -f "$work/run.log"
  /usr/bin/time -f "%M" -o "$work/rss" bash -c "exec $launcher $sink"
  local rss
  rss=$(tail -1 "$work/rss")
  local stored
  stored=$(stat -c %s "$work/run.log")
  read -r rm rlo rhi < <(summary <"$work/ratios")
  read -r lm _ _ < <(summary <"$work/l.t")
  read -r tm _ _ < <(summary <"$work/t.t")
  read -r cm clo chi < <(summary <"$work/cpu_ratios")
  printf '%-14s %-5s launcher %6.3fs  tee %6.3fs  ratio median %.3f (%.3f..%.3f, goal <= %s)  cpu ratio %.3f (%.3f..%.3f)  peak %.2f MiB  log %d bytes\n' \
    "$name" "$output" "$lm" "$tm" "$rm" "$rlo" "$rhi" "$goal" "$cm" "$clo" "$chi" \
    "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$stored"
}

if [[ $linux_part -eq 1 ]]; then
  echo "Linux, $rounds paired rounds per case, $mib MiB per run (load: $(cut -d' ' -f1-3 /proc/loadavg)):"
  for output in null pipe; do
    goal=0.90
    [[ $output == pipe ]] && goal=0.80
    run_case "80-byte lines" "lines $bytes 80" "$output" "$goal"
    run_case "no line feeds" "bytes $bytes" "$output" "$goal"
  done
fi

if [[ $wine_part -eq 1 ]]; then
  command -v wine >/dev/null || { echo "wine is not installed" >&2; exit 1; }
  cmake --preset windows >/dev/null
  cmake --build build/windows -j2 --target kb_core launcher_console >/dev/null
  for tool in relay_source relay_peer; do
    i686-w64-mingw32-g++-posix -std=c++17 -O2 -Isrc -I. -DWIN32_LEAN_AND_MEAN -DNOMINMAX \
      -D_WIN32_WINNT=0x0600 "bench/tools/$tool.cpp" build/windows/libkb_core.a \
      -static -static-libgcc -static-libstdc++ -lshell32 -luser32 -lkernel32 \
      -o "build/windows/$tool.exe"
  done
  export WINEDEBUG=-all
  wapp=$work/wapp
  mkdir -p "$wapp"
  cp build/windows/launcher_console.exe "$wapp/tool_console.exe"
  cp build/windows/relay_source.exe "$wapp/"
  wbytes=$((wine_mib * 1024 * 1024))
  printf '[wx6]\nlaunchercmd=relay_source.exe\nlauncherargs=lines %d 80\n' "$wbytes" >"$wapp/tool.ini"
  wlog='Z:'"${work//\//\\}"'\wine.log'
  wchild="\"$(winepath -w "$wapp/relay_source.exe" 2>/dev/null)\" lines $wbytes 80"
  wine build/windows/relay_peer.exe "$wlog" "$wchild" >/dev/null 2>&1 || true  # warm Wine up
  : >"$work/ratios"; : >"$work/l.t"; : >"$work/t.t"
  for ((r = 0; r < rounds; r++)); do
    rm -f "$work/wine.log"
    t0=$EPOCHREALTIME; wine "$wapp/tool_console.exe" -applogloc "$wlog" >/dev/null 2>&1; t1=$EPOCHREALTIME
    l=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    rm -f "$work/wine.log"
    t0=$EPOCHREALTIME; wine build/windows/relay_peer.exe "$wlog" "$wchild" >/dev/null 2>&1; t1=$EPOCHREALTIME
    p=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')
    echo "$l" >>"$work/l.t"; echo "$p" >>"$work/t.t"
    awk -v l="$l" -v p="$p" 'BEGIN { printf "%.6f\n", l / p }' >>"$work/ratios"
  done
  read -r rm rlo rhi < <(summary <"$work/ratios")
  read -r lm _ _ < <(summary <"$work/l.t")
  read -r pm _ _ < <(summary <"$work/t.t")
  printf 'Wine, %d MiB of 80-byte lines: launcher %.3fs  bare loop %.3fs  ratio median %.3f (%.3f..%.3f, goal <= 1.10)\n' \
    "$wine_mib" "$lm" "$pm" "$rm" "$rlo" "$rhi"
fi
