#!/usr/bin/env bash
# Start time of a real Java application through the launcher, as ratios
# against starting the same `java` directly with the same arguments,
# measured side by side in one run (interleaved rounds, in a new random
# order each round, so that a noisy neighbour and the file cache hit every
# side alike).
#
# The application is bench/java_start_app (package startapp): it parses an
# XML catalogue, formats amounts and dates, uses collections, streams,
# regular expressions and a little reflection, and loads well over a
# thousand JDK classes. It is compiled into a jar in a temporary folder.
#
# For every Java runtime of version 13 or newer that the launcher's `system`
# search finds (every folder in /usr/lib/jvm and /usr/java holding `release`
# and bin/java; one runtime however many links lead to it), a renamed
# launcher copy beside its tool.ini (launchercmd naming that runtime) runs:
#   direct     `<runtime>/bin/java -cp app.jar startapp.Main bench`
#   warm       the launcher with javacache=auto, its archive already written
#   cold       the launcher with javacache=auto and an empty data folder,
#              so the first run, which records the classes it loads (a fresh
#              folder each round); timed until the launcher returns, and the
#              step it leaves behind is waited for, untimed, before the next
#              start, so that it never weighs on another case
#   no key     the launcher without javacache
#   read-only  the launcher with javacache=auto and XDG_DATA_HOME on a folder
#              that cannot be written (the key can do nothing there). As root,
#              mode bits do not stop writing: the script then runs itself in a
#              private mount namespace (unshare -m) and mounts that folder
#              read-only; without that the case is reported as n/a.
# Each case reports its median time, the median of the per-round ratios
# against direct java with their interquartile range and lowest..highest,
# and peak memory (GNU time's maximum resident size, which covers the
# launcher and the runtimes it waited for) from one extra run of each case.
# Every run's output is compared with direct java's and its exit code
# checked; a difference is printed, never hidden.
# A runtime older than 13 (the key cannot act there) runs direct java and
# the launcher with javacache=auto only, with the app compiled for Java 8.
# A runtime made by the machine's jlink (java.base and what the app needs,
# without the JDK's own class archive, as a plain jlink leaves it) runs
# direct, warm and cold as well.
# Goals (printed, never enforced): warm <= 0.70 on runtime 25 or newer
# (0.60 the aim), <= 0.90 on 17 to 24 and on the jlink runtime; cold <= 1.2;
# no key, read-only and too old <= 1.05.
# Usage: bench/run_java_start_bench.sh [rounds]; rounds also from
# JAVA_BENCH_ROUNDS (default 11; under 3 minutes for two runtimes on two
# busy cores).
set -euo pipefail

# Root writes through any mode bits; a read-only bind mount in a mount
# namespace of our own is what stops it, and it ends with this script.
if [[ $(id -u) -eq 0 && -z ${KB_JAVA_BENCH_NS:-} ]] && unshare -m true 2>/dev/null; then
  KB_JAVA_BENCH_NS=1 exec unshare -m -- bash "$0" "$@"
fi

