#!/usr/bin/env bash
# Builds the core benchmarks in release mode, runs them and prints a table
# of figures, baselines and ratios with the budgets. Exits non-zero when a
# budget is missed or a connected poll tick allocates.
#   VANDREL_BENCH_REPETITIONS  repetitions per benchmark (default 5)
#   VANDREL_BENCH_FILTER       Google Benchmark filter (default: all)
source "$(dirname "$0")/lib.sh"
need_core_packages
# The release preset also builds the Qt programs and their benchmarks.
need_qt_packages
cd "$ROOT"
cmake --preset release >/dev/null
cmake --build --preset release --target vandrel-bench-core

out="build/release/bench-core.json"
# The program fails on its own when a connected tick allocates; the table
# is still printed so the figures show why.
bench_rc=0
build/release/bench/core/vandrel-bench-core \
  --benchmark_repetitions="${VANDREL_BENCH_REPETITIONS:-5}" \
  --benchmark_filter="${VANDREL_BENCH_FILTER:-.}" \
  --benchmark_out="$out" --benchmark_out_format=json >/dev/null || bench_rc=$?
echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) CPUs; $(c++ --version | head -1)"
report_rc=0
python3 scripts/bench_report.py "$out" "$@" || report_rc=$?
exit $((bench_rc != 0 ? bench_rc : report_rc))
