#!/usr/bin/env python3
"""Checks the footprint of the built vorsil.exe by reading its PE file:

- at most 24 KiB (--size-limit);
- imports only from KERNEL32, USER32, ADVAPI32 and SHELL32, and only the functions
  of allowed-imports.txt (present on both Windows 95 and Windows NT 4.0);
- a 32-bit GUI image (PE32, i386) with subsystem version 4.0, so that those systems load it; or with
  --x64 a PE32+ image for x64 with version 5.2 (XP x64 and Server 2003, the first x64 Windows);
- DYNAMIC_BASE and NX_COMPAT set, relocations kept;
- resources: manifest 1 (asInvoker, supported systems, common controls 6),
  dialog 100, icon 300, a version resource with the eight usual strings (OriginalFilename vorsil.exe,
  others as --expect NAME=VALUE says); read-only resources, pefile without warnings;
- optionally, the icon image of a .ico file (--icon) and another build's bytes (--same-as);
- the manifest declares per-monitor DPI awareness (dpiAware true/pm, dpiAwareness
  PerMonitorV2 then PerMonitor), so Windows does not stretch a blurred bitmap of it.

Prints the figures; exits with 1 and names each problem when one is found.

    check_footprint.py --allowed allowed-imports.txt path/to/vorsil.exe
"""
import argparse
import hashlib
import struct
import sys
import xml.etree.ElementTree as ElementTree

import pefile  # Debian: python3-pefile

SIZE_LIMIT = 24 * 1024
ALLOWED_DLLS = ("KERNEL32.DLL", "USER32.DLL", "ADVAPI32.DLL", "SHELL32.DLL")

IMAGE_FILE_MACHINE_I386 = 0x014C
IMAGE_FILE_MACHINE_AMD64 = 0x8664
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
PE32_MAGIC = 0x010B
PE32_PLUS_MAGIC = 0x020B
# What each platform's program must be: machine, optional header, lowest system version.
PLATFORMS = {"x86": (IMAGE_FILE_MACHINE_I386, PE32_MAGIC, (4, 0), "i386 PE32", "x86"),
             "x64": (IMAGE_FILE_MACHINE_AMD64, PE32_PLUS_MAGIC, (5, 2), "x64 PE32+", "amd64")}
IMAGE_SUBSYSTEM_WINDOWS_GUI = 2
DYNAMIC_BASE = 0x0040
NX_COMPAT = 0x0100
DIRECTORY_IMPORT, DIRECTORY_RESOURCE, DIRECTORY_BASERELOC = 1, 2, 5

RT_ICON, RT_DIALOG, RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 3, 5, 14, 16, 24
RESOURCE_TYPE_NAMES = {1: "RT_CURSOR", 2: "RT_BITMAP", 3: "RT_ICON", 4: "RT_MENU", 5: "RT_DIALOG",
                       6: "RT_STRING", 10: "RT_RCDATA", 11: "RT_MESSAGETABLE", 12: "RT_GROUP_CURSOR",
                       14: "RT_GROUP_ICON", 16: "RT_VERSION", 24: "RT_MANIFEST"}
DIALOG_ID, ICON_ID, MANIFEST_ID = 100, 300, 1
VERSION_STRINGS = ("CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                   "OriginalFilename", "ProductName", "ProductVersion")
SCN_MEM_EXECUTE, SCN_MEM_WRITE = 0x20000000, 0x80000000

COMMON_CONTROLS = "Microsoft.Windows.Common-Controls"
COMMON_CONTROLS_TOKEN = "6595b64144ccf1df"
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10/11",
}
TODAYS_WINDOWS = "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"
# Each setting with the namespace Windows reads it in, and its values in order.
DPI_SETTINGS = (
    ("dpiAware", "http://schemas.microsoft.com/SMI/2005/WindowsSettings", ["true/pm"]),
    ("dpiAwareness", "http://schemas.microsoft.com/SMI/2016/WindowsSettings", ["PerMonitorV2", "PerMonitor"]),
)


class BadImage(Exception):
    pass


