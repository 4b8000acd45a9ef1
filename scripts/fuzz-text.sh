#!/usr/bin/env bash
# Fuzzes the text subsystem's readers for longer than the short run in the test command.
#
#   scripts/fuzz-text.sh [seconds] [extra libFuzzer options...]
#
# Builds the fuzz preset (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer), then
# runs the target for the given time (default 1800 s; add -jobs=2 -workers=2 to use two cores),
# keeping the corpus in build/fuzz/core/text/fuzz_corpus so each run continues where the last one
# stopped. Any crash, sanitizer report or broken contract stops the run and leaves the input as
# build/fuzz/crash-*; reproduce it with: build/fuzz/bin/quorvin_text_fuzz <that file>.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
seconds=${1:-1800}
shift || true
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
corpus=build/fuzz/core/text/fuzz_corpus
mkdir -p "$corpus"
cd build/fuzz
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  bin/quorvin_text_fuzz -max_total_time="$seconds" -print_final_stats=1 "$@" \
  "../../$corpus" "$root/core/text/fuzz_seeds"
