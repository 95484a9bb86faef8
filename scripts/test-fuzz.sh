#!/usr/bin/env bash
# Builds the window fuzzer and the parser fuzzers (clang's libFuzzer, with
# AddressSanitizer and UndefinedBehaviorSanitizer) and runs a fixed number
# of inputs from each seed corpus with a fixed seed, so every run does the
# same work in the same time. A crash, a sanitizer report or a broken invariant fails
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
PARSERS=(report_descriptor sysfs utf16_text win32_records scenario)
cmake --build --preset fuzz --target vandrel_window_fuzzer fuzz_corpus_replay_test fuzz_soak_test \
  fuzz_fault_regression_test fuzz_parser_corpus_replay_test $(printf 'vandrel_%s_fuzzer ' "${PARSERS[@]}")
ctest --test-dir build/fuzz -R '^(fuzz_|Corpus|ParserCorpus|Soak|Faults)' --output-on-failure

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

# Each parser fuzzer with its own fixed share: the sysfs one lays out a
# file tree per input and is far slower than the others.
# VANDREL_FUZZ_PARSER_RUNS scales them all (a number of runs per 1000).
SCALE="${VANDREL_FUZZ_PARSER_RUNS:-1000}"
declare -A PARSER_RUNS=([report_descriptor]=50000 [sysfs]=3000 [utf16_text]=20000 [win32_records]=200000
  [scenario]=30000)
for parser in "${PARSERS[@]}"; do
  runs=$((PARSER_RUNS[$parser] * SCALE / 1000))
  work="$(mktemp -d "${TMPDIR:-/tmp}/vandrel-fuzz-$parser.XXXXXX")"
  echo "fuzzing $parser: $runs runs, seed $SEED"
  if ! "build/fuzz/tests/fuzz/vandrel_${parser}_fuzzer" -seed="$SEED" -runs="$runs" -max_len=1024 -timeout=20 \
      -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/" "$work" "tests/fuzz/corpora/$parser" \
      >"$work/fuzz.log" 2>&1; then
    tail -n 40 "$work/fuzz.log"
    echo "fuzzing $parser failed; the input that did it is in $work" >&2
    exit 1
  fi
  grep -E '^(stat::number_of_executed_units|Done)' "$work/fuzz.log" || true
  rm -rf "$work"
done