class Image:
    """The parts of a PE32 or PE32+ file the check looks at."""

    def __init__(self, data):
        self.data = data
        if len(data) < 0x40 or data[:2] != b"MZ":
            raise BadImage("not an MZ executable")
        self.pe = self.u32(0x3C)
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise BadImage("no PE signature")
        coff = self.pe + 4
        (self.machine, section_count, _, _, _, optional_size,
         self.characteristics) = struct.unpack_from("<HHIIIHH", data, coff)
        self.characteristics_offset = coff + 18
        self.optional = coff + 20
        self.magic = self.u16(self.optional)
        if self.magic not in (PE32_MAGIC, PE32_PLUS_MAGIC):
            raise BadImage(f"optional header magic {self.magic:#x}, not PE32 or PE32+")
        # PE32+ has 8-byte image base and stack sizes: the directories start 16 bytes later.
        self.wide = self.magic == PE32_PLUS_MAGIC
        o = self.optional
        self.os_version = (self.u16(o + 40), self.u16(o + 42))
        self.subsystem_version_offset = o + 48
        self.subsystem_version = (self.u16(o + 48), self.u16(o + 50))
        self.subsystem = self.u16(o + 68)
        self.dll_characteristics_offset = o + 70
        self.dll_characteristics = self.u16(o + 70)
        directories = o + (112 if self.wide else 96)
        directory_count = self.u32(directories - 4)
        self.directories = [struct.unpack_from("<II", data, directories + 8 * i) for i in range(min(directory_count, 16))]
        self.sections = []
        table = o + optional_size
        for i in range(section_count):
            name, vsize, rva, raw_size, raw_offset = struct.unpack_from("<8sIIII", data, table + 40 * i)
            flags = self.u32(table + 40 * i + 36)
            self.sections.append((name.rstrip(b"\0").decode("ascii", "replace"), vsize, rva, raw_size, raw_offset, flags))

    def u16(self, offset):
        return struct.unpack_from("<H", self.data, offset)[0]

    def u32(self, offset):
        return struct.unpack_from("<I", self.data, offset)[0]

    def offset(self, rva):
        for _, vsize, start, raw_size, raw_offset, _ in self.sections:
            if start <= rva < start + max(vsize, raw_size):
                if rva - start >= raw_size:
                    raise BadImage(f"RVA {rva:#x} lies in no file data")
                return raw_offset + rva - start
        raise BadImage(f"RVA {rva:#x} lies in no section")

    def text(self, rva):
        start = self.offset(rva)
        end = self.data.index(b"\0", start)
        return self.data[start:end].decode("ascii", "replace")

    def directory(self, index):
        return self.directories[index] if index < len(self.directories) else (0, 0)

    def imports(self):
        """[(dll name, [function name or "#ordinal"])] in the order of the import table."""
        rva, size = self.directory(DIRECTORY_IMPORT)
        result = []
        if rva == 0 or size == 0:
            return result
        descriptor = self.offset(rva)
        while True:
            lookup, _, _, name_rva, address = struct.unpack_from("<IIIII", self.data, descriptor)
            if name_rva == 0:
                break
            functions = []
            thunk = self.offset(lookup or address)
            thunk_size, ordinal_flag = (8, 1 << 63) if self.wide else (4, 1 << 31)
            while True:
                entry = int.from_bytes(self.data[thunk:thunk + thunk_size], "little")
                if entry == 0:
                    break
                if entry & ordinal_flag:
                    functions.append(f"#{entry & 0xFFFF}")
                else:
                    functions.append(self.text(entry + 2))
                thunk += thunk_size
            result.append((self.text(name_rva), functions))
            descriptor += 20
        return result

    def resources(self):
        """{(type, id): (file offset of the id's directory entry, data bytes)} for
        resources named by numbers; the first language of each."""
        rva, size = self.directory(DIRECTORY_RESOURCE)
        found = {}
        if rva == 0 or size == 0:
            return found
        base = self.offset(rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<HH", self.data, base + directory + 12)
            for i in range(named + numbered):
                at = base + directory + 16 + 8 * i
                name, target = struct.unpack_from("<II", self.data, at)
                yield at, name, target

        for _, type_name, type_target in entries(0):
            if type_name & 0x80000000 or not type_target & 0x80000000:
                continue
            for id_at, id_name, id_target in entries(type_target & 0x7FFFFFFF):
                if id_name & 0x80000000 or not id_target & 0x80000000:
                    continue
                for _, _, language_target in entries(id_target & 0x7FFFFFFF):
                    if language_target & 0x80000000:
                        continue
                    data_rva, data_size = struct.unpack_from("<II", self.data, base + language_target)
                    start = self.offset(data_rva)
                    found[(type_name, id_name)] = (id_at, self.data[start:start + data_size])
                    break
        return found


def read_allowed(path):
    """{DLL name in capitals: {function names}} from the list's [DLL] sections."""
    allowed = {}
    current = None
    with open(path, encoding="utf-8") as listing:
        for number, line in enumerate(listing, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("[") and line.endswith("]"):
                current = allowed.setdefault(line[1:-1].strip().upper(), set())
            elif current is None:
                raise ValueError(f"{path}:{number}: a function before the first [DLL] line")
            else:
                current.add(line.split()[0])
    return allowed


def local_name(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(text, problems, report, architecture):
    try:
        root = ElementTree.fromstring(text)
    except ElementTree.ParseError as error:
        problems.append(f"the manifest is not well-formed XML: {error}")
        return
    elements = list(root.iter())
    levels = [e.get("level") for e in elements if local_name(e.tag) == "requestedExecutionLevel"]
    # The program asks for an administrator's rights itself, where the log calls for them.
    if levels != ["asInvoker"]:
        problems.append(f"the manifest's requestedExecutionLevel is {levels or 'missing'}, not asInvoker")
    systems = [e.get("Id", "").lower() for e in elements if local_name(e.tag) == "supportedOS"]
    unknown = [s for s in systems if s not in SUPPORTED_OS]
    if not systems:
        problems.append("the manifest names no supportedOS")
    if unknown:
        problems.append(f"the manifest names unknown supportedOS ids {unknown}")
    if systems and TODAYS_WINDOWS not in systems:
        problems.append("the manifest's supportedOS entries lack Windows 10/11")
    controls = [e for e in elements if local_name(e.tag) == "assemblyIdentity" and e.get("name") == COMMON_CONTROLS]
    if not controls:
        problems.append(f"the manifest has no dependency on {COMMON_CONTROLS}")
    for identity in controls:
        if identity.get("version") != "6.0.0.0" or (identity.get("publicKeyToken") or "").lower() != COMMON_CONTROLS_TOKEN:
            problems.append(f"the manifest's {COMMON_CONTROLS} dependency is version {identity.get('version')}, "
                            f"token {identity.get('publicKeyToken')}, not 6.0.0.0 / {COMMON_CONTROLS_TOKEN}")
        # Windows looks the library up for the named processor: another one's is not found, and the program does not start.
        if identity.get("processorArchitecture") != architecture:
            problems.append(f"the manifest's {COMMON_CONTROLS} dependency is for processor "
                            f"{identity.get('processorArchitecture')}, not {architecture}")
    report.append(f"manifest: requestedExecutionLevel {', '.join(str(l) for l in levels) or 'none'}; "
                  f"supportedOS {', '.join(SUPPORTED_OS.get(s, s) for s in systems) or 'none'}; "
                  f"{COMMON_CONTROLS} {', '.join(str(c.get('version')) for c in controls) or 'none'}")
    check_dpi_awareness(elements, problems, report)


def check_dpi_awareness(elements, problems, report):
    seen = []
    for name, namespace, wanted in DPI_SETTINGS:
        found = [(e.tag.rsplit("}", 1)[0].lstrip("{"), [v.strip() for v in (e.text or "").split(",")])
                 for e in elements if local_name(e.tag) == name]
        shown = "; ".join(f"{', '.join(values)} in {space}" for space, values in found) or "missing"
        if found != [(namespace, wanted)]:
            problems.append(f"the manifest's {name} is {shown}, not {', '.join(wanted)} in {namespace}")
        seen.append(f"{name} {'; '.join(', '.join(values) for _, values in found) or 'none'}")
    report.append(f"manifest: {'; '.join(seen)}")


def check(data, allowed, name="vorsil.exe", expected=(), icon=None, same_as=None, limit=SIZE_LIMIT, platform="x86"):
    """Returns (report lines, problems) for the image bytes against the allowed imports."""
    report, problems = [], []
    size = len(data)
    report.append(f"{name}: {size} bytes = {size / 1024:.2f} KiB (limit {limit} bytes = {limit / 1024:g} KiB, "
                  f"{limit - size} bytes to spare)")
    if size > limit:
        problems.append(f"size {size} bytes is over the limit of {limit}")
    try:
        image = Image(data)
    except (BadImage, struct.error) as error:
        problems.append(f"not a readable PE image: {error}")
        return report, problems

    machine, magic, lowest, kind, architecture = PLATFORMS[platform]
    if image.machine != machine or image.magic != magic:
        problems.append(f"machine {image.machine:#x} with optional header {image.magic:#x} is not {kind}")
    if image.subsystem != IMAGE_SUBSYSTEM_WINDOWS_GUI:
        problems.append(f"subsystem {image.subsystem} is not the Windows GUI")
    major, minor = image.subsystem_version
    report.append(f"header: {kind}, subsystem {image.subsystem} (Windows GUI) version {major}.{minor}, "
                  f"OS version {image.os_version[0]}.{image.os_version[1]}")
    if (major, minor) != lowest:
        problems.append(f"subsystem version {major}.{minor}, not {lowest[0]}.{lowest[1]}: the oldest Windows "
                        f"for {platform} refuse newer ones, and nothing older runs it")

    relocation_rva, relocation_size = image.directory(DIRECTORY_BASERELOC)
    stripped = bool(image.characteristics & IMAGE_FILE_RELOCS_STRIPPED)
    dynamic_base = bool(image.dll_characteristics & DYNAMIC_BASE)
    nx_compat = bool(image.dll_characteristics & NX_COMPAT)
    report.append(f"flags: DllCharacteristics {image.dll_characteristics:#06x} (DYNAMIC_BASE {'yes' if dynamic_base else 'no'}, "
                  f"NX_COMPAT {'yes' if nx_compat else 'no'}); relocations {relocation_size} bytes, "
                  f"RELOCS_STRIPPED {'set' if stripped else 'clear'}")
    if not dynamic_base:
        problems.append("DYNAMIC_BASE is not set")
    if not nx_compat:
        problems.append("NX_COMPAT is not set")
    # x64 code addresses its data relative to the instruction pointer: a program
    # without absolute addresses has no fixups, and the linker writes no table.
    if stripped or (platform == "x86" and (relocation_rva == 0 or relocation_size == 0)):
        problems.append("the relocations are stripped: the image cannot be moved for address-space randomisation")

    report.append("sections:")
    for section_name, vsize, rva, raw_size, _, flags in image.sections:
        report.append(f"  {section_name:<8} rva {rva:#07x}  memory {vsize:>6}  file {raw_size:>6}  flags {flags:#010x}")
        if flags & SCN_MEM_WRITE and (flags & SCN_MEM_EXECUTE or rva <= image.directory(DIRECTORY_RESOURCE)[0] < rva + vsize):
            problems.append(f"section {section_name} is writable and holds code or the resources")

    try:
        imports = image.imports()
    except (BadImage, struct.error, ValueError) as error:
        problems.append(f"the import table cannot be read: {error}")
        imports = []
    report.append(f"imports: {sum(len(f) for _, f in imports)} functions from {len(imports)} DLLs")
    for dll, functions in imports:
        report.append(f"  {dll} ({len(functions)}): {', '.join(functions)}")
        key = dll.upper()
        if key not in ALLOWED_DLLS:
            problems.append(f"imports from {dll}, which is not one of {', '.join(ALLOWED_DLLS)}")
            continue
        if key not in allowed:
            problems.append(f"imports from {dll}, which the allowed list does not name")
            continue
        for function in functions:
            if function not in allowed[key]:
                problems.append(f"{dll}!{function} is not in the allowed list (present on Windows 95 and NT 4.0)")

    try:
        resources = image.resources()
    except (BadImage, struct.error, ValueError) as error:
        problems.append(f"the resources cannot be read: {error}")
        resources = {}
    listed = {}
    for type_id, resource_id in sorted(resources):
        listed.setdefault(type_id, []).append(f"{resource_id} ({len(resources[(type_id, resource_id)][1])} bytes)")
    report.append("resources: " + "; ".join(f"{RESOURCE_TYPE_NAMES.get(t, t)} {', '.join(ids)}" for t, ids in listed.items()))
    for type_id, resource_id, what in ((RT_DIALOG, DIALOG_ID, "dialog"), (RT_GROUP_ICON, ICON_ID, "icon"),
                                       (RT_MANIFEST, MANIFEST_ID, "manifest")):
        if (type_id, resource_id) not in resources:
            problems.append(f"no {what} resource {resource_id}")
    if not any(t == RT_ICON for t, _ in resources):
        problems.append("no icon image (RT_ICON) for the icon group")
    if not any(t == RT_VERSION for t, _ in resources):
        problems.append("no version resource")
    if (RT_MANIFEST, MANIFEST_ID) in resources:
        check_manifest(resources[(RT_MANIFEST, MANIFEST_ID)][1], problems, report, architecture)

    pe = pefile.PE(data=bytes(data))
    problems.extend(f"pefile: {warning}" for warning in pe.get_warnings())
    strings = {key.decode(): value.decode() for infos in getattr(pe, "FileInfo", []) for info in infos
               for table in getattr(info, "StringTable", []) for key, value in table.entries.items()}
    report.append("version: " + "; ".join(f"{key} {value}" for key, value in strings.items()))
    problems.extend(f"the version resource lacks {key}" for key in VERSION_STRINGS if not strings.get(key))
    for key, value in [("OriginalFilename", "vorsil.exe"), *expected]:
        if strings.get(key, value) != value:
            problems.append(f"{key} is {strings[key]!r}, not {value!r}")
    images = [found for (kind, _), (_, found) in resources.items() if kind == RT_ICON]
    if icon is not None and not (len(images) == 1 and images[0][4:12] == struct.pack("<ii", 32, 64) and images[0] in icon):
        problems.append("the icon is not the given .ico file's 32 x 32 image")
    if same_as is not None and data != same_as:
        problems.append(f"a second build differs: SHA-256 {hashlib.sha256(data).hexdigest()} "
                        f"and {hashlib.sha256(same_as).hexdigest()}")
    return report, problems


def read_program(path):
    """The built program's bytes, or None after saying why it cannot be read."""
    try:
        with open(path, "rb") as image:
            return image.read()
    except OSError as error:
        print(f"FAIL: cannot read {path} ({error.strerror}); build the program first (scripts/build)")
        return None


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--allowed", required=True, help="the list of allowed imports")
    parser.add_argument("--size-limit", type=int, default=SIZE_LIMIT)
    parser.add_argument("--expect", action="append", default=[], metavar="NAME=VALUE")
    parser.add_argument("--icon", type=argparse.FileType("rb"))
    parser.add_argument("--same-as", type=argparse.FileType("rb"))
    parser.add_argument("--x64", dest="platform", action="store_const", const="x64", default="x86",
                        help="the program built for x64")
    parser.add_argument("program", help="the built vorsil.exe")
    args = parser.parse_args()
    data = read_program(args.program)
    if data is None:
        return 1
    report, problems = check(data, read_allowed(args.allowed), args.program, [e.split("=", 1) for e in args.expect],
                             args.icon and args.icon.read(), args.same_as and args.same_as.read(), args.size_limit,
                             args.platform)
    print("\n".join(report))
    for problem in problems:
        print(f"FAIL: {problem}")
    print("footprint: " + ("OK" if not problems else f"{len(problems)} problem(s)"))
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
