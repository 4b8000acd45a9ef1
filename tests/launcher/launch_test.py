#!/usr/bin/env python3
"""End-to-end tests of Kestrune.exe under Wine, observed through Wine's relay trace.

usage: launch_test.py WINE_RUN BIN_DIR CASE

Each case lays out a fresh directory with the launcher, the stand-in crash-report library and a
game module, runs the launcher with WINEDEBUG=+relay (the prefix's relay include list names the
launcher's platform calls), and checks the exit code and the exact sequence of platform calls the
launcher's thread made after it asked for the game module.
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

CALL = re.compile(r'^([0-9a-f]+):(Call|Ret)\s+(?:KERNEL32|kernel32|user32|USER32)\.(\w+)\((.*?)\)(?: retval=([0-9a-f]+))?')
STRING_ARG = re.compile(r'[0-9a-f]+ "((?:[^"\\]|\\.)*)"')

NOT_LOADED = "Could not load  Kestrune_x64r.dll!"
NO_ENTRY = "Could not find 'KestruneMain' entry point!"
FAILED = "Init KestruneMain Failed!"


def run(wine_run, directory, args=(), start_minimised=False):
    env = dict(os.environ, WINEDEBUG="-all,+relay,err+module")
    command = [wine_run]
    if start_minimised:  # a different show-window mode, through the shell's start command
        command += ["start", "/wait", "/min"]
    command += ["Kestrune.exe", *args]
    done = subprocess.run(command, cwd=directory, env=env, stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
    return done.returncode, done.stderr.decode("utf-8", "replace"), done.stdout.decode("utf-8", "replace")


def launcher_calls(trace):
    """The launcher thread's calls from its LoadLibraryExA of the game module on, as tuples."""
    lines = trace.splitlines()
    thread = None
    for line in lines:
        m = CALL.match(line)
        if m and m.group(2) == "Call" and m.group(3) == "LoadLibraryExA" and '"Kestrune_x64r.dll"' in m.group(4):
            thread = m.group(1)
            break
    if thread is None:
        return None
    events = []
    started = False
    open_calls = []  # calls made while another traced call runs are that call's own business
    for line in lines:
        m = CALL.match(line)
        if not m or m.group(1) != thread:
            continue
        kind, name, args, retval = m.group(2), m.group(3), m.group(4), m.group(5)
        if kind == "Call" and name == "LoadLibraryExA" and '"Kestrune_x64r.dll"' in args:
            started = True
        if not started:
            continue
        if kind == "Call":
            if not open_calls:
                strings = STRING_ARG.findall(args)
                plain = [a for a in args.split(",") if '"' not in a]
                events.append([name, args, strings, plain, None])
                open_calls.append(events[-1])
            else:
                open_calls.append(None)
        elif open_calls:
            event = open_calls.pop()
            if event is not None:
                event[4] = int(retval, 16) if retval else None
    return events


def expect(condition, message):
    if not condition:
        raise AssertionError(message)


