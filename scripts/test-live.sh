#!/usr/bin/env bash
# The live suite: every golden scenario that real devices can play (those
# that fail no single call), played in a QEMU guest on Debian's kernel
# against virtual USB units over the hidraw backend, must print exactly
# its golden output. The hostile ones (hostile_*.scn) are played by a
# vandrel-sim built with AddressSanitizer and UndefinedBehaviorSanitizer,
# which ends the run on any report. Then a picture of the Qt window over
# the same stack, build/live/vandrel-live.png.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_qt_packages
cd "$ROOT"
cmake --preset default >/dev/null
cmake --build --preset default --target vandrel-sim vandrel-live-screenshot
cmake --preset sanitize >/dev/null
cmake --build --preset sanitize --target vandrel-sim
build="$ROOT/build/default"
sanitized="$ROOT/build/sanitize/src/app/vandrel-sim"

scenarios=() plain=() hostile=()
for f in tests/scenarios/*.scn tests/live/*.scn; do
  [ -f "$f" ] || continue
  grep -q -E '^[[:space:]]*(fail|heal)\b' "$f" && continue
  scenarios+=("$ROOT/$f")
  case "$(basename "$f")" in
    hostile_*) hostile+=("$ROOT/$f") ;;
    *) plain+=("$ROOT/$f") ;;
  esac
done
out="$ROOT/build/live/suite"
picture="$ROOT/build/live/vandrel-live.png"
rm -rf "$out" "$picture"
# Any sanitizer report aborts the runner, which then exits non-zero.
bash scripts/vm.sh --timeout 900 env ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 sh tests/live/play.sh "$build/src/app/vandrel-sim" "$out" \
  --screenshot "$build/tests/live/vandrel-live-screenshot" "$picture" "${plain[@]}" --runner "$sanitized" \
  "${hostile[@]}"

failed=0 commands=0
for f in "${scenarios[@]}"; do
  name=$(basename "$f" .scn)
  expected="${f%.scn}.out"
  status=$(cat "$out/$name.status" 2>/dev/null || echo missing)
  if [ "$status" != 0 ]; then
    echo "FAIL $name: the runner exited with $status"
    cat "$out/$name.err"
    failed=$((failed + 1))
  elif ! diff -u "$expected" "$out/$name.actual" >"$out/$name.diff"; then
    echo "FAIL $name: output differs from $expected"
    cat "$out/$name.diff"
    failed=$((failed + 1))
  else
    echo "ok   $name"
  fi
  commands=$((commands + $(grep -c '^> ' "$out/$name.actual" 2>/dev/null || true)))
done
if [ "$(cat "$out/screenshot.status" 2>/dev/null)" = 0 ] && [ -f "$picture" ]; then
  echo "ok   picture of the window over the live stack: $picture"
else
  echo "FAIL no picture of the window over the live stack"
  failed=$((failed + 1))
fi
echo "live stack: ${#scenarios[@]} scenarios, $commands commands played"
echo "$(( ${#scenarios[@]} + 1 - failed )) passed, $failed failed"
[ "$failed" -eq 0 ]
