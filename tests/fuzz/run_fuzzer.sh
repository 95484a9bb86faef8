#!/usr/bin/env bash
# run_fuzzer.sh FUZZER CORPUS MAX_LEN RUNS|parser:SHARE (scripts/test-fuzz.sh
# names the variables). New inputs go to a scratch folder, kept with the
# input that failed; the corpus in the repository is only read.
set -euo pipefail
fuzzer=$1 corpus=$2 max_len=$3 runs=$4
case $runs in
  parser:*) runs=$((${runs#parser:} * ${VANDREL_FUZZ_PARSER_RUNS:-1000} / 1000)) ;;
  *) runs=${VANDREL_FUZZ_RUNS:-$runs} ;;
esac
work="$(mktemp -d "${TMPDIR:-/tmp}/vandrel-fuzz-$(basename "$fuzzer").XXXXXX")"
echo "fuzzing $(basename "$fuzzer"): $runs runs, seed ${VANDREL_FUZZ_SEED:-1}, work folder $work"
if ! "$fuzzer" -seed="${VANDREL_FUZZ_SEED:-1}" -runs="$runs" -max_len="$max_len" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$work/" "$work" "$corpus" >"$work/fuzz.log" 2>&1; then
  tail -n 60 "$work/fuzz.log"
  echo "fuzzing failed; the input that did it is in $work" >&2
  exit 1
fi
grep -E '^(event sequences|stat::number_of_executed_units|Done)' "$work/fuzz.log" || true
rm -rf "$work"
