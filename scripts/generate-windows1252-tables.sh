#!/usr/bin/env bash
# Regenerates core/text/internal/Windows1252Tables.inc from the system's own conversions: builds
# scripts/generate-windows1252-tables.cpp with the mingw-w64 compiler and runs it under Wine in the
# windows preset's prefix (configured first if needed).
#
#   scripts/generate-windows1252-tables.sh
#
# The Windows tests compare the committed table with the system's conversions byte for byte, so a
# Wine whose conversions differ shows up there; run this to take its tables over.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
[ -x build/windows/wine-run.sh ] || cmake --preset windows >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
x86_64-w64-mingw32-g++-posix -std=c++20 -O1 -Wall -Wextra -static \
  -o "$work/generate-windows1252-tables.exe" scripts/generate-windows1252-tables.cpp
build/windows/wine-run.sh "$work/generate-windows1252-tables.exe" | tr -d '\r' >"$work/Windows1252Tables.inc"
mv "$work/Windows1252Tables.inc" core/text/internal/Windows1252Tables.inc
echo "wrote core/text/internal/Windows1252Tables.inc"
