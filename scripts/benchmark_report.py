#!/usr/bin/python3
"""Turns Google Benchmark JSON results into the benchmark report: one row per goal with our figure,
the comparator's figure from the same run, their ratio and whether the goal is met.

usage: benchmark_report.py GOALS_JSON RESULTS_DIR OUT_JSON OUT_PNG

GOALS_JSON holds "rows": {"component", "measure", "program", "ours", "comparator", "theirs",
"goal"}, where "ours" and "theirs" are benchmark names in the program's results (the median of
the repetitions is used; "theirs" may list several, of which the fastest counts) and the ratio is
the comparator's time over ours: above 1 we are faster. A name "NAME#comparator" stands for the
comparator's time that benchmark NAME measured in turn with ours (its counter "comparator_s",
seconds per iteration), so that both figures of the row come from the same seconds. A row whose
"goal" is below 1 bounds how much slower we may be (0.5: at most twice the time); a row whose
"goal" is null is shown for scale and counts neither way. "programs" gives extra arguments per
program.

Beside each median the table shows its spread over the repetitions (standard deviation as a share
of the median), so that a reader can tell a noisy row from a real loss.
"""
import json
import math
import os
import sys


def load_results(directory):
    """{program: ({benchmark name: (median real time in ns, label, spread)}, context, ratio spreads)},
    where spread is the standard deviation over the repetitions divided by the median (None for a
    single run), and ratio spreads gives the same for the ratio of a benchmark that timed its
    comparator in turn (its counter "comparator_ratio"), by "NAME#comparator"."""
    results = {}
    for file in sorted(os.listdir(directory)):
        if not file.endswith(".json"):
            continue
        program = file[:-5]
        data = json.load(open(os.path.join(directory, file)))
        times, deviations, ratios, ratio_deviations = {}, {}, {}, {}
        for bench in data.get("benchmarks", []):
            name = bench.get("run_name", bench["name"])
            scale = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}[bench.get("time_unit", "ns")]
            aggregate = bench.get("aggregate_name") if bench.get("run_type") == "aggregate" else None
            if aggregate == "stddev":
                deviations[name] = bench["real_time"] * scale
                if "comparator_s" in bench:
                    deviations[name + "#comparator"] = bench["comparator_s"] * 1e9
                    ratio_deviations[name + "#comparator"] = bench.get("comparator_ratio", 0.0)
            elif aggregate in (None, "median"):
                times[name] = (bench["real_time"] * scale, bench.get("label", ""))
                if "comparator_s" in bench:
                    times[name + "#comparator"] = (bench["comparator_s"] * 1e9, bench.get("label", ""))
                    ratios[name + "#comparator"] = bench.get("comparator_ratio", 0.0)
        results[program] = ({name: (time, label, deviations[name] / time if name in deviations and time > 0 else None)
                             for name, (time, label) in times.items()}, data.get("context", {}),
                            {name: ratio_deviations[name] / ratio for name, ratio in ratios.items()
                             if name in ratio_deviations and ratio > 0})
    return results


def format_spread(spread):
    return f"±{100 * spread:.0f}%" if spread is not None else ""


def format_time(ns):
    for unit, size in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= size:
            return f"{ns / size:.3g} {unit}"
    return f"{ns:.3g} ns"


