#!/usr/bin/env bash
# Throughput and memory of the pseudo-terminal relay (terminal=auto), on the
# built launcher (a renamed copy beside its .ini), each run paired with its
# peer in the same round:
#   child: bench/tools/relay_source ("gen"), 256 MiB of 80-byte lines
#   peer:  `script -q -c gen <log>`, which also puts a pseudo-terminal
#          between the program and the user's terminal and keeps a copy
# Both run inside an outer `script` whose output goes to /dev/null: that
# gives them a terminal to relay to, and costs each the same.
# Reports the median of the per-round ratios launcher/script with their
# spread, and the launcher's peak memory.
# Goals: <= 1.0 of script's time, peak < 4 MiB.
# Usage: bench/run_terminal_bench.sh [--rounds N] [--mib N]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
rounds=5
mib=256
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=$2; shift 2 ;;
    --mib) mib=$2; shift 2 ;;
    *) echo "usage: $0 [--rounds N] [--mib N]" >&2; exit 2 ;;
  esac
done
command -v script >/dev/null || { echo "script(1) is not installed" >&2; exit 1; }

cmake --preset bench -B build/bench >/dev/null
cmake --build build/bench -j2 --target launcher_console relay_source >/dev/null
bin=$root/build/bench

work=$(mktemp -d "${TMPDIR:-/tmp}/terminal_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/run"
cp "$bin/launcher_console" "$work/app/tool_console"
export XDG_RUNTIME_DIR=$work/run
bytes=$((mib * 1024 * 1024))
gen="'$bin/relay_source' lines $bytes 80"
printf '[wx6]\nlaunchercmd=%s\nlauncherargs=lines %s 80\nterminal=auto\n' \
  "$bin/relay_source" "$bytes" >"$work/app/tool.ini"
launcher="'$work/app/tool_console' -applogloc '$work/run.log'"
peer="script -q -c \"$gen\" '$work/script.log'"

# The seconds a command takes inside the outer terminal, to the microsecond.
seconds() {
  rm -f "$work/run.log" "$work/script.log"
  local t0=$EPOCHREALTIME
  script -q -c "$1" /dev/null </dev/null >/dev/null
  local t1=$EPOCHREALTIME
  awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f\n", b - a }'
}

summary() {
  sort -g | awk '{ v[NR] = $1 } END {
    m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
    printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}

: >"$work/ratios"; : >"$work/l.t"; : >"$work/s.t"
for ((r = 0; r < rounds; r++)); do
  if ((r % 2 == 0)); then
    l=$(seconds "$launcher"); s=$(seconds "$peer")
  else
    s=$(seconds "$peer"); l=$(seconds "$launcher")
  fi
  echo "$l" >>"$work/l.t"; echo "$s" >>"$work/s.t"
  awk -v l="$l" -v s="$s" 'BEGIN { printf "%.6f\n", l / s }' >>"$work/ratios"
done
rm -f "$work/run.log"
script -q -c "/usr/bin/time -f %M -o '$work/rss' $launcher" /dev/null </dev/null >/dev/null
rss=$(tail -1 "$work/rss")
logged=$(stat -c %s "$work/run.log")
read -r rm rlo rhi < <(summary <"$work/ratios")
read -r lm _ _ < <(summary <"$work/l.t")
read -r sm _ _ < <(summary <"$work/s.t")
echo "Linux, $rounds paired rounds, $mib MiB per run (load: $(cut -d' ' -f1-3 /proc/loadavg)):"
printf 'pty relay      launcher %6.3fs  script %6.3fs  ratio median %.3f (%.3f..%.3f, goal <= 1.0)  peak %.2f MiB  log %d bytes\n' \
  "$lm" "$sm" "$rm" "$rlo" "$rhi" "$(awk -v k="$rss" 'BEGIN { print k / 1024 }')" "$logged"