cd "$(dirname "$0")/.."
rounds=${1:-${JAVA_BENCH_ROUNDS:-11}}
[[ -x build/linux/launcher_console ]] || bash scripts/build linux >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/java_start_bench.XXXXXX")
ro=$work/ro
cleanup() {
  if [[ -n ${KB_JAVA_BENCH_NS:-} ]]; then umount "$ro" 2>/dev/null || true; fi
  chmod -R u+w "$work" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/run" "$work/tmp" "$work/cold"
export XDG_RUNTIME_DIR=$work/run TMP=$work/tmp
# Options from the environment would reach both sides and could choose
# class-data sharing themselves, which the key leaves alone.
unset JAVA_TOOL_OPTIONS JDK_JAVA_OPTIONS _JAVA_OPTIONS

# Runtimes as the `system` search sees them, one per real home, highest
# version first: "<major> <version> <home>".
find_runtimes() {
  local folder home version major
  for folder in /usr/lib/jvm/* /usr/java/*; do
    [[ -d $folder && -f $folder/release && -x $folder/bin/java ]] || continue
    home=$(dirname "$(dirname "$(realpath "$folder/bin/java")")")
    version=$(sed -n 's/^JAVA_VERSION="\([^"]*\)".*/\1/p' "$folder/release")
    if [[ $version =~ ^1\.([0-9]+) ]]; then major=${BASH_REMATCH[1]}; else major=${version%%[!0-9]*}; fi
    [[ -n $major ]] && echo "$major $version $home"
  done | sort -k3,3 -u | sort -k1,1nr
}
runtimes=$(find_runtimes)
[[ -n $runtimes ]] || { echo "no Java runtime in /usr/lib/jvm or /usr/java"; exit 0; }

# The highest runtime's javac compiles for every runtime found: a jar for
# Java 13 (string concatenation and lambdas linked at run time, as in
# today's applications) and, only when an older runtime is there, one for
# Java 8.
javac=
while read -r _ _ home; do
  [[ -x $home/bin/javac ]] && { javac=$home/bin/javac; break; }
done <<<"$runtimes"
[[ -n $javac ]] || javac=$(command -v javac || true)
[[ -n $javac ]] || { echo "no javac in any runtime found or on PATH" >&2; exit 1; }
mapfile -t sources < <(find bench/java_start_app -name '*.java')
for release in 13 8; do
  [[ $release == 8 ]] && ! awk '$1 < 13 { found = 1 } END { exit !found }' <<<"$runtimes" && continue
  "$javac" --release "$release" -Xlint:-options -d "$work/classes$release" "${sources[@]}"
  (cd "$work/classes$release" && "$(dirname "$javac")/jar" cf "$work/startapp-$release.jar" .)
done

# A plain jlink runtime of the highest runtime with a jlink: the modules
# the app needs, and no lib/server/classes.jsa (jlink adds one only when
# asked to with --generate-cds-archive).
jlink_home=
while read -r major _ home; do
  ((major >= 13)) && [[ -x $home/bin/jlink ]] || continue
  modules=$("$home/bin/jdeps" --print-module-deps --ignore-missing-deps "$work/startapp-13.jar" 2>/dev/null || echo java.base,java.xml)
  if "$home/bin/jlink" --add-modules "$modules" --output "$work/jlink" >/dev/null 2>&1; then
    rm -f "$work/jlink/lib/server/classes.jsa" "$work/jlink/lib/server/classes_nocoops.jsa"
    jlink_home=$work/jlink
    runtimes+=$'\n'"$major jlink-$(sed -n 's/^JAVA_VERSION="\([^"]*\)".*/\1/p' "$jlink_home/release") $jlink_home"
  fi
  break
done <<<"$runtimes"

# The data folder that cannot be written: it exists, as it would for a user
# who has run the launcher before, with no archive in it. The launcher
# cannot write its log there either, says so on standard error, and goes on.
mkdir -p "$ro/Orlan/Kestrelbay"
chmod 0500 "$ro/Orlan/Kestrelbay"
chmod 0555 "$ro/Orlan" "$ro"
if [[ -n ${KB_JAVA_BENCH_NS:-} ]]; then mount --bind -o ro "$ro" "$ro" 2>/dev/null || true; fi
ro_usable=1
if mkdir "$ro/Orlan/Kestrelbay/cache" 2>/dev/null; then
  rmdir "$ro/Orlan/Kestrelbay/cache"
  ro_usable=0
fi

# Prints "median q1 q3 lowest highest" of the numbers on standard input.
summary() {
  sort -g | awk '{ v[NR] = $1 }
    function q(p,  x, i) { x = 1 + (NR - 1) * p; i = int(x); return v[i] + (x - i) * (v[i + 1] - v[i]) }
    END { v[NR + 1] = v[NR]; printf "%.6f %.6f %.6f %.6f %.6f\n", q(0.5), q(0.25), q(0.75), v[1], v[NR] }'
}

# case_command CASE: sets `cmd` and `data`, the XDG_DATA_HOME it runs with
# (direct java ignores it). Each cold start gets a new, empty data folder.
case_command() {
  data=$data_plain
  case $1 in
    direct) cmd=("$java" -cp "$jar" startapp.Main bench) ;;
    warm) data=$data_warm; cmd=("$app/key/tool_console") ;;
    cold) cold_n=$((cold_n + 1)); data=$work/cold/$cold_n; cmd=("$app/key/tool_console") ;;
    nokey) cmd=("$app/plain/tool_console") ;;
    readonly) data=$ro; cmd=("$app/key/tool_console") ;;
  esac
}
launch() { XDG_DATA_HOME=$data "${cmd[@]}" </dev/null >"$work/out" 2>"$work/err"; }
# A first run leaves a step that makes the archive after the launcher has
# returned; it ends by writing its note (at most a minute here).
wait_step() {
  local i
  for ((i = 0; i < 600; i++)); do
    compgen -G "$1/*/*/cache/*.note" >/dev/null && ! compgen -G "$1/*/*/cache/*.classes.part" >/dev/null && return 0
    sleep 0.1
  done
}

