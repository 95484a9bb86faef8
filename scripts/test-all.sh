#!/usr/bin/env bash
# Runs every test the project has, installing what each part needs. Every
# step runs even when an earlier one failed; a table at the end gives each
# step's result and wall time, and the exit status is non-zero when any
# step failed.
source "$(dirname "$0")/lib.sh"
cd "$ROOT"
steps=(test-core test-sanitize test-qt test-windows test-installer test-fuzz test-clang test-package test-live)
results=()
failures=0
for step in "${steps[@]}"; do
  echo "=== $step"
  begun=$SECONDS
  result=ok
  bash "scripts/$step.sh" || { result=FAIL; failures=$((failures + 1)); }
  results+=("$(printf '%-14s %-7s %4d:%02d' "$step" "$result" $(((SECONDS - begun) / 60)) $(((SECONDS - begun) % 60)))")
  echo "=== $step: $result"
done
echo "=== steps"
printf '%s\n' "${results[@]}"
printf '%-14s %-7s %4d:%02d\n' total "" $((SECONDS / 60)) $((SECONDS % 60))
if [ "$failures" -eq 0 ]; then
  echo "=== all test steps passed"
else
  echo "=== $failures of ${#steps[@]} steps failed"
  exit 1
fi
