#!/usr/bin/env python3
"""Checks the order in which Kestrune.exe constructs its process-wide start-up state.

usage: startup_order_test.py WINE_RUN NM WITNESS_EXE KESTRUNE_EXE

The start-up state (the name registry's table, the timer constants, the line-breaking sets and the
style table) has no visible effect when it is constructed, so the order is read from the
executable's constructor table, which the mingw run time walks from its last entry to its first.
That reading is first checked under Wine against a witness program whose constructors print
their names: the order predicted from its table must be the order it prints.
"""
import re
import subprocess
import sys

import pefile

def constructor_run_order(nm, exe):
    """The static-initialisation functions of `exe` in the order the run time calls them, as
    (priority or None, the mangled name of the first object they construct)."""
    symbols = {}
    ctor_list = None
    for line in subprocess.run([nm, exe], check=True, capture_output=True, text=True).stdout.splitlines():
        parts = line.split()
        if len(parts) != 3:
            continue
        address, _, name = int(parts[0], 16), parts[1], parts[2]
        if name == "__CTOR_LIST__":
            ctor_list = address
        # Section symbols (".text.startup._GLOBAL__sub_I_...") name initialisers too; a real
        # symbol at the same address wins.
        name = name.removeprefix(".text.startup.")
        if name.startswith("_GLOBAL__sub_I") or not name.startswith(".") and address not in symbols:
            symbols[address] = name
    if ctor_list is None:
        raise AssertionError(f"{exe}: no __CTOR_LIST__")
    pe = pefile.PE(exe, fast_load=True)
    rva = ctor_list - pe.OPTIONAL_HEADER.ImageBase
    if pe.get_qword_at_rva(rva) != 0xFFFFFFFFFFFFFFFF:
        raise AssertionError("the constructor table does not start with its -1 marker")
    entries = []
    rva += 8
    while (address := pe.get_qword_at_rva(rva)) != 0:
        entries.append(address)
        rva += 8
    order = []
    for address in reversed(entries):  # __do_global_ctors calls the last entry first
        name = symbols.get(address, f"<{address:#x}>")
        m = re.match(r"^_GLOBAL__sub_I\.(\d+)_(\w+)$", name) or re.match(r"^_GLOBAL__sub_I_()(\w+)$", name)
        order.append((int(m.group(1)) if m and m.group(1) else None, m.group(2) if m else name))
    return order


def witness_names(order):
    names = []
    for _, mangled in order:
        m = re.search(r"(Witness\w+?)E?$", mangled)
        if m:
            names.append(m.group(1))
    return names


def run_witness(wine_run, witness, attempts=3):
    """The lines the witness prints under Wine. A run that prints nothing at all never reached the
    witness's first constructor: Wine, rarely, fails to start a program (once in a whole CI run
    here, not once in 1,500 starts in a row). Such a run says nothing about the order, so it is
    reported and started again; any output, however wrong, is returned as it is."""
    for attempt in range(1, attempts + 1):
        run = subprocess.run([wine_run, witness], capture_output=True, text=True, timeout=60,
                             stdin=subprocess.DEVNULL)
        printed = [line.strip() for line in run.stdout.splitlines() if line.strip()]
        if printed:
            return printed
        print(f"start {attempt} of the witness printed nothing: exit code {run.returncode}, "
              f"stderr {run.stderr[-2000:]!r}")
    raise AssertionError(f"the witness printed nothing in {attempts} starts")


def main():
    wine_run, nm, witness, kestrune = sys.argv[1:5]

    predicted = witness_names(constructor_run_order(nm, witness))
    printed = run_witness(wine_run, witness)
    if printed[-1:] != ["main"] or printed[:-1] != predicted:
        raise AssertionError(f"the witness printed {printed}, its constructor table predicts {predicted}")
    if predicted.index("WitnessEarly") > predicted.index("WitnessLate"):
        raise AssertionError("a lower start-up priority did not run first")

    order = constructor_run_order(nm, kestrune)
    wanted = ["NameRegistry", "PerformanceFrequency", "NoLineStartSet", "NoLineEndSet", "StyleTable"]
    ours = [(priority, mangled) for priority, mangled in order if priority is not None and "Quorvin" in mangled]
    positions = [priority for priority, _ in ours]
    if len(ours) != len(wanted) or positions != sorted(positions):
        raise AssertionError(f"prioritised start-up initialisers, in run order: {ours}")
    # Each initialiser is named after the first thing its translation unit defines (the registry's
    # unit starts with its table's code); the two sets share one unit, so the second set's
    # initialiser carries the first set's name.
    units = [mangled for _, mangled in ours]
    expected_units = ["Name(Registry|Table)", "PerformanceFrequency", "NoLineStartSet", "NoLineStartSet",
                      "StyleTable"]
    for unit, expected in zip(units, expected_units):
        if not re.search(expected, unit):
            raise AssertionError(f"start-up order {units}, expected the objects {wanted} in this order")
    first_ours = order.index(ours[0])
    print("run order:", [f"{priority}:{mangled}" for priority, mangled in order])
    print("the start-up state is constructed in the order", wanted, "from position", first_ours)


if __name__ == "__main__":
    main()