# Processor seconds (user + system) of the shell's waited-for children so
# far, from `times` written by this shell itself (a subshell would count
# its own children only). A runtime's own threads and the launcher's
# child are all included.
children_cpu() { awk 'NR == 2 { n = split($0, f, /[ms]+/); print f[1] * 60 + f[2] + f[3] * 60 + f[4] }' "$1"; }

# timed CASE: runs it once, appends "<seconds> <processor seconds>" to
# $work/<case>.t, and notes a wrong exit code or output.
timed() {
  local t0 t1 rc=0
  case_command "$1"
  times >"$work/cpu0"
  t0=$EPOCHREALTIME
  launch || rc=$?
  t1=$EPOCHREALTIME
  times >"$work/cpu1"
  awk -v a="$t0" -v b="$t1" -v c0="$(children_cpu "$work/cpu0")" -v c1="$(children_cpu "$work/cpu1")" \
    'BEGIN { printf "%.6f %.3f\n", b - a, c1 - c0 }' >>"$work/$1.t"
  if ((rc != 0)); then
    echo "exit $rc: $(head -c 300 "$work/err" | tr '\n' ' ')" >>"$work/$1.bad"
  elif ! cmp -s "$work/out" "$work/expected"; then
    echo "output differs from direct java" >>"$work/$1.bad"
  fi
  if [[ $1 == cold ]]; then wait_step "$data"; rm -rf "$data"; fi
  return 0
}

# peak CASE: the maximum resident size of one more start of it.
peak() {
  [[ -x /usr/bin/time ]] || { echo n/a; return; }
  case_command "$1"
  /usr/bin/time -f %M -o "$work/rss" env XDG_DATA_HOME="$data" "${cmd[@]}" </dev/null >/dev/null 2>&1 || true
  if [[ $1 == cold ]]; then wait_step "$data"; rm -rf "$data"; fi
  awk -v k="$(tail -1 "$work/rss")" 'BEGIN { printf "%.1f MiB", k / 1024 }'
}

# report CASE LABEL GOAL: its median time and processor time, their ratios
# against direct java, and its peak memory; GOAL is a bound on the median
# time ratio, "reported" or empty.
report() {
  local c=$1 label=$2 goal=$3 tm cm m q1 q3 lo hi line
  read -r tm _ _ _ _ < <(cut -d' ' -f1 "$work/$c.t" | summary)
  read -r cm _ _ _ _ < <(cut -d' ' -f2 "$work/$c.t" | summary)
  line=$(printf '  %-26s %7.1f ms' "$label" "$(awk -v s="$tm" 'BEGIN { print s * 1000 }')")
  if [[ $c != direct ]]; then
    read -r m q1 q3 lo hi < <(cut -d' ' -f1 "$work/$c.ratio" | summary)
    line+=$(printf '  ratio %.3f (iqr %.3f..%.3f, range %.3f..%.3f)' "$m" "$q1" "$q3" "$lo" "$hi")
    case $goal in
      reported) line+="  reported only" ;;
      '') line+="  no goal for this version" ;;
      *) if [[ -f $work/$c.bad ]]; then
           line+="  goal <= $goal: MISSED (wrong runs)"
         else
           line+="  goal <= $goal: $(awk -v m="$m" -v g="$goal" 'BEGIN { print (m <= g ? "met" : "MISSED") }')"
         fi ;;
    esac
  fi
  echo "$line"
  line=$(printf '  %-26s %7.1f ms cpu' "" "$(awk -v s="$cm" 'BEGIN { print s * 1000 }')")
  if [[ $c != direct ]]; then
    read -r m q1 q3 _ _ < <(cut -d' ' -f2 "$work/$c.ratio" | summary)
    line+=$(printf '  cpu ratio %.3f (iqr %.3f..%.3f)' "$m" "$q1" "$q3")
  fi
  echo "$line  peak $(peak "$c")"
  if [[ -f $work/$c.bad ]]; then
    echo "    $(wc -l <"$work/$c.bad") of $rounds runs wrong, e.g.: $(head -1 "$work/$c.bad")"
  fi
}

