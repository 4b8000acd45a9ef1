#!/usr/bin/env bash
# Builds the native benchmarks, runs the ones the report names, and prints the benchmark report:
# per goal our figure, the comparator's figure from the same run, the ratio, the goal and whether
# it is met. Writes the table as JSON (build/benchmarks/report.json) and as a chart
# (docs/images/benchmark-report.png, shown in the README).
#
#   scripts/benchmark-report.sh [repetitions]     (default 3; medians are reported)
#
# Every goal is a ratio to a comparator measured in the same run, so the report holds on any
# machine; absolute figures vary with the processor. Run it on an otherwise idle machine.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
repetitions=${1:-3}
bash scripts/setup.sh
cmake --preset native >/dev/null
goals=scripts/benchmark_goals.json
programs=$(/usr/bin/python3 -c 'import json, sys; print(" ".join(sorted({g["program"] for g in json.load(open(sys.argv[1]))["rows"]})))' "$goals")
cmake --build --preset native --target $programs
out=build/benchmarks
rm -rf "$out" && mkdir -p "$out"
for program in $programs; do
  # Only the benchmarks the report names, each exactly.
  filter=$(/usr/bin/python3 - "$goals" "$program" <<'PY'
import json, re, sys
names = set()
for goal in json.load(open(sys.argv[1]))["rows"]:
    if goal["program"] == sys.argv[2]:
        theirs = goal["theirs"] if isinstance(goal["theirs"], list) else [goal["theirs"]]
        # NAME#comparator is a figure of benchmark NAME itself.
        names.update(name.split("#")[0] for name in [goal["ours"]] + theirs)
print("^(" + "|".join(re.escape(n) for n in sorted(names)) + ")$")
PY
)
  extra=$(/usr/bin/python3 -c 'import json, sys; print(" ".join(json.load(open(sys.argv[1])).get("programs", {}).get(sys.argv[2], [])))' "$goals" "$program")
  echo "=== $program"
  "build/native/bin/$program" --benchmark_filter="$filter" --benchmark_repetitions="$repetitions" \
    --benchmark_report_aggregates_only=true --benchmark_enable_random_interleaving=true \
    --benchmark_out="$out/$program.json" \
    --benchmark_out_format=json $extra >/dev/null
done
mkdir -p docs/images
/usr/bin/python3 scripts/benchmark_report.py "$goals" "$out" "$out/report.json" \
  docs/images/benchmark-report.png
