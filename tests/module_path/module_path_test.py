#!/usr/bin/env python3
"""Module paths as UTF-8, for a folder named with é, 中 and 😀 and for a path longer than 260 units.

usage: module_path_test.py WINE_RUN BIN_DIR DRIVE_K_DIR

The probe and its library are copied onto drive K: (a folder of the build tree) and started by Wine
from the host. The probe prints the paths of both modules as hex UTF-8 bytes, which must equal the
UTF-8 encoding of the Windows paths exactly: whole (never cut at 260 or 512 units), the emoji as
one four-byte sequence.
"""
import os
import shutil
import subprocess
import sys

FOLDER = "\u00e9\u4e2d\U0001F600"


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def utf16_units(text):
    return len(text.encode("utf-16-le")) // 2


def check(wine_run, bin_dir, drive_k, parts):
    unix_folder = os.path.join(drive_k, *parts)
    windows_folder = "K:\\" + "\\".join(parts)
    os.makedirs(unix_folder)
    for name in ("module_path_probe.exe", "module_path_probe_library.dll"):
        shutil.copy(os.path.join(bin_dir, name), unix_folder)
    done = subprocess.run([wine_run, os.path.join(unix_folder, "module_path_probe.exe")], cwd=drive_k,
                          stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    out = done.stdout.decode("ascii", "replace")
    expect(done.returncode == 0, f"probe ended with {done.returncode}: {done.stderr[-2000:]!r}")
    lines = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
    for key, name in (("exe", "module_path_probe.exe"), ("dll", "module_path_probe_library.dll")):
        wanted = (windows_folder + "\\" + name).encode("utf-8")
        got = bytes.fromhex(lines.get(key, ""))
        expect(got == wanted, f"{key} path: {got!r} != {wanted!r}")
    return utf16_units(windows_folder + "\\module_path_probe_library.dll")


def main():
    wine_run, bin_dir, drive_k = sys.argv[1:4]
    top = f"module-path-{os.getpid()}"
    try:
        check(wine_run, bin_dir, drive_k, [top, "short", FOLDER])
        # Deep enough that a 260-unit buffer would cut inside the last folder's name, and longer
        # than the 512 units that a fixed buffer of that size could hold.
        deep = [top, "long", FOLDER] + [FOLDER + "-" + "d" * 90] * 5
        units = check(wine_run, bin_dir, drive_k, deep)
        expect(units > 512, f"the long path has only {units} units")
    finally:
        shutil.rmtree(os.path.join(drive_k, top), ignore_errors=True)
    print("module paths: ok")


if __name__ == "__main__":
    main()
