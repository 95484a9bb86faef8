#!/usr/bin/env python3
"""Checks the benchmark report's arithmetic and verdicts on made-up results."""

import contextlib
import io
import json
import os
import sys
import tempfile
import unittest

sys.dont_write_bytecode = True  # no cache files in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import bench_report  # noqa: E402


def entry(name, cpu, unit="ns", **extra):
    e = {"name": name, "run_name": name, "run_type": "iteration", "cpu_time": cpu, "real_time": cpu,
         "time_unit": unit}
    e.update(extra)
    return e


def document(overrides=None, drop=()):
    """Every benchmark the report needs, each figure at 1.5 times its
    baseline, or at its budget when that is lower, and with no allocation,
    then the overrides."""
    times = {name: 100.0 for name, _ in bench_report.BASELINES}
    entries = {name: entry(name, t) for name, t in times.items()}
    for _, name, weights, budget in bench_report.FIGURES:
        base = sum(w * times[b] for b, w in weights.items())
        factor = 1.5 if budget is None else min(1.5, budget)
        entries[name] = entry(name, factor * base, allocs=0.0, reports=0.0, walks=1.0)
    for name, e in (overrides or {}).items():
        entries[name] = e
    return {"benchmarks": [e for n, e in entries.items() if n not in drop]}


def run(doc):
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as f:
        json.dump(doc, f)
    try:
        out, err = io.StringIO(), io.StringIO()
        with contextlib.redirect_stdout(out), contextlib.redirect_stderr(err):
            rc = bench_report.main(["bench_report.py", f.name])
        return rc, out.getvalue(), err.getvalue()
    finally:
        os.unlink(f.name)


def row(rows, name):
    label = next(label for label, n, _, _ in bench_report.FIGURES if n == name)
    return next(r for r in rows if r[0] == label)


class Ratios(unittest.TestCase):
    def test_baseline_is_the_weighted_sum_of_bare_costs(self):
        doc = document({
            bench_report.AMP: entry(bench_report.AMP, 6.0, unit="us"),
            bench_report.SEND: entry(bench_report.SEND, 500.0),
            "BM_CalibrationPick": entry("BM_CalibrationPick", 14.0, unit="us", allocs=12.0),
        })
        rows, problems, missing = bench_report.evaluate(bench_report.load(doc))
        _, cpu, base, ratio, _, _, _ = row(rows, "BM_CalibrationPick")
        self.assertEqual((cpu, base), (14000.0, 7000.0))  # 6 us + 2 x 500 ns
        self.assertAlmostEqual(ratio, 2.0)
        self.assertEqual((problems, missing), ([], []))

    def test_repetitions_take_the_median_time_and_the_worst_counter(self):
        name = "BM_PollTickConnected"
        doc = document()
        doc["benchmarks"] = [e for e in doc["benchmarks"] if e["name"] != name] + [
            entry(name, 10.0, allocs=0.0), entry(name, 500.0, allocs=0.0), entry(name, 30.0, allocs=0.25)]
        result = bench_report.load(doc)[name]
        self.assertEqual(result.cpu_ns, 30.0)
        self.assertEqual(result.counters["allocs"], 0.25)

    def test_median_aggregate_is_used_when_only_aggregates_were_kept(self):
        name = bench_report.READ
        doc = document(drop=(name,))
        doc["benchmarks"] += [
            dict(entry(name, 40.0), name=name + "_mean", run_type="aggregate", aggregate_name="mean"),
            dict(entry(name, 35.0), name=name + "_median", run_type="aggregate", aggregate_name="median"),
        ]
        self.assertEqual(bench_report.load(doc)[name].cpu_ns, 35.0)

    def test_core_share_is_a_second_of_ticks_without_a_unit(self):
        name = "BM_HidrawTickListing/64"
        doc = document({name: entry(name, 250.0, unit="us")})
        shares = dict(bench_report.core_shares(bench_report.load(doc)))
        self.assertAlmostEqual(shares["hidraw, 64 other nodes, no notification"], 0.5)  # 20 x 250 us in one second


class Verdicts(unittest.TestCase):
    def refresh_at(self, factor):
        base = 200.0  # calibration texts + amplitude texts
        return document({"BM_RefreshDeviceState": entry("BM_RefreshDeviceState", factor * base, allocs=40.0)})

    def test_budget_holds_at_its_limit_and_fails_past_it(self):
        rc, out, _ = run(self.refresh_at(3.0))
        self.assertEqual(rc, 0)
        self.assertIn("Every budget is met.", out)
        rc, out, err = run(self.refresh_at(3.05))
        self.assertEqual(rc, 1)
        self.assertIn("MISSED", out)
        self.assertIn("Full refresh of a connected unit: 3.05 times its baseline", err)

    def test_a_connected_tick_that_allocates_or_has_no_count_misses_its_budget(self):
        for counters in ({"allocs": 1e-6}, {}):
            with self.subTest(counters=counters):
                rc, _, err = run(document({"BM_PollTickConnected": entry("BM_PollTickConnected", 110.0, **counters)}))
                self.assertEqual(rc, 1)
                self.assertIn("heap allocations per iteration", err)

    def test_a_failed_benchmark_fails_the_report(self):
        doc = document({"BM_BaselineWalk/64": dict(entry("BM_BaselineWalk/64", 0.0), error_occurred=True,
                                                    error_message="boom")})
        rc, _, err = run(doc)
        self.assertEqual(rc, 1)
        self.assertIn("boom", err)

    def test_a_missing_baseline_is_reported_not_guessed(self):
        rc, _, err = run(document(drop=(bench_report.READ,)))
        self.assertEqual(rc, 2)
        self.assertIn(bench_report.READ, err)


if __name__ == "__main__":
    unittest.main()
