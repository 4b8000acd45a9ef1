#!/usr/bin/env bash
# Checks that every C++ source in the repository follows .clang-format; lists the files that do not.
# To reformat: git ls-files '*.cpp' '*.h' | xargs clang-format -i
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
if git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>/tmp/kestrune-format.$$; then
  rm -f /tmp/kestrune-format.$$
  echo "formatting: all sources follow .clang-format"
else
  grep -o '^[^:]*\.\(cpp\|h\):' /tmp/kestrune-format.$$ | sort -u | sed 's/:$//; s/^/needs formatting: /'
  rm -f /tmp/kestrune-format.$$
  exit 1
fi
