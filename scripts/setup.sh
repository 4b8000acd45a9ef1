#!/usr/bin/env bash
# Installs, idempotently, what the build and the tests need on a Debian 12 machine (run as root),
# and unpacks mimalloc's Debian source package into third_party/mimalloc.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export DEBIAN_FRONTEND=noninteractive

# Build and test tools, then the comparators the native benchmarks call (never read).
packages=(python3 cmake ninja-build g++ clang clang-format libclang-rt-14-dev googletest libbenchmark-dev
          g++-mingw-w64-x86-64-posix wine wine64 dpkg-dev gcovr doxygen python3-matplotlib python3-pefile
          libicu-dev libssl-dev libmurmurhash-dev libxxhash-dev libcmph-dev libnoise-dev libpng-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

mimalloc_dir="$root/third_party/mimalloc"
[ -f "$mimalloc_dir/CMakeLists.txt" ] && exit 0

# mimalloc's sources come from Debian's source package, so apt needs deb-src entries. They are
# derived from the machine's own Debian entries rather than written down here.
src_list=/etc/apt/sources.list.d/kestrune-deb-src.sources
if [ ! -s "$src_list" ]; then
  python3 - "$src_list" <<'PY'
import glob, re, sys
out = []
for path in glob.glob('/etc/apt/sources.list.d/*.sources'):
    if path == sys.argv[1]:
        continue
    for stanza in re.split(r'\n\s*\n', open(path).read()):
        fields = {}
        for line in stanza.splitlines():
            if ':' in line and not line.startswith((' ', '#')):
                key, value = line.split(':', 1)
                fields[key.strip()] = value.strip()
        if 'deb' in fields.get('Types', '').split() and 'debian-archive-keyring' in fields.get('Signed-By', ''):
            fields['Types'] = 'deb-src'
            out.append('\n'.join(f'{k}: {v}' for k, v in fields.items()))
for path in ['/etc/apt/sources.list'] + glob.glob('/etc/apt/sources.list.d/*.list'):
    try:
        lines = open(path).read().splitlines()
    except OSError:
        continue
    for line in lines:
        words = line.split()
        if words[:1] != ['deb'] or '/debian' not in line:
            continue
        words = [w for w in words[1:] if not w.startswith('[')]
        out.append(f'Types: deb-src\nURIs: {words[0]}\nSuites: {words[1]}\nComponents: {" ".join(words[2:])}')
if not out:
    sys.exit('no Debian package source found to derive a deb-src entry from')
open(sys.argv[1], 'w').write('\n\n'.join(out) + '\n')
PY
  apt-get update -qq
fi

work=$(mktemp -d)
chmod 755 "$work"  # apt downloads as its own user
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get source -qq mimalloc >/dev/null)
src=$(find "$work" -maxdepth 1 -mindepth 1 -type d -name 'mimalloc-*' | head -n 1)
mkdir -p "$root/third_party"
rm -rf "$mimalloc_dir"
mv "$src" "$mimalloc_dir"
