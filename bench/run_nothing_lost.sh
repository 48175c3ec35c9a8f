#!/usr/bin/env bash
# Nothing lost, at full size: test_child writes N random bytes (all 256
# values) through the launcher; verify_relay checks the console copy and the
# log byte for byte. Linux: 1 GiB. With --windows: 64 MiB through the Windows
# launcher under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
mode=${1:-linux}
cmake --preset bench >/dev/null && cmake --build build/bench --target verify_relay -j2 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/app" "$work/run" "$work/data"
seed=4242
if [[ $mode == --windows ]]; then
  size=$((64 * 1024 * 1024))
  [[ -x build/windows/launcher_console.exe ]] || bash scripts/build windows >/dev/null
  cp build/windows/launcher_console.exe "$work/app/tool_console.exe"
  cp build/windows/test_child.exe "$work/app/"
  printf '[wx6]\nlaunchercmd=test_child.exe\nlauncherargs=--tc-quiet --tc-random=%d:%d\n' "$size" "$seed" >"$work/app/tool.ini"
  export WINEDEBUG=-all
  start=$(date +%s.%N)
  wine "$work/app/tool_console.exe" -applogloc 'Z:'"${work//\//\\}"'\data\run.log' >"$work/console.bin"
  end=$(date +%s.%N)
else
  size=$((1024 * 1024 * 1024))
  [[ -x build/linux/launcher_console ]] || bash scripts/build linux >/dev/null
  cp build/linux/launcher_console "$work/app/tool_console"
  printf '[wx6]\nlaunchercmd=%s\nlauncherargs=--tc-quiet --tc-random=%d:%d\n' \
    "$root/build/linux/test_child" "$size" "$seed" >"$work/app/tool.ini"
  start=$(date +%s.%N)
  XDG_RUNTIME_DIR=$work/run "$work/app/tool_console" -applogloc "$work/data/run.log" >"$work/console.bin"
  end=$(date +%s.%N)
fi
echo "relayed $size bytes in $(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f", b - a }') s"
build/bench/verify_relay "$size" "$seed" "$work/console.bin" "$work/data/run.log"