def check_run(wine_run, directory, module_result, box_text, *, args=(), start_minimised=False):
    code, trace, output = run(wine_run, directory, args, start_minimised)
    events = launcher_calls(trace)
    expect(events is not None, "the launcher never asked for Kestrune_x64r.dll:\n" + trace[-3000:])
    names = [e[0] for e in events]
    load = events[0]
    expect(load[1].endswith('"Kestrune_x64r.dll",00000000,00000000'), f"LoadLibraryExA arguments: {load[1]}")
    module = load[4]
    frees = [e for e in events if e[0] == "FreeLibrary"]
    boxes = [e for e in events if e[0] == "MessageBoxA"]
    terminate = [e for e in events if e[0] == "TerminateProcess"]

    expected_exit = 0 if box_text is None else 2
    expect(code == expected_exit, f"exit code {code}, expected {expected_exit}")
    expect(len(terminate) == 1 and terminate[0][3] == ["ffffffffffffffff", f"{expected_exit:08x}"],
           f"TerminateProcess calls: {[t[1] for t in terminate]}")

    if box_text is None:
        expect(module != 0, "the module did not load")
        expect(boxes == [], f"unexpected box: {boxes}")
        expect(all(f[3] != [f"{module:x}"] for f in frees), "the module was freed after success")
        expect(names == ["LoadLibraryExA", "GetProcAddress", "TerminateProcess"], f"calls: {names}")
        if module_result == "prints instance" and not start_minimised:  # "start" gives it a console of its own
            m = re.search(r"hosted by instance (\w+) \(executable module (\w+)\)", output)
            expect(m is not None, f"the sample module printed {output!r}")
            expect(int(m.group(1), 16) == int(m.group(2), 16) != 0,
                   f"KestruneMain received {m.group(1)}, the executable's instance is {m.group(2)}")
        return events

    expect(len(boxes) == 1, f"boxes: {boxes}")
    box = boxes[0]
    expect(box[2] == [box_text, "Error"], f"box texts {box[2]}, expected {[box_text, 'Error']}")
    expect(box[3] == ["00000000", "00000010"], f"box owner and style: {box[3]}")
    if module_result == "not loaded":
        expect(module == 0, "the module loaded")
        expect(names == ["LoadLibraryExA", "MessageBoxA", "TerminateProcess"], f"calls: {names}")
    else:
        getproc = events[1]
        expect(getproc[0] == "GetProcAddress" and getproc[2] == ["KestruneMain"], f"second call: {getproc[1]}")
        expect(getproc[3][0] == f"{module:x}", "GetProcAddress on another module")
        expect((getproc[4] == 0) == (module_result == "no entry"), f"KestruneMain address {getproc[4]}")
        expect(names == ["LoadLibraryExA", "GetProcAddress", "FreeLibrary", "MessageBoxA", "TerminateProcess"],
               f"calls: {names}")
        expect(frees[0][3] == [f"{module:x}"], f"FreeLibrary of {frees[0][1]}, module {module:x}")
    return events


def layout(bin_dir, module, with_crash_library=True):
    directory = tempfile.mkdtemp(prefix="kestrune-launch-")
    shutil.copy(os.path.join(bin_dir, "Kestrune.exe"), directory)
    if with_crash_library:
        shutil.copy(os.path.join(bin_dir, "Skarnet_PC3.dll"), directory)
    if module:
        shutil.copy(module, os.path.join(directory, "Kestrune_x64r.dll"))
    return directory


def main():
    wine_run, bin_dir, case = sys.argv[1:4]
    modules = os.path.join(bin_dir, "test_modules")
    sample = os.path.join(bin_dir, "Kestrune_x64r.dll")
    cases = {
        "success": (sample, "prints instance", None),
        "returns_one": (os.path.join(modules, "returns_one.dll"), "loaded", FAILED),
        "returns_minus_one": (os.path.join(modules, "returns_minus_one.dll"), "loaded", FAILED),
        "no_entry_point": (os.path.join(modules, "no_entry_point.dll"), "no entry", NO_ENTRY),
        "no_module": (None, "not loaded", NOT_LOADED),
        "missing_dependency": (os.path.join(modules, "needs_absent_dependency.dll"), "not loaded", NOT_LOADED),
        "not_a_dll": (os.path.join(modules, "not_a_dll.dll"), "not loaded", NOT_LOADED),
    }
    if case in cases:
        module, result, box = cases[case]
        directory = layout(bin_dir, module)
        try:
            check_run(wine_run, directory, result, box)
        finally:
            shutil.rmtree(directory)
    elif case == "command_line_and_show_mode":
        # Arguments and the show-window mode change nothing: same calls, same exit code.
        for module, result, box in (cases["success"], cases["returns_one"], cases["no_module"]):
            directory = layout(bin_dir, module)
            try:
                plain = check_run(wine_run, directory, result, box)
                other = check_run(wine_run, directory, result, box,
                                  args=["--windowed", "-x", "\"quoted arg\"", "ünïcode"], start_minimised=True)
                expect([e[0] for e in plain] == [e[0] for e in other], "call sequences differ")
            finally:
                shutil.rmtree(directory)
    elif case == "no_crash_library":
        directory = layout(bin_dir, sample, with_crash_library=False)
        try:
            code, trace, _ = run(wine_run, directory)
            expect(code == 0xC0000135 & 0xFF, f"exit code {code}, expected 53 (missing DLL)")
            expect("Skarnet_PC3.dll" in trace and "not found" in trace, "no loader report of the missing library")
            expect(launcher_calls(trace) is None, "launcher code ran although an import was missing")
            expect("MessageBoxA" not in trace.split("RelayInclude", 1)[1].split("\n", 1)[1], "a box was shown")
        finally:
            shutil.rmtree(directory)
    else:
        raise SystemExit(f"unknown case {case}")
    print(f"{case}: ok")


if __name__ == "__main__":
    main()