load=$(cut -d' ' -f1-3 /proc/loadavg)
echo "Java start through the launcher against direct java, $rounds paired rounds per runtime (load: $load)"
if awk -v l="${load%% *}" -v n="$(nproc)" 'BEGIN { exit !(l > n) }'; then
  echo "The machine is busy (load above $(nproc) processors): a start mostly waits for a processor," \
    "so the time ratios scatter; the processor-time ratios show the work itself."
fi
rt=0
while read -r major version home; do
  rt=$((rt + 1))
  java=$home/bin/java
  jar=$work/startapp-13.jar
  ((major >= 13)) || jar=$work/startapp-8.jar
  app=$work/app$rt
  data_warm=$work/data$rt/warm
  data_plain=$work/data$rt/plain
  cold_n=0
  mkdir -p "$app/key" "$app/plain"
  for variant in key plain; do
    cp build/linux/launcher_console "$app/$variant/tool_console"
    printf '[default]\nlaunchercmd=%s\nClasspath=-cp %s\nMainClass=startapp.Main\nAddtlArgs_1=bench\n' \
      "$java" "$jar" >"$app/$variant/tool.ini"
  done
  echo 'javacache=auto' >>"$app/key/tool.ini"
  if [[ $home == "$jlink_home" ]]; then
    cases=(direct warm cold)
  elif ((major >= 13)); then
    cases=(direct warm cold nokey)
    ((ro_usable)) && cases+=(readonly)
  else
    cases=(direct warm)
  fi
  rm -f "$work"/*.t "$work"/*.bad "$work"/*.ratio

  if ((major >= 9)); then
    "$java" -Xlog:class+load:file="$work/classes.log" -cp "$jar" startapp.Main bench >"$work/expected"
  else
    "$java" -verbose:class -cp "$jar" startapp.Main bench | grep '^\[Loaded' >"$work/classes.log"
    "$java" -cp "$jar" startapp.Main bench >"$work/expected"
  fi
  echo
  echo "runtime $version, $home: $(wc -l <"$work/classes.log") classes loaded" \
    "($(grep -c 'shared objects file' "$work/classes.log" || true) from the JDK's own archive)"

  # One untimed start of each case: fills the file cache, and the first
  # start with the key writes the archive that the warm case then uses.
  for c in "${cases[@]}"; do
    case_command "$c"
    launch || true
    [[ $c == warm || $c == cold ]] && wait_step "$data"
    [[ $c == cold ]] && rm -rf "$data"
  done
  archive=$(find "$data_warm" -path '*/cache/*' -type f \( -name '*.jsa' -o -name '*.aot' \) -printf '%f (%s bytes) ' 2>/dev/null || true)
  echo "  archive after the first start: ${archive:-none}"

  for ((r = 0; r < rounds; r++)); do
    # A new order each round: no case always comes first, or always right
    # after the cold start, whose archive writing leaves work for the disk.
    mapfile -t order < <(shuf -e "${cases[@]}")
    for c in "${order[@]}"; do timed "$c"; done
    d=$(tail -1 "$work/direct.t")
    for c in "${cases[@]:1}"; do
      awk -v a="$(tail -1 "$work/$c.t")" -v d="$d" 'BEGIN { split(a, x, " "); split(d, y, " ")
        printf "%.6f %.6f\n", x[1] / y[1], (y[2] > 0 ? x[2] / y[2] : 0) }' >>"$work/$c.ratio"
    done
  done

  report direct "direct java" ""
  if ((major < 13)); then
    report warm "javacache=auto, too old" 1.05
    continue
  fi
  goal=
  if [[ $home == "$jlink_home" ]]; then goal=0.90; elif ((major >= 25)); then goal=0.70; elif ((major >= 17)); then goal=0.90; fi
  report warm "javacache=auto, warm" "$goal"
  report cold "javacache=auto, cold" 1.2
  [[ $home == "$jlink_home" ]] && continue
  report nokey "no javacache" 1.05
  if ((ro_usable)); then
    report readonly "javacache=auto, read-only" 1.05
  else
    echo "  javacache=auto, read-only  n/a: running as root without a private mount namespace, no folder is read-only"
  fi
done <<<"$runtimes"
