#!/usr/bin/env bash
# Builds the core, the simulated platform and the Linux backend with their
# tests, and runs them.
source "$(dirname "$0")/lib.sh"
need_core_packages
cd "$ROOT"
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default
