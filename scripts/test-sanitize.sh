#!/usr/bin/env bash
# Builds the core and every test with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs the whole suite; any sanitizer report
# stops the test that caused it and fails the step.
source "$(dirname "$0")/lib.sh"
need_core_packages
cd "$ROOT"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1:detect_stack_use_after_return=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
CTEST_PARALLEL_LEVEL="$(nproc)" cmake --workflow --preset sanitize
