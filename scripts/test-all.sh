#!/usr/bin/env bash
# Runs every test the project has, installing what each part needs.
source "$(dirname "$0")/lib.sh"
cd "$ROOT"
for step in test-core test-sanitize test-qt test-windows test-installer test-fuzz test-clang test-package test-live; do
  if [ -f "scripts/$step.sh" ]; then
    echo "=== $step"
    bash "scripts/$step.sh"
  fi
done
echo "=== all test steps passed"
