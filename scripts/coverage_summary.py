#!/usr/bin/python3
"""Prints line coverage per subsystem (core/<subsystem>/) from a gcovr JSON report.

usage: coverage_summary.py COVERAGE_JSON
"""
import collections
import json
import sys

GOAL = 90.0


def main():
    report = json.load(open(sys.argv[1]))
    per_subsystem = collections.defaultdict(lambda: [0, 0])
    uncovered = collections.defaultdict(int)
    for entry in report["files"]:
        parts = entry["file"].split("/")
        if len(parts) < 3 or parts[0] != "core":
            continue
        lines = [line for line in entry["lines"] if not line.get("gcovr/noncode")]
        covered = sum(1 for line in lines if line["count"] > 0)
        totals = per_subsystem[parts[1]]
        totals[0] += covered
        totals[1] += len(lines)
        uncovered[entry["file"]] += len(lines) - covered
    print(f"{'subsystem':<14}{'lines':>8}{'covered':>9}{'share':>9}")
    all_covered = all_lines = 0
    for name in sorted(per_subsystem):
        covered, lines = per_subsystem[name]
        all_covered += covered
        all_lines += lines
        print(f"{name:<14}{lines:>8}{covered:>9}{100.0 * covered / max(lines, 1):>8.1f}%")
    share = 100.0 * all_covered / max(all_lines, 1)
    print(f"{'all':<14}{all_lines:>8}{all_covered:>9}{share:>8.1f}%   goal {GOAL:.0f}%: "
          f"{'met' if share >= GOAL else 'not met'}")
    print("\nfiles with the most uncovered lines:")
    for file, count in sorted(uncovered.items(), key=lambda item: -item[1])[:10]:
        if count:
            print(f"  {count:>5}  {file}")


if __name__ == "__main__":
    main()
