#!/usr/bin/env python3
"""Prints the core benchmarks as a table of figures, baselines and ratios.

Reads the JSON that vandrel-bench-core writes with --benchmark_out. Every
figure is divided by a baseline measured in the same run (the work that
cannot be avoided), so the ratios hold on a busy machine where the times do
not. It also gives the share of one core that ticks without a unit cost
at the timer's rate. Exits 1 when a budget is missed or a benchmark
failed, 2 when the JSON lacks a figure or baseline.

Usage: bench_report.py RESULTS.json [--markdown]
"""

import collections
import json
import statistics
import sys

CAL = "BM_BaselineCalibrationTexts"
AMP = "BM_BaselineAmplitudeTexts"
SEND = "BM_BaselineSendReport"
READ = "BM_BaselineRead"

# Baselines, in the order the table lists them, with what each measures.
BASELINES = [
    (CAL, "format the 1701 calibration texts"),
    (AMP, "format the 511 amplitude texts"),
    ("BM_BaselineEncodeReport", "encode one report"),
    (SEND, "encode one report and send it to the simulated unit"),
    (READ, "one input-report read on the simulated platform"),
    ("BM_BaselineWalk/0", "walk 0 interfaces"),
    *((f"BM_BaselineWalk/{n}", f"enumerate, open, examine, close {n} interfaces") for n in (16, 64)),
    *((f"BM_BaselineHidrawList/{n}", f"list class/hidraw with {n} nodes") for n in (16, 64)),
    *((f"BM_BaselineHidrawListLinks/{n}", f"list class/hidraw with {n} nodes and read each link") for n in (16, 64)),
]


def hidraw_ticks(case, name, weights, budget):
    """The figures of a tick over hidraw with 16 and 64 other nodes; the
    baselines in weights are named without their node count."""
    return [(f"Tick over hidraw, no unit, {n} other nodes, {case}", f"{name}/{n}",
             {f"{b}/{n}": w for b, w in weights.items()}, budget) for n in (16, 64)]


# A node set that changed costs at most three listings and one readlink per
# node (the listing with links counts one listing and the readlinks).
RELISTING = {"BM_BaselineHidrawList": 2, "BM_BaselineHidrawListLinks": 1}

# (label, benchmark, {baseline: weight}, budget or None). A figure's
# baseline is the weighted sum of bare costs its work cannot avoid.
FIGURES = [
    ("Full refresh of a connected unit", "BM_RefreshDeviceState", {CAL: 1, AMP: 1}, 3.0),
    ("Rebuild of the amplitude list", "BM_RebuildAmplitudeList", {AMP: 1, SEND: 1}, None),
    ("Calibration pick (rebuild, two writes)", "BM_CalibrationPick", {AMP: 1, SEND: 2}, None),
    ("Default restore (rebuild, four writes)", "BM_DefaultRestore", {AMP: 1, SEND: 4}, None),
    ("Poll tick, unit connected", "BM_PollTickConnected", {READ: 1}, 2.0),
    ("Poll tick, no unit, 0 other interfaces", "BM_PollTickNotConnected/0", {"BM_BaselineWalk/0": 1}, None),
    ("Poll tick, no unit, 16 other interfaces", "BM_PollTickNotConnected/16", {"BM_BaselineWalk/16": 1}, None),
    ("Poll tick, no unit, 64 other interfaces", "BM_PollTickNotConnected/64", {"BM_BaselineWalk/64": 1}, 2.0),
    ("Start-up (Form_Load) with one unit", "BM_FormLoad", {CAL: 1, AMP: 1}, None),
    # Through the Linux backend over a fake sysfs tree, the change
    # notification a stand-in. Nothing changed: at most a bare listing.
    *hidraw_ticks("nothing changed", "BM_HidrawTickUnchanged", {"BM_BaselineHidrawList": 1}, 1.0),
    *hidraw_ticks("node set changed", "BM_HidrawTickChanged", RELISTING, 1.0),
    # Without a notification the class directory is listed on every tick.
    *hidraw_ticks("no notification", "BM_HidrawTickListing", RELISTING, None),
]

