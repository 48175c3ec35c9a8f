#!/usr/bin/env bash
# Start-up cost of the launcher, as ratios against starting the same child
# directly, measured side by side in one run (interleaved rounds, so that a
# noisy neighbour hits both sides alike).
#   1. the launcher starting /bin/true (configuration read, log written,
#      instance guard checked) against `sh -c /bin/true`
#   2. the launcher starting a Java Hello World against `java Hello`
# Usage: bench/run_startup_bench.sh [rounds] (default 10; each round runs
# every command 10 times for /bin/true and 2 times for Java).
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-10}
[[ -x build/linux/launcher_console ]] || bash scripts/build linux >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_DATA_HOME=$work/data XDG_RUNTIME_DIR=$work/run TMP=$work/tmp
mkdir -p "$work/run" "$work/tmp"

cp build/linux/launcher_console "$work/true_console"
printf '[default]\nlaunchercmd=/bin/true\nid=benchtrue\nnorunwith=other-app\n' >"$work/true.ini"

mkdir -p "$work/classes"
cat >"$work/Hello.java" <<'JAVA'
public class Hello { public static void main(String[] a) { System.out.println("Hello, World"); } }
JAVA
javac -d "$work/classes" "$work/Hello.java"
cp build/linux/launcher_console "$work/hello_console"
printf '[default]\nlaunchercmd=java\nJavaArgs_1=-Xshare:auto\nClasspath=-cp %s\nMainClass=Hello\nid=benchhello\nnorunwith=other-app\n' \
  "$work/classes" >"$work/hello.ini"

now() { date +%s%N; }
# Runs a command n times; prints the elapsed nanoseconds.
timed() {
  local n=$1
  shift
  local t0 t1
  t0=$(now)
  for ((i = 0; i < n; i++)); do "$@" >/dev/null 2>&1; done
  t1=$(now)
  echo $((t1 - t0))
}

l_true=0 p_true=0 l_java=0 p_java=0
for ((r = 0; r < rounds; r++)); do
  l_true=$((l_true + $(timed 10 "$work/true_console")))
  p_true=$((p_true + $(timed 10 sh -c /bin/true)))
  l_java=$((l_java + $(timed 2 "$work/hello_console")))
  p_java=$((p_java + $(timed 2 java -Xshare:auto -cp "$work/classes" Hello)))
done
rm -rf "$work/data"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
per() { awk -v t="$1" -v n="$2" 'BEGIN { printf "%.2f ms", t / n / 1e6 }'; }
echo "launcher -> /bin/true : $(per $l_true $((rounds * 10))) per start"
echo "sh -c /bin/true       : $(per $p_true $((rounds * 10))) per start"
echo "ratio (goal <= 1.0)   : $(ratio $l_true $p_true)"
echo "launcher -> java Hello: $(per $l_java $((rounds * 2))) per start"
echo "java Hello            : $(per $p_java $((rounds * 2))) per start"
echo "ratio (goal <= 1.05)  : $(ratio $l_java $p_java)"
