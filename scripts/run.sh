#!/usr/bin/env bash
# Sets up, builds the Windows programs and runs the launcher hosting the sample game module under
# Wine; prints the launcher's exit code.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh
cmake --preset windows >/dev/null
cmake --build --preset windows
cd build/windows/bin
set +e
../wine-run.sh Kestrune.exe
code=$?
set -e
echo "Kestrune.exe exit code: $code"
exit "$code"
