#!/usr/bin/env bash
# Installs, idempotently, what the build and the tests need on a Debian 12 machine (run as root),
# and unpacks mimalloc's Debian source package into third_party/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(cmake ninja-build g++ clang libclang-rt-14-dev googletest libbenchmark-dev libicu-dev
          g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

# mimalloc's sources come from Debian's source package, so apt needs deb-src entries. They are
# derived from the machine's own Debian entries rather than written down here.
src_list=/etc/apt/sources.list.d/kestrune-deb-src.sources
need_update=0
if [ ! -f "$src_list" ]; then
  python3 - "$src_list" <<'PY'
import glob, sys, re
out = []
for path in glob.glob('/etc/apt/sources.list.d/*.sources'):
    for stanza in re.split(r'\n\s*\n', open(path).read()):
        fields = {}
        for line in stanza.splitlines():
            if ':' in line and not line.startswith((' ', '#')):
                k, v = line.split(':', 1); fields[k.strip()] = v.strip()
        if 'deb' in fields.get('Types', '').split() and 'debian-archive-keyring' in fields.get('Signed-By', ''):
            fields['Types'] = 'deb-src'
            out.append('\n'.join(f'{k}: {v}' for k, v in fields.items()))
for path in ['/etc/apt/sources.list'] + glob.glob('/etc/apt/sources.list.d/*.list'):
    try:
        for line in open(path):
            parts = line.split()
            if parts[:1] == ['deb'] and '/debian' in line:
                out.append('Types: deb-src\nURIs: %s\nSuites: %s\nComponents: %s' % (
                    [p for p in parts[1:] if not p.startswith('[')][0],
                    [p for p in parts[1:] if not p.startswith('[')][1],
                    ' '.join([p for p in parts[1:] if not p.startswith('[')][2:])))
    except OSError:
        pass
open(sys.argv[1], 'w').write('\n\n'.join(out) + '\n')
PY
  need_update=1
fi

if [ ${#missing[@]} -gt 0 ] || [ $need_update = 1 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
fi
if [ ${#missing[@]} -gt 0 ]; then
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mimalloc_dir="$root/third_party/mimalloc"
if [ ! -f "$mimalloc_dir/CMakeLists.txt" ]; then
  work=$(mktemp -d)
  (cd "$work" && apt-get source -qq mimalloc >/dev/null 2>&1 || { apt-get update -qq && apt-get source -qq mimalloc; })
  src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'mimalloc-*' | head -n 1)
  rm -rf "$mimalloc_dir"
  mkdir -p "$root/third_party"
  mv "$src" "$mimalloc_dir"
  rm -rf "$work"
fi
