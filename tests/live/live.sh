#!/usr/bin/env bash
# Plays scenario files on the live stack: the window over the native
# hidraw backend, in a QEMU guest whose kernel sees virtual USB units.
# Prints each runner's output as vandrel-sim prints it, in the order of
# the files, and exits with the first non-zero status.
#   scripts/live.sh [--windows] FILE...    (this file's entry point)
# With --windows the Windows runner (vandrel-sim.exe, cross-built) plays
# them under Wine in the guest, through Wine's HID stack over the same
# kernel devices. VANDREL_LIVE_BUILD names the build folder whose runner
# plays them (default build/default, or build/windows; built here when
# not given).
source "$(dirname "$0")/../../scripts/lib.sh"
windows=
if [ "${1:-}" = "--windows" ]; then
  windows=1
  shift
fi
[ $# -gt 0 ] || { echo "usage: live.sh [--windows] FILE..." >&2; exit 2; }
need_core_packages
# Each scenario's budget comes from the native runner's reading of it.
if [ -z "${VANDREL_LIVE_BUILD:-}" ] || [ -n "$windows" ]; then
  (cd "$ROOT" && cmake --preset default >/dev/null && cmake --build --preset default --target vandrel-sim >/dev/null)
fi
if [ -n "$windows" ]; then
  build="${VANDREL_LIVE_BUILD:-$ROOT/build/windows}"
  windows=("--windows" "$ROOT/build/windows/wineprefix-live")
  runner="$build/tests/rig/vandrel-sim.exe"
  need_live_windows_packages
  if [ -z "${VANDREL_LIVE_BUILD:-}" ]; then
    (cd "$ROOT" && cmake --preset windows >/dev/null && cmake --build --preset windows --target vandrel-sim >/dev/null)
  fi
  prepare_live_wine_prefix "$ROOT/build/windows/wineprefix-live"
  layer=windows
else
  build="${VANDREL_LIVE_BUILD:-$ROOT/build/default}"
  windows=()
  runner="$build/tests/rig/vandrel-sim"
  layer=linux
fi
files=()
for f in "$@"; do
  [ -f "$f" ] || { echo "live.sh: no file $f" >&2; exit 2; }
  files+=("$(cd "$(dirname "$f")" && pwd)/$(basename "$f")")
done
out="$ROOT/build/live/played"
rm -rf "$out"
. "$ROOT/tests/live/budget.sh"
budget_runner="$ROOT/build/default/tests/rig/vandrel-sim"
limit=$((BUDGET_BOOT + BUDGET_UNITS + ${windows:+$BUDGET_WINE + $BUDGET_RUNNER_WINE - $BUDGET_RUNNER_LINUX} +
  BUDGET_RUNNER_LINUX + $("$budget_runner" --budget $layer "${files[@]}")))
bash "$ROOT/scripts/vm.sh" --timeout "$limit" env VANDREL_BUDGET_RUNNER="$budget_runner" bash "$ROOT/tests/live/play.sh" "${windows[@]}" "$out" "$runner" "${files[@]}" >&2
status=0
for f in "${files[@]}"; do
  name=$(basename "$f" .scn)
  cat "$out/$name.actual"
  cat "$out/$name.err" >&2
  s=$(cat "$out/$name.status" 2>/dev/null || echo 1)
  [ "$status" -ne 0 ] || status=$s
done
exit "$status"