def main():
    goals_file, results_dir, out_json, out_png = sys.argv[1:5]
    goals = json.load(open(goals_file))["rows"]
    results = load_results(results_dir)
    rows = []
    for goal in goals:
        times, _, ratio_spreads = results.get(goal["program"], ({}, {}, {}))
        names = goal["theirs"] if isinstance(goal["theirs"], list) else [goal["theirs"]]
        candidates = [times[name] for name in names if name in times]
        ours, theirs = times.get(goal["ours"]), min(candidates, default=None)
        # Times taken in turn share their seconds: the ratio has a spread of its own, far below theirs.
        in_turn = [ratio_spreads[name] for name in names if name in ratio_spreads]
        row = dict(goal)
        scale_only = goal["goal"] is None
        if ours and theirs and ours[0] > 0:
            row.update(ours_ns=ours[0], theirs_ns=theirs[0], ratio=theirs[0] / ours[0],
                       ours_spread=ours[2], theirs_spread=theirs[2], label=ours[1] or theirs[1],
                       ratio_spread=in_turn[0] if in_turn else None)
            row["met"] = None if scale_only else row["ratio"] >= goal["goal"]
        else:
            row.update(ours_ns=None, theirs_ns=None, ratio=None, ours_spread=None, theirs_spread=None,
                       ratio_spread=None, met=None if scale_only else False, label="not measured")
        rows.append(row)

    header = (f"{'component':<10} {'measure':<44} {'ours':>10} {'':>5}  {'comparator':<28} {'theirs':>10} {'':>5} "
              f"{'ratio':>7} {'':>5} {'goal':>6}  met")
    print(header)
    print("-" * len(header))
    for row in rows:
        ours = format_time(row["ours_ns"]) if row["ours_ns"] else "-"
        theirs = format_time(row["theirs_ns"]) if row["theirs_ns"] else "-"
        ratio = f"{row['ratio']:.2f}x" if row["ratio"] else "-"
        goal = f"{row['goal']:>5}x" if row["goal"] is not None else f"{'-':>6}"
        met = "scale" if row["met"] is None else "yes" if row["met"] else "NO"
        print(f"{row['component']:<10} {row['measure'][:44]:<44} {ours:>10} {format_spread(row['ours_spread']):>5}  "
              f"{row['comparator'][:28]:<28} {theirs:>10} {format_spread(row['theirs_spread']):>5} "
              f"{ratio:>7} {format_spread(row['ratio_spread']):>5} {goal}  {met}"
              + (f"   [{row['label']}]" if row.get("label") else ""))
    goals = [row for row in rows if row["goal"] is not None]
    met = sum(bool(row["met"]) for row in goals)
    print(f"\n{met} of {len(goals)} goals met; rows marked ± show the spread over the repetitions (beside the "
          "ratio: of a ratio timed in turn)")

    context = {program: context for program, (_, context, _) in results.items()}
    json.dump({"rows": rows, "context": context}, open(out_json, "w"), indent=2)
    draw(rows, out_png)


def draw(rows, out_png):
    import matplotlib
    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    measured = [row for row in rows if row["ratio"]]
    height = 0.32 * len(measured) + 1.4
    fig, ax = plt.subplots(figsize=(10, height))
    labels = [f"{row['component']}: {row['measure']}" for row in measured]
    y = list(range(len(measured)))[::-1]
    colours = ["#9e9e9e" if row["met"] is None else "#2e7d32" if row["met"] else "#c62828" for row in measured]
    # The ratio's spread: its own when timed in turn, else the two medians' relative spreads added
    # up (to first order).
    spreads = [row["ratio"] * (row["ratio_spread"] if row["ratio_spread"] is not None else
                               (row["ours_spread"] or 0) + (row["theirs_spread"] or 0)) for row in measured]
    ax.barh(y, [row["ratio"] for row in measured], color=colours, height=0.6, left=0, xerr=spreads,
            error_kw={"elinewidth": 0.8, "capsize": 2})
    with_goal = [(row["goal"], position) for row, position in zip(measured, y) if row["goal"] is not None]
    ax.scatter([goal for goal, _ in with_goal], [position for _, position in with_goal], marker="|", s=300,
               color="black", zorder=3, label="goal")
    ax.set_xscale("log")
    ax.axvline(1.0, color="grey", linewidth=0.8, linestyle="--")
    ax.set_yticks(y)
    ax.set_yticklabels(labels, fontsize=8)
    lowest = min([row["ratio"] for row in measured] + [goal for goal, _ in with_goal] + [0.5])
    highest = max([row["ratio"] for row in measured] + [goal for goal, _ in with_goal] + [2.0])
    ax.set_xlim(lowest / 1.5, highest * 1.5)
    ax.set_xlabel("speed ratio to the comparator in the same run (log scale; right of 1 is faster)")
    ax.set_title("Benchmark report: ratio against goal (green met, red not met, grey for scale, | goal,\n"
                 "whiskers: spread over the repetitions)", fontsize=10)
    ax.legend(loc="lower right", fontsize=8)
    fig.tight_layout()
    fig.savefig(out_png, dpi=110)


if __name__ == "__main__":
    main()
