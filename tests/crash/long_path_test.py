#!/usr/bin/env python3
"""Crash reporting at an install path longer than 260 UTF-16 units.

usage: long_path_test.py WINE_RUN BIN_DIR DRIVE_K_DIR

The probe is laid out on drive K: (a folder of the build tree) so deep that its path, cut at 260
units, would end inside its own folder's name: the cut path's directory is the parent folder,
which holds a decoy "dump.config" and "bugreport.exe". Wine starts the probe from the host (its
CreateProcessW refuses such paths). The probe must see its whole directory, read its own
configuration and never touch the decoy; its crash callback asks for its own "bugreport.exe"
(seen in Wine's relay trace of CreateProcessW, which then fails under Wine for the same reason).
"""
import os
import shutil
import subprocess
import sys
import time

CRASH_EXIT = 0xC0000005 & 0xFF


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def run(wine_run, program, argument, cwd, relay=False):
    env = dict(os.environ, SKARNET_STANDIN_TRANSID="crash-9")
    if relay:
        env["WINEDEBUG"] = "-all,+relay"
    done = subprocess.run([wine_run, program, argument], cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                          capture_output=True, timeout=120)
    return done.returncode, done.stdout.decode("utf-8", "replace"), done.stderr.decode("utf-8", "replace")


def main():
    wine_run, bin_dir, drive_k = sys.argv[1:4]
    os.makedirs(drive_k, exist_ok=True)
    top = f"long-{os.getpid()}"
    name = "x" * (265 - len(f"K:\\{top}\\parent\\"))
    parent = os.path.join(drive_k, top, "parent")
    deep = os.path.join(parent, name)
    windows_deep = f"K:\\{top}\\parent\\{name}"
    expect(len(windows_deep) > 260, "the cut must fall inside the last folder's name")
    os.makedirs(deep)
    try:
        for folder in (parent, deep):
            shutil.copy(os.path.join(bin_dir, "bugreport.exe"), folder)
        for file in ("crash_probe.exe", "Skarnet_PC3.dll"):
            shutil.copy(os.path.join(bin_dir, file), deep)
        write(os.path.join(parent, "dump.config"), b"decoy\ndecoy key\n9.9.9\n")
        write(os.path.join(deep, "dump.config"), b"own\nkey\n1.0\n")
        probe = os.path.join(deep, "crash_probe.exe")

        code, out, err = run(wine_run, probe, "directory", parent)
        expect(code == 0 and f"directory={windows_deep}\n" in out, f"module directory: {out!r} {err[-2000:]}")

        code, out, err = run(wine_run, probe, "config", parent)
        expect(code == 0, f"config run ended with {code}: {err[-2000:]}")
        expect("enabled=1" in out and "setParam(project,own)" in out, f"the probe's own configuration: {out!r}")
        expect("decoy" not in out, f"the decoy configuration was read: {out!r}")

        code, out, trace = run(wine_run, probe, "crash", parent, relay=True)
        expect(code == CRASH_EXIT, f"crash run ended with {code}: {out!r} {trace[-2000:]}")
        wanted = (windows_deep + "\\bugreport.exe").replace("\\", "\\\\")
        starts = [line for line in trace.splitlines() if "CreateProcessW" in line]
        expect(any(wanted in line for line in starts),
               f"the crash callback did not ask for the program beside the executable: {starts[-4:]}")
        time.sleep(1)
        expect(not os.path.exists(os.path.join(parent, "bugreport-commandline.txt")), "the decoy program ran")
    finally:
        shutil.rmtree(os.path.join(drive_k, top), ignore_errors=True)
    print("long install path: ok")


if __name__ == "__main__":
    main()
