#!/usr/bin/env bash
# Builds the API reference of the core library's public headers with Doxygen into
# build/docs/html (open build/docs/html/index.html). Every public declaration must be documented:
# any warning fails the build and is listed.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
mkdir -p build/docs
rm -f build/docs/warnings.log
if doxygen docs/Doxyfile >/dev/null && [ ! -s build/docs/warnings.log ]; then
  echo "API reference: build/docs/html/index.html"
else
  cat build/docs/warnings.log
  exit 1
fi
