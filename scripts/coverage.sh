#!/usr/bin/env bash
# Measures the line coverage of the portable code by the native tests and prints it per subsystem.
#
#   scripts/coverage.sh           build the coverage preset, run its tests, print the summary
#
# The summary counts the product sources under core/ that the host builds (tests, fuzz targets,
# benchmarks and Windows-only sources excluded); the goal is 90 % of their lines. The per-file
# detail is written to build/coverage/coverage.json, an HTML report to build/coverage/html/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset coverage >/dev/null
cmake --build --preset coverage
find build/coverage -name '*.gcda' -delete
ctest --preset coverage || echo "(some tests failed; the coverage below still counts what ran)"
mkdir -p build/coverage/html
exclude=(--exclude '.*_test\.cpp$' --exclude '.*_fuzz\.cpp$' --exclude '.*_benchmark\.cpp$'
         --exclude '.*/windows/.*')
gcovr --root . --object-directory build/coverage --exclude-directories 'build/coverage/CMakeFiles' \
      --filter 'core/' "${exclude[@]}" \
      --json build/coverage/coverage.json --html-details build/coverage/html/index.html >/dev/null
/usr/bin/python3 scripts/coverage_summary.py build/coverage/coverage.json
