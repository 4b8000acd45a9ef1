#!/usr/bin/env bash
# Sets up, checks the formatting and the API reference, builds every preset and runs every test: the
# portable code natively (and the installed package), everything under Wine with gcc and again
# with clang, the portable tests under AddressSanitizer and UndefinedBehaviorSanitizer, the lock,
# registry and reader-loop tests under ThreadSanitizer, and a short run of every fuzz target.
# Fails when any check fails.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
status=0
echo "=== formatting"
bash scripts/check-format.sh || status=1
echo "=== API reference (every public declaration documented)"
bash scripts/docs.sh || status=1
for preset in native windows windows-clang sanitize tsan fuzz; do
  echo "=== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "=== $preset: test"
  ctest --preset "$preset" || status=1
done
exit $status
