#!/usr/bin/env python3
"""Shows that the footprint check fails where it must: each case spoils the allowed
list or a copy of vorsil.exe in one way and expects the check to name exactly that
problem, on top of any the untouched program already has.

    self_test.py --allowed allowed-imports.txt path/to/vorsil.exe
"""
import argparse
import os
import struct
import sys

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_footprint as footprint  # noqa: E402


def replaced(data, old, new):
    assert len(old) == len(new), (old, new)
    assert old in data, f"{old!r} is not in the program"
    return data.replace(old, new, 1)


def with_u16(data, offset, value):
    return data[:offset] + struct.pack("<H", value) + data[offset + 2:]


def with_u32(data, offset, value):
    return data[:offset] + struct.pack("<I", value) + data[offset + 4:]


def renumbered(data, type_id, resource_id, new_id):
    """The resource renumbered in its directory entry."""
    at, _ = footprint.Image(data).resources()[(type_id, resource_id)]
    return with_u32(data, at, new_id)


def retyped(data, type_id, new_type):
    """Every resource of a type moved to another type in the root directory."""
    image = footprint.Image(data)
    rva, _ = image.directory(footprint.DIRECTORY_RESOURCE)
    base = image.offset(rva)
    named, numbered = struct.unpack_from("<HH", data, base + 12)
    for i in range(named + numbered):
        at = base + 16 + 8 * i
        if image.u32(at) == type_id:
            return with_u32(data, at, new_type)
    raise AssertionError(f"no resources of type {type_id}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--allowed", required=True)
    parser.add_argument("program")
    args = parser.parse_args()
    program = footprint.read_program(args.program)
    if program is None:
        return 1
    allowed = footprint.read_allowed(args.allowed)
    image = footprint.Image(program)
    imported = {dll.upper(): functions for dll, functions in image.imports()}
    a_function = sorted(imported["KERNEL32.DLL"])[0]

    def without(dll, function=None):
        spoiled = {name: set(functions) for name, functions in allowed.items()}
        if function is None:
            del spoiled[dll]
        else:
            spoiled[dll].discard(function)
        return spoiled

    def made_writable(section):
        index = next(i for i, found in enumerate(image.sections) if found[0] == section)
        at = image.optional + image.u16(image.pe + 20) + 40 * index + 36
        return with_u32(program, at, image.sections[index][5] | footprint.SCN_MEM_WRITE)

    def utf16(old, new):
        return replaced(program, old.encode("utf-16-le"), new.encode("utf-16-le"))

    an_icon = next(found for (t, _), (_, found) in image.resources().items() if t == footprint.RT_ICON)

    def import_renamed(old, new):
        # The name in the import table, after its two-byte hint.
        return replaced(program, old + b"\0", new + b"\0")

    cases = [
        ("a function missing from the allowed list", program, without("KERNEL32.DLL", a_function),
         f"KERNEL32.dll!{a_function} is not in the allowed list"),
        ("a DLL missing from the allowed list", program, without("SHELL32.DLL"),
         "imports from SHELL32.dll, which the allowed list does not name"),
        ("an import that Windows 95 lacks", import_renamed(b"MoveFileExA", b"CopyFileExA"), allowed,
         "KERNEL32.dll!CopyFileExA is not in the allowed list"),
        ("an import from another DLL", replaced(program, b"SHELL32.dll", b"SHLWAPI.dll"), allowed,
         "imports from SHLWAPI.dll, which is not one of"),
        ("over 24 KiB", program + b"\0" * (footprint.SIZE_LIMIT + 1 - len(program)), allowed,
         "is over the limit of 24576"),
        ("the x86 program taken for x64", program, allowed, "is not x64 PE32+", {"platform": "x64"}),
        ("common controls for another processor", replaced(program, b'processorArchitecture="x86"',
                                                           b'processorArchitecture="arm"'), allowed,
         "dependency is for processor arm, not x86"),
        ("subsystem version 5.0", with_u16(program, image.subsystem_version_offset, 5), allowed,
         "subsystem version 5.0, not 4.0"),
        ("no DYNAMIC_BASE", with_u16(program, image.dll_characteristics_offset,
                                     image.dll_characteristics & ~footprint.DYNAMIC_BASE), allowed,
         "DYNAMIC_BASE is not set"),
        ("no NX_COMPAT", with_u16(program, image.dll_characteristics_offset,
                                  image.dll_characteristics & ~footprint.NX_COMPAT), allowed,
         "NX_COMPAT is not set"),
        ("relocations stripped", with_u16(program, image.characteristics_offset,
                                          image.characteristics | footprint.IMAGE_FILE_RELOCS_STRIPPED), allowed,
         "the relocations are stripped"),
        ("no manifest 1", renumbered(program, footprint.RT_MANIFEST, 1, 2), allowed, "no manifest resource 1"),
        ("execution level highestAv", replaced(program, b'"asInvoker"', b'"highestAv"'), allowed,
         "requestedExecutionLevel is ['highestAv"),
        ("no supportedOS", program.replace(b"<supportedOS ", b"<supportedXX "), allowed,
         "the manifest names no supportedOS"),
        ("no Windows 10/11 among the supportedOS", replaced(program, b"8e0f7a12-bfb3", b"8e0f7a12-bfb4"), allowed,
         "lack Windows 10/11"),
        ("no common controls 6", replaced(program, b'version="6.0.0.0"', b'version="5.8.0.0"'), allowed,
         "Common-Controls dependency is version 5.8.0.0"),
        ("no dialog 100", renumbered(program, footprint.RT_DIALOG, 100, 101), allowed, "no dialog resource 100"),
        ("no icon 300", renumbered(program, footprint.RT_GROUP_ICON, 300, 301), allowed, "no icon resource 300"),
        ("no version resource", retyped(program, footprint.RT_VERSION, 0x7FFF), allowed, "no version resource"),
        ("DPI unaware", replaced(program, b">true/pm<", b">false  <"), allowed, "the manifest's dpiAware is false in"),
        ("DPI awareness per system", replaced(program, b">PerMonitorV2, PerMonitor<", b">System                  <"),
         allowed, "the manifest's dpiAwareness is System in"),
        ("DPI awareness in the wrong namespace", replaced(program, b"SMI/2016/", b"SMI/2005/"), allowed,
         "the manifest's dpiAwareness is PerMonitorV2, PerMonitor in http://schemas.microsoft.com/SMI/2005/"),
        ("no LegalCopyright", utf16("LegalCopyright", "LegalCopyrighX"), allowed, "the version resource lacks LegalCopyright"),
        ("another OriginalFilename", utf16("vorsil.exe", "vorsil.exf"), allowed,
         "OriginalFilename is 'vorsil.exf', not 'vorsil.exe'"),
        ("writable resources", made_writable(".rsrc"), allowed, "section .rsrc is writable and holds"),
        ("writable code", made_writable(".text"), allowed, "section .text is writable and holds"),
        ("a file pefile warns about", made_writable(".text"), allowed, "pefile: Suspicious flags set for section 0"),
        ("not the author's product name", program, allowed, "ProductName is 'vorsil', not 'Sample App'",
         {"expected": [("ProductName", "Sample App")]}),
        ("not the author's icon", program, allowed, "the icon is not the given .ico file's 32 x 32 image",
         {"icon": an_icon[:-1] + bytes([an_icon[-1] ^ 1])}),
        ("a second build unlike the first", program, allowed, "a second build differs",
         {"same_as": program[:-1] + bytes([program[-1] ^ 1])}),
    ]

    _, untouched = footprint.check(program, allowed)
    failures = 0
    for name, data, allowed_list, expected, *options in cases:
        _, problems = footprint.check(data, allowed_list, **(options[0] if options else {}))
        new = [p for p in problems if p not in untouched]
        if any(expected in p for p in new):
            print(f"ok:   {name}: {next(p for p in new if expected in p)}")
        else:
            failures += 1
            print(f"FAIL: {name}: the check did not report \"{expected}\" (it reported {new or 'nothing new'})")
    print(f"checker self-test: {len(cases) - failures} of {len(cases)} spoiled cases caught")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