# Until a unit first answers, the window's timer keeps its start-up period
# of 50 ms, so a tick without a unit runs 20 times a second.
TICKS_PER_SECOND_WITHOUT_UNIT = 20
# (label, benchmark): ticks whose share of one core the report gives.
CORE_SHARES = [
    ("hidraw, 16 other nodes, nothing changed", "BM_HidrawTickUnchanged/16"),
    ("hidraw, 64 other nodes, nothing changed", "BM_HidrawTickUnchanged/64"),
    ("hidraw, 64 other nodes, node set changed", "BM_HidrawTickChanged/64"),
    ("hidraw, 64 other nodes, no notification", "BM_HidrawTickListing/64"),
]
# Shares of one core, in percent, that such ticks may cost.
SHARE_BUDGETS = {"hidraw, 64 other nodes, nothing changed": 0.1}

# Heap allocations per iteration that a figure may make.
ALLOCATION_BUDGETS = {"BM_PollTickConnected": 0.0, "BM_HidrawTickUnchanged/16": 0.0,
                      "BM_HidrawTickUnchanged/64": 0.0}

NS_PER_UNIT = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}
# The per-iteration counters the benchmarks report, in the table's order.
COUNTERS = ("allocs", "reports", "walks")


Result = collections.namedtuple("Result", "cpu_ns counters error", defaults=[None])


def load(document):
    """Maps each benchmark name to its Result: the median CPU time of its
    repetitions, or the median aggregate when only aggregates were kept."""
    runs = {}
    medians = {}
    errors = {}
    for b in document.get("benchmarks", []):
        name = b.get("run_name", b["name"])
        if b.get("error_occurred"):
            errors[name] = b.get("error_message", "failed")
            continue
        cpu_ns = b["cpu_time"] * NS_PER_UNIT[b.get("time_unit", "ns")]
        counters = {k: b[k] for k in COUNTERS if k in b}
        if b.get("run_type", "iteration") == "iteration":
            runs.setdefault(name, []).append((cpu_ns, counters))
        elif b.get("aggregate_name") == "median":
            medians[name] = Result(cpu_ns, counters)
    results = dict(medians)
    for name, samples in runs.items():
        cpu = statistics.median(s[0] for s in samples)
        # Counters are worst case: one allocating repetition is enough.
        counters = {}
        for _, c in samples:
            for k, v in c.items():
                counters[k] = max(counters.get(k, v), v)
        results[name] = Result(cpu, counters)
    for name, message in errors.items():
        results[name] = Result(None, {}, message)
    return results


def evaluate(results):
    """Returns (rows, problems, missing): one row per figure with its
    baseline, ratio and verdict; the budgets missed; names not found."""
    rows, problems, missing = [], [], []
    for label, name, weights, budget in FIGURES:
        figure = results.get(name)
        parts = [results.get(b) for b in weights]
        if figure is None or any(p is None for p in parts):
            missing.extend(n for n in [name, *weights] if n not in results)
            continue
        broken = [n for n in [name, *weights] if results[n].error]
        if broken:
            problems.append(f"{label}: {', '.join(broken)} failed ({results[broken[0]].error})")
            rows.append((label, None, None, None, budget, "error", figure.counters))
            continue
        baseline = sum(w * results[b].cpu_ns for b, w in weights.items())
        ratio = figure.cpu_ns / baseline if baseline > 0 else float("inf")
        verdict = "-"
        if budget is not None:
            verdict = "met" if ratio <= budget else "MISSED"
            if ratio > budget:
                problems.append(f"{label}: {ratio:.2f} times its baseline, budget {budget:g}")
        allowed = ALLOCATION_BUDGETS.get(name)
        if allowed is not None:
            allocs = figure.counters.get("allocs")
            if allocs is None or allocs > allowed:
                verdict = "MISSED"
                problems.append(f"{label}: {allocs} heap allocations per iteration, budget {allowed:g}")
        rows.append((label, figure.cpu_ns, baseline, ratio, budget, verdict, figure.counters))
    return rows, problems, sorted(set(missing))


