#!/usr/bin/env bash
# Builds the window fuzzer (clang's libFuzzer, with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs a fixed number of event sequences
# from the seed corpus with a fixed seed, so every run does the same work
# in the same time. A crash, a sanitizer report or a broken invariant fails
# the step and leaves the input that caused it in the work folder.
source "$(dirname "$0")/lib.sh"
need_core_packages
need_packages clang libclang-rt-14-dev
cd "$ROOT"

RUNS="${VANDREL_FUZZ_RUNS:-8000}"
SEED="${VANDREL_FUZZ_SEED:-1}"
export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target vandrel_window_fuzzer fuzz_corpus_replay_test fuzz_soak_test \
  fuzz_fault_regression_test
ctest --test-dir build/fuzz -R '^(fuzz_|Corpus|Soak|Faults)' --output-on-failure

# New inputs go to a scratch folder; the seed corpus in the repository is
# only read.
work="$(mktemp -d "${TMPDIR:-/tmp}/vandrel-fuzz.XXXXXX")"
echo "fuzzing: $RUNS runs, seed $SEED, work folder $work"
if ! build/fuzz/tests/fuzz/vandrel_window_fuzzer -seed="$SEED" -runs="$RUNS" -max_len=512 -timeout=20 \
    -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/" "$work" tests/fuzz/corpus \
    >"$work/fuzz.log" 2>&1; then
  tail -n 60 "$work/fuzz.log"
  echo "fuzzing failed; the input that did it is in $work" >&2
  exit 1
fi
grep -E '^(event sequences|stat::number_of_executed_units|Done)' "$work/fuzz.log" || true
rm -rf "$work"
