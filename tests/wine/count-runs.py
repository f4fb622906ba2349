#!/usr/bin/env python3
"""Counts the Wine tests that ran in CTest's JUnit files and names the skipped
ones with the reason they gave. Fails when none ran at all, unless
VORSIL_SKIP_WINE=1 asks for that: a green run must include the real program.

    count-runs.py RESULTS.xml...
"""
import os
import sys
import xml.etree.ElementTree as ElementTree


def main(paths):
    ran, skipped = {}, {}
    for path in paths:
        for case in ElementTree.parse(path).getroot().iter("testcase"):
            name = case.get("name", "")
            if not name.startswith("wine32.") and not name.startswith("wine64."):
                continue
            if case.get("status") in ("run", "fail"):
                ran[name] = case.get("status") == "run"
            else:
                output = case.findtext("system-out") or ""
                why = [line for line in output.splitlines() if "skipped:" in line]
                skipped[name] = why[-1].split("skipped:", 1)[1].strip() if why else case.get("status")
    # A test skipped here may have run elsewhere (the 32-bit suite in an emulated machine).
    skipped = {name: why for name, why in skipped.items() if name not in ran}
    for suite in ("wine32", "wine64"):
        names = [name for name in skipped if name.startswith(suite + ".")]
        if names:
            reasons = sorted(set(skipped[name] for name in names))
            print(f"{suite}: {len(names)} skipped ({'; '.join(reasons)}): {', '.join(sorted(names))}")
        count = sum(1 for name in ran if name.startswith(suite + "."))
        passed = sum(1 for name, ok in ran.items() if ok and name.startswith(suite + "."))
        print(f"{suite}: {count} ran, {passed} passed")
    if ran:
        return 0
    if os.environ.get("VORSIL_SKIP_WINE") == "1":
        print("no Wine test ran; VORSIL_SKIP_WINE=1 allows that")
        return 0
    print("FAIL: no Wine test ran: this run has not tested the real program "
          "(set VORSIL_SKIP_WINE=1 to allow that)")
    return 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