def core_shares(results):
    """Returns (label, percent) for each tick in CORE_SHARES that ran: the
    share of one core that TICKS_PER_SECOND_WITHOUT_UNIT such ticks cost."""
    shares = []
    for label, name in CORE_SHARES:
        result = results.get(name)
        if result is None or result.error:
            continue
        shares.append((label, result.cpu_ns * TICKS_PER_SECOND_WITHOUT_UNIT / 1e9 * 100.0))
    return shares


def fmt_time(ns):
    if ns is None:
        return "-"
    if ns >= 1e6:
        return f"{ns / 1e6:.2f} ms"
    if ns >= 1e3:
        return f"{ns / 1e3:.2f} us"
    return f"{ns:.1f} ns"


def fmt_counter(counters, key):
    v = counters.get(key)
    if v is None:
        return "-"
    return f"{v:.0f}" if abs(v - round(v)) < 0.005 else f"{v:.2f}"


def render(results, rows, markdown):
    head = ["Figure", "CPU time", "Baseline", "Ratio", "Budget", "Verdict", "Allocs", "Reports", "Walks"]
    body = [[label, fmt_time(cpu), fmt_time(base), "-" if ratio is None else f"{ratio:.2f}",
             "-" if budget is None else f"{budget:g}x", verdict, *(fmt_counter(counters, k) for k in COUNTERS)]
            for label, cpu, base, ratio, budget, verdict, counters in rows]
    base_head = ["Baseline", "CPU time"]
    base_body = [[f"{what} ({name})", fmt_time(results[name].cpu_ns if name in results else None)]
                 for name, what in BASELINES]
    return table(base_head, base_body, markdown) + "\n" + table(head, body, markdown)


def table(head, body, markdown):
    widths = [max(len(str(r[i])) for r in [head, *body]) for i in range(len(head))]
    def line(cells):
        padded = [str(c).ljust(w) if i == 0 else str(c).rjust(w) for i, (c, w) in enumerate(zip(cells, widths))]
        return ("| " + " | ".join(padded) + " |") if markdown else "  ".join(padded)
    out = [line(head)]
    if markdown:
        out.append("|" + "|".join("-" * (w + 2) for w in widths) + "|")
    else:
        out.append("  ".join("-" * w for w in widths))
    out.extend(line(r) for r in body)
    return "\n".join(out) + "\n"


def main(argv):
    args = [a for a in argv[1:] if not a.startswith("--")]
    if len(args) != 1:
        print(__doc__.strip().splitlines()[-1], file=sys.stderr)
        return 2
    with open(args[0], encoding="utf-8") as f:
        results = load(json.load(f))
    rows, problems, missing = evaluate(results)
    print(render(results, rows, "--markdown" in argv))
    print("Allocs, Reports, Walks: heap allocations, reports sent and interface walks per iteration.")
    shares = core_shares(results)
    if shares:
        print(f"{TICKS_PER_SECOND_WITHOUT_UNIT} ticks a second without a unit cost, of one core: "
              + "; ".join(f"{label} {percent:.2f}%" for label, percent in shares) + ".")
    for label, percent in shares:
        allowed = SHARE_BUDGETS.get(label)
        if allowed is not None and percent > allowed:
            problems.append(f"{label}: {percent:.3f}% of one core, budget {allowed:g}%")
    if missing:
        print("Missing from the results: " + ", ".join(missing), file=sys.stderr)
        return 2
    if problems:
        for p in problems:
            print("Budget missed: " + p, file=sys.stderr)
        return 1
    print("Every budget is met.")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
