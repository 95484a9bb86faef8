#!/usr/bin/env bash
# The whole process left idle with no unit: CPU time of `vandrel` (release
# build) on an X server of its own (Xvfb), as a share of one core. The
# process settles first, then the time its threads spent on a CPU is read
# from /proc/PID/task/*/schedstat (nanoseconds; clock ticks would be too
# coarse for a span of a few milliseconds) at the start and at the end.
#   VANDREL_IDLE_SECONDS  the measured span (default 60)
#   VANDREL_IDLE_SETTLE   seconds left to start-up first (default 5)
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
need_packages xvfb
cd "$ROOT"
cmake --preset release >/dev/null
cmake --build --preset release --target vandrel >/dev/null

seconds="${VANDREL_IDLE_SECONDS:-60}"
settle="${VANDREL_IDLE_SETTLE:-5}"
display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
DISPLAY="$display" QT_QPA_PLATFORM=xcb "$ROOT/build/release/src/app/qt/vandrel" >/dev/null 2>&1 &
app=$!
trap 'kill "$app" "$xvfb" 2>/dev/null; wait 2>/dev/null' EXIT

# The first field of each thread's schedstat: its time on a CPU, in ns.
cpu_ns() { cat /proc/"$app"/task/*/schedstat | awk '{ s += $1 } END { printf "%.0f", s }'; }

sleep "$settle"
kill -0 "$app" || { echo "vandrel did not stay up" >&2; exit 1; }
before=$(cpu_ns)
start=$(date +%s.%N)
sleep "$seconds"
after=$(cpu_ns)
end=$(date +%s.%N)
nodes=$(ls /sys/class/hidraw 2>/dev/null | wc -l)
awk -v b="$before" -v a="$after" -v s="$start" -v e="$end" -v n="$nodes" 'BEGIN {
  cpu = (a - b) / 1e9; span = e - s
  printf "vandrel idle with no unit, %d hidraw nodes present: %.4f s of CPU in %.1f s, %.3f%% of one core\n",
         n, cpu, span, 100 * cpu / span }'
