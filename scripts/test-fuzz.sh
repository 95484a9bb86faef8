#!/usr/bin/env bash
# The fuzzers (clang's libFuzzer, both sanitizers) over their corpora, then a
# fixed number of new inputs each with a fixed seed (label fuzz_run), so every
# run does the same work. A crash, a sanitizer report or a broken invariant
# fails the step and leaves the input that caused it in the folder it names.
#   VANDREL_FUZZ_RUNS         the window fuzzer's runs (default 8000)
#   VANDREL_FUZZ_SEED         the seed (default 1)
#   VANDREL_FUZZ_PARSER_RUNS  scales each parser fuzzer's runs, per 1000
source "$(dirname "$0")/lib.sh"
need_core_packages
need_packages clang libclang-rt-14-dev
cd "$ROOT"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
cmake --workflow --preset fuzz
