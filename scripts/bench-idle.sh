#!/usr/bin/env bash
# The whole process left idle with no unit, as a ratio to a bare window of
# the same toolkit with the same 50 ms timer, both run in the same run,
# alternating (A B, B A, ...), so that both meet the same machine:
#   Linux: `vandrel` (release build) against vandrel-bench-idle-window (Qt),
#          each on the same Xvfb display;
#   Wine:  vandrel.exe against vandrel-bench-idle-window.exe (Win32), each
#          in a Wine prefix of its own run, counting every process of the
#          prefix (the Wine server, its services and device host, the
#          program), since much of a Windows program's work is done there.
# Time on a CPU is read from /proc/PID/task/*/schedstat (nanoseconds; clock
# ticks would be too coarse) once the program has settled and again at the
# end of the span, per thread; a thread that starts in the span counts in
# full.
#   VANDREL_IDLE_SECONDS  the measured span of each run (default 30)
#   VANDREL_IDLE_ROUNDS   runs of each program (default 3)
#   VANDREL_IDLE_SETTLE   seconds left to start-up first (default 5; Wine 15)
#   VANDREL_IDLE_ONLY     linux or wine to measure one pair only
# Under Wine it also counts, from Wine's trace, the HID lists vandrel.exe
# builds in 20 s of idle.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_packages xvfb
only="${VANDREL_IDLE_ONLY:-}"
seconds="${VANDREL_IDLE_SECONDS:-30}"
rounds="${VANDREL_IDLE_ROUNDS:-3}"
cd "$ROOT" || exit 1

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
app=""
cleanup() {
  [ -z "$app" ] || kill "$app" 2>/dev/null || true
  [ -z "${WINEPREFIX:-}" ] || timeout 30 wineserver -k 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
  wait 2>/dev/null || true
  return 0
}
trap cleanup EXIT
export DISPLAY="$display"

# "tid ns" for every thread of the processes named on standard input.
thread_times() {
  local pid t
  while read -r pid; do
    for t in /proc/"$pid"/task/*; do
      [ -r "$t/schedstat" ] && echo "${t##*/} $(cut -d' ' -f1 "$t/schedstat" 2>/dev/null)"
    done
  done
}

# CPU seconds the threads spent between two thread_times snapshots.
cpu_between() {
  awk 'NR == FNR { before[$1] = $2; next } { s += $2 - ($1 in before ? before[$1] : 0) }
       END { printf "%.6f", s / 1e9 }' "$1" "$2"
}

# The processes that belong to the Wine prefix, the server included.
prefix_pids() {
  local p
  for p in /proc/[0-9]*; do
    { tr '\0' '\n' <"$p/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && echo "${p##*/}"
  done
}

# Prints the share of one core that the run cost, in per cent.
measure() {
  local kind=$1 label=$2
  shift 2
  local settle start end cpu nprocs snap1 snap2
  snap1=$(mktemp) snap2=$(mktemp)
  if [ "$kind" = wine ]; then
    settle="${VANDREL_IDLE_SETTLE:-15}"
    wine "$@" >/dev/null 2>&1 &
  else
    settle="${VANDREL_IDLE_SETTLE:-5}"
    QT_QPA_PLATFORM=xcb "$@" >/dev/null 2>&1 &
  fi
  app=$!
  sleep "$settle"
  kill -0 "$app" 2>/dev/null || { echo "$label did not stay up" >&2; exit 1; }
  pids() { if [ "$kind" = wine ]; then prefix_pids; else echo "$app"; fi; }
  pids | thread_times >"$snap1"
  start=$(date +%s.%N)
  sleep "$seconds"
  pids | thread_times >"$snap2"
  end=$(date +%s.%N)
  cpu=$(cpu_between "$snap1" "$snap2")
  nprocs=$(pids | wc -l)
  kill "$app" 2>/dev/null
  wait "$app" 2>/dev/null
  app=""
  if [ "$kind" = wine ]; then timeout 60 wineserver -k 2>/dev/null || true; timeout 60 wineserver -w 2>/dev/null || true; fi
  rm -f "$snap1" "$snap2"
  awk -v c="$cpu" -v s="$start" -v e="$end" -v l="$label" -v n="$nprocs" 'BEGIN { p = 100 * c / (e - s)
    printf "  %-28s %d processes  %.4f s of CPU in %.1f s  %.3f%% of one core\n", l, n, c, e - s, p > "/dev/stderr"
    printf "%.6f\n", p }'
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Runs the pair alternately and prints both medians and their ratio.
pair() {
  local kind=$1 name=$2 program=$3 bare=$4
  local ours=() floor=() r
  echo "$name: $rounds runs each of ${seconds} s, alternating" >&2
  run_ours() { ours+=("$(measure "$kind" "$(basename "$program")" "$program")"); }
  run_floor() { floor+=("$(measure "$kind" "bare window" "$bare")"); }
  for ((r = 0; r < rounds; r++)); do
    if ((r % 2 == 0)); then run_ours; run_floor; else run_floor; run_ours; fi
  done
  local a b
  a=$(printf '%s\n' "${ours[@]}" | median)
  b=$(printf '%s\n' "${floor[@]}" | median)
  awk -v a="$a" -v b="$b" -v n="$name" 'BEGIN {
    printf "%s: median %.3f%% of one core against %.3f%% for the bare window: %.2f times\n", n, a, b, a / b }'
}

nodes=$(ls /sys/class/hidraw 2>/dev/null | wc -l)
echo "no unit attached; $nodes hidraw nodes present" >&2

if [ "$only" != wine ]; then
  need_qt_packages
  cmake --preset release >/dev/null
  cmake --build --preset release --target vandrel vandrel-bench-idle-window >/dev/null
  pair linux "Linux, vandrel" "$ROOT/build/release/src/app/qt/vandrel" \
    "$ROOT/build/release/bench/qt/vandrel-bench-idle-window"
fi

if [ "$only" != linux ]; then
  need_windows_packages
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target vandrel vandrel-bench-idle-window >/dev/null
  wine_environment "$ROOT/build/windows/idle-prefix"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "creating the Wine prefix in $WINEPREFIX" >&2
    timeout 300 wineboot -i >/dev/null 2>&1
    timeout 60 wineserver -w
  fi
  pair wine "Wine, vandrel.exe" "$ROOT/build/windows/bin/vandrel.exe" \
    "$ROOT/build/windows/bin/vandrel-bench-idle-window.exe"
  # The HID lists the program builds, from Wine's own trace: its calls ask
  # for present HID interfaces (flags 0x12), which no Wine service does.
  trace=$(mktemp)
  WINEDEBUG=-all,trace+setupapi wine "$ROOT/build/windows/bin/vandrel.exe" >/dev/null 2>"$trace" &
  app=$!
  lists() { grep -c 'SetupDiGetClassDevsExW {4d1e55b2-f16f-11cf-88cb-001111000030} .* 0x00000012' "$trace"; }
  for ((i = 0; i < 240 && $(lists) == 0; i++)); do sleep 0.5; done
  sleep 3
  first=$(lists)
  sleep 20
  echo "Wine, vandrel.exe: $(($(lists) - first)) SetupDiGetClassDevs lists in 20 s of idle after start-up" >&2
  # Ended by the signal, it exits with 143: that is no failure of the bench.
  kill "$app" && wait "$app" 2>/dev/null || true
  app="" && rm -f "$trace"
fi
exit 0
