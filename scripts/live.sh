#!/usr/bin/env bash
# Plays scenario files on the live stack: the window over the native
# hidraw backend, in a QEMU guest whose kernel sees virtual USB units.
# Prints each runner's output as vandrel-sim prints it, in the order of
# the files, and exits with the first non-zero status.
#   scripts/live.sh [--windows] FILE...
# VANDREL_LIVE_BUILD names the build folder whose vandrel-sim plays them
# (default build/default, built here when missing).
source "$(dirname "$0")/lib.sh"
if [ "${1:-}" = "--windows" ]; then
  echo "live.sh: --windows is not available yet: the Windows runner has no live mode" >&2
  exit 2
fi
[ $# -gt 0 ] || { echo "usage: live.sh [--windows] FILE..." >&2; exit 2; }
build="${VANDREL_LIVE_BUILD:-$ROOT/build/default}"
if [ -z "${VANDREL_LIVE_BUILD:-}" ]; then
  need_core_packages
  (cd "$ROOT" && cmake --preset default >/dev/null && cmake --build --preset default --target vandrel-sim >/dev/null)
fi
files=()
for f in "$@"; do
  [ -f "$f" ] || { echo "live.sh: no file $f" >&2; exit 2; }
  files+=("$(cd "$(dirname "$f")" && pwd)/$(basename "$f")")
done
out="$ROOT/build/live/played"
rm -rf "$out"
bash "$ROOT/scripts/vm.sh" sh "$ROOT/tests/live/play.sh" "$build/src/app/vandrel-sim" "$out" "${files[@]}" >&2
status=0
for f in "${files[@]}"; do
  name=$(basename "$f" .scn)
  cat "$out/$name.actual"
  cat "$out/$name.err" >&2
  s=$(cat "$out/$name.status" 2>/dev/null || echo 1)
  [ "$status" -ne 0 ] || status=$s
done
exit "$status"
