#!/usr/bin/env bash
# Runs one libFuzzer target for longer than the short run in the test command.
#
#   scripts/fuzz.sh TARGET [seconds] [extra libFuzzer options...]
#   scripts/fuzz.sh quorvin_text_fuzz 1800 -jobs=2 -workers=2
#
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer), then
# runs TARGET for the given time (default 1800 s), keeping its corpus in the build tree
# (build/fuzz/<folder>/TARGET_corpus) so each run continues where the last one stopped; the
# committed seeds beside the target's source are read too. Any crash, sanitizer report or broken
# contract stops the run and leaves the input as build/fuzz/crash-*; reproduce it with
# build/fuzz/bin/TARGET <that file>. Inputs worth keeping go into the committed seed folder.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
target=${1:?usage: scripts/fuzz.sh TARGET [seconds] [libFuzzer options...]}
seconds=${2:-1800}
shift $(( $# >= 2 ? 2 : 1 ))
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz --target "$target"
# The short run's test command names the corpus and seed folders; reuse them.
folders=$(ctest --test-dir build/fuzz -R "^Fuzz\.$target\$" --show-only=json-v1 |
  python3 -c 'import json,sys; t=json.load(sys.stdin)["tests"][0]["command"]; print(" ".join(t[-2:]))')
cd build/fuzz
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  "bin/$target" -max_total_time="$seconds" -print_final_stats=1 "$@" $folders
