#!/usr/bin/env python3
"""Builds sample installations in the benchmark's Wine prefix, uninstalls each with
vorsil.exe as a user would and with the baseline program, and reports the costs.

Started by bench/run, which prepares the prefix, the X server and the programs.
"""
import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

FINISHED = "Uninstall is finished."
# The samples live on drive D:, a folder on a RAM file system unless --disk is
# given, so that stalls of a disk shared with other work don't swamp the
# per-item costs of either program.
TOOLS = r"D:\VorsilBenchTools"
KINDS = ("files", "dirs", "inientries", "values", "keys")


def counts_for(scale):
    """Listed items of a sample of the given scale: the 10,000 one holds 10,000 files,
    1,000 directories, 1,000 registry values, 200 created keys and 200 INI entries."""
    return {"files": scale, "dirs": scale // 10, "inientries": scale // 50, "values": scale // 10, "keys": scale // 50}


def only(kind, count):
    """A sample of one kind of item."""
    return {k: (count if k == kind else 0) for k in KINDS}


class Prefix:
    def __init__(self, root, tools_dir, samples_dir):
        self.root = root
        self.drives = {"C:": os.path.join(root, "drive_c"), "D:": samples_dir}
        self.tools_dir = tools_dir

    def unix(self, windows_path):
        drive = windows_path[:2].upper()
        assert drive in self.drives and windows_path[2] == "\\", windows_path
        return os.path.join(self.drives[drive], *windows_path[3:].split("\\"))

    def wine(self, *arguments):
        result = subprocess.run(["wine", *arguments], capture_output=True, text=True,
                                errors="replace")
        values = {}
        for line in result.stdout.splitlines():
            name, sep, value = line.strip().partition("=")
            if sep:
                values[name] = value
        if result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(arguments)} failed ({result.returncode}): "
                               f"{result.stdout.strip()} {result.stderr.strip()[-2000:]}")
        return values

    def driver(self, *arguments):
        return self.wine(os.path.join(self.tools_dir, "driver.exe"), *arguments)


def write_text(path, lines):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", newline="") as out:
        out.write("".join(line + "\r\n" for line in lines))


class Sample:
    """One installation: its files and directories on disk, INI entries, registry keys
    and values, the installation log that lists them, and the same deletions as a
    plain list for the baseline."""

    def __init__(self, prefix, name, counts):
        self.prefix = prefix
        self.name = name
        self.counts = counts
        self.folder = "D:\\VorsilBench\\" + name
        self.ini_folder = "D:\\VorsilBenchIni\\" + name
        self.key = "HKCU\\Software\\VorsilBench\\" + name
        self.items = sum(counts.values())

    def layout(self):
        c = self.counts
        # Directories: the installation folder and a tree below it, ten to a parent,
        # listed parents first as an installer creates them. A sample without listed
        # directories still keeps its files in such a tree.
        tree = max(c["dirs"], c["files"] // 10, 1)
        dirs = [self.folder]
        parent = 0
        while len(dirs) < tree:
            for child in range(10):
                if len(dirs) == tree:
                    break
                dirs.append(f"{dirs[parent]}\\d{child}")
            parent += 1
        self.tree = dirs
        self.dirs = dirs[: c["dirs"]]
        self.files = [f"{dirs[i % len(dirs)]}\\f{i:06d}.dat" for i in range(c["files"])]
        # INI entries: four files of five sections each, every section also holding
        # an entry of someone else's that must stay.
        self.ini_files = [f"{self.ini_folder}\\app{n}.ini" for n in range(4)]
        self.ini_entries = [(self.ini_files[j % 4], f"Section{(j // 4) % 5}", f"Key{j:05d}",
                             f"value {j}, with a comma") for j in range(c["inientries"])]
        # Registry: keys in groups of ten below the sample's key, created parents
        # first; values spread five to a key over the keys below the sample's key.
        keys = [self.key]
        for j in range(max(c["keys"], c["values"] // 5, 1 if c["values"] else 0) - 1):
            group = f"{self.key}\\G{j // 10}"
            keys.append(group if j % 10 == 0 else f"{group}\\C{j % 10}")
        self.keys = keys[: c["keys"]]
        holders = keys[1:] or keys
        self.values = [(holders[j % len(holders)], f"V{j:05d}", f"data {j}")
                       for j in range(c["values"])]
        self.all_keys = keys

    def build(self, program):
        """Creates the installation; returns the path of its installed vorsil.exe."""
        self.layout()
        p = self.prefix
        shutil.rmtree(p.unix(self.folder), ignore_errors=True)
        shutil.rmtree(p.unix(self.ini_folder), ignore_errors=True)
        for directory in self.tree:
            os.makedirs(p.unix(directory), exist_ok=True)
        payload = b"sample file data\r\n"
        for path in self.files:
            with open(p.unix(path), "wb") as out:
                out.write(payload)
        by_file = {}
        for file, section, key, value in self.ini_entries:
            by_file.setdefault(file, {}).setdefault(section, []).append(f"{key}={value}")
        for file in self.ini_files if self.ini_entries else []:
            lines = []
            for n in range(5):
                section = f"Section{n}"
                lines += [f"[{section}]", "Keep=someone else's entry"] + by_file.get(file, {}).get(section, [])
            write_text(p.unix(file), lines)
        registry = [f"K\t{key}" for key in self.all_keys] if (self.keys or self.values) else []
        registry += [f"V\t{key}\t{name}\t{data}" for key, name, data in self.values]
        if registry:
            listing = f"{TOOLS}\\{self.name}.reg.txt"
            write_text(p.unix(listing), registry)
            loaded = p.driver("regload", listing)
            if loaded.get("failures") != "0":
                raise RuntimeError(f"registry set-up failed: {loaded}")
        log = ["[CopyFiles]"] + [f"{path}=1" for path in self.files]
        log += ["[AddIni]"] + [f"{file},{section},{key}={value}" for file, section, key, value in self.ini_entries]
        log += ["[AddReg]"] + [f"{key}\\{name}={data}" for key, name, data in self.values]
        log += ["[CreateKeys]"] + self.keys
        log += ["[CreateDirs]"] + self.dirs
        write_text(p.unix(self.folder + "\\install.log"), log)
        # Written at install time, not a moment ago: Wine's profile functions read
        # a file again at every call while its time stamp is under two seconds old.
        an_hour_ago = time.time() - 3600
        for path in [self.folder + "\\install.log"] + (self.ini_files if self.ini_entries else []):
            os.utime(p.unix(path), (an_hour_ago, an_hour_ago))
        installed = self.folder + "\\vorsil.exe"
        shutil.copyfile(program, p.unix(installed))
        return installed

    def baseline_list(self):
        """The same deletions in the order the uninstaller makes them."""
        lines = [f"F\t{path}" for path in self.files]
        lines += [f"I\t{file}\t{section}\t{key}" for file, section, key, _ in self.ini_entries]
        lines += [f"V\t{key}\t{name}" for key, name, _ in self.values]
        lines += [f"K\t{key}" for key in reversed(self.keys)]
        lines += [f"F\t{self.folder}\\install.log", f"F\t{self.folder}\\vorsil.exe"]
        lines += [f"D\t{path}" for path in reversed(self.dirs)]
        listing = f"{TOOLS}\\{self.name}.list.txt"
        write_text(self.prefix.unix(listing), lines)
        return listing

    def check_removed(self):
        """What is left of the listed items; an empty list when all are gone."""
        p = self.prefix
        left = []
        left += [path for path in self.files if os.path.exists(p.unix(path))]
        left += [path for path in self.dirs if os.path.exists(p.unix(path))]
        for name in ("install.log", "vorsil.exe"):
            if os.path.exists(p.unix(self.folder + "\\" + name)):
                left.append(name)
        for file in self.ini_files if self.ini_entries else []:
            with open(p.unix(file), newline="") as ini:
                text = ini.read()
            left += [f"{file} {key}" for f, _, key, _ in self.ini_entries if f == file and key + "=" in text]
            if text.count("Keep=") != 5:
                left.append(f"{file}: another program's entries were touched")
        if self.keys or self.values:
            state = p.driver("regcheck", self.key)
            if self.keys and state["key"] != "absent":
                left.append(f"{self.key} ({state})")
            if not self.keys and state.get("values") != "0":
                left.append(f"{self.key} still holds values ({state})")
        return left

    def clean(self):
        """Removes what the sample had that was not listed (the folders of unlisted
        directories, the INI files, the keys of a sample that lists values only)."""
        shutil.rmtree(self.prefix.unix(self.folder), ignore_errors=True)
        shutil.rmtree(self.prefix.unix(self.ini_folder), ignore_errors=True)
        if self.values and not self.keys:
            self.prefix.driver("regdelete", self.key)


class Bench:
    def __init__(self, prefix, program):
        self.prefix = prefix
        self.program = program
        self.serial = 0

    def sample(self, tag, counts):
        self.serial += 1
        return Sample(self.prefix, f"{tag}{self.serial:03d}", counts)

    def uninstall(self, counts):
        sample = self.sample("u", counts)
        installed = sample.build(self.program)
        result = self.prefix.driver("uninstall", installed, sample.folder, FINISHED)
        left = sample.check_removed()
        sample.clean()
        if left:
            raise RuntimeError(f"vorsil.exe left {len(left)} listed items, e.g. {left[:5]}")
        # The work that depends on the log: from the start of the second run (which
        # reads it) to the question, and from the answer to "Uninstall is finished.".
        work = float(result["second_run_to_question_ms"]) + float(result["after_answer_ms"])
        return {"ms": float(result["total_ms"]), "work_ms": work, "question_ms": float(result["question_ms"]),
                "after_answer_ms": float(result["after_answer_ms"]),
                "peak": int(result.get("peak_working_set", 0)), "items": sample.items,
                "silence_ms": float(result["longest_silence_ms"]),
                "silence_after": result.get("longest_silence_after", ""),
                "counts": int(result["count_lines_seen"]), "count_example": result.get("count_example", "")}

    def silent(self, counts):
        """vorsil.exe /S as a deployment tool runs it: the time until the process it started ends."""
        sample = self.sample("s", counts)
        installed = sample.build(self.program)
        result = self.prefix.driver("run", installed, sample.folder, "/S")
        # The program file and the folders go a moment after that process has ended.
        time.sleep(1.5)
        left = sample.check_removed()
        sample.clean()
        if left:
            raise RuntimeError(f"vorsil.exe /S left {len(left)} listed items, e.g. {left[:5]}")
        return {"ms": float(result["total_ms"])}

    def baseline(self, counts):
        sample = self.sample("b", counts)
        sample.build(self.program)
        listing = sample.baseline_list()
        result = self.prefix.driver("run", os.path.join(self.prefix.tools_dir, "baseline.exe"), TOOLS, listing)
        left = sample.check_removed()
        sample.clean()
        if left:
            raise RuntimeError(f"the baseline left {len(left)} listed items, e.g. {left[:5]}")
        kinds = {name[0]: float(value) for name, value in result.items() if len(name) == 4 and name.endswith("_ms")}
        return {"ms": float(result["total_ms"]), "work_ms": float(result["work_ms"]), "kinds_ms": kinds,
                "items": sample.items}


def best_of(results):
    """The fastest of the runs: other work on the machine only ever adds time."""
    return min(results, key=lambda r: r["work_ms"])


def pair(bench, counts, repeats):
    """Runs vorsil.exe and the baseline on equal samples, alternately; the best of each."""
    programs, baselines = [], []
    for _ in range(repeats):
        programs.append(bench.uninstall(counts))
        baselines.append(bench.baseline(counts))
    return best_of(programs), best_of(baselines), programs, baselines


def silence(results):
    """The longest the window went without answering in any of the runs, and what its newest line was then."""
    worst = max(results, key=lambda r: r["silence_ms"])
    return worst["silence_ms"], worst["silence_after"]


def seconds(results):
    return ", ".join(f"{r['ms'] / 1000:.3f}" for r in results)


def per_item_us(result, fixed):
    """Marginal cost: the work beyond that of an empty log, per listed item. The work
    leaves out the starts of the processes, whose jitter is as large as the cost of
    a thousand items on a busy machine."""
    return 1000.0 * (result["work_ms"] - fixed["work_ms"]) / result["items"]


def slope_us(points):
    """Least-squares cost per item over (items, ms) points, in microseconds."""
    xs = [x for x, _ in points]
    ys = [y for _, y in points]
    mx, my = statistics.fmean(xs), statistics.fmean(ys)
    return 1000.0 * sum((x - mx) * (y - my) for x, y in points) / sum((x - mx) ** 2 for x in xs)


def section_buffer(counts):
    """The largest section of a sample's log as the profile reader hands it over, and
    the buffer the program needs for it: 31,744 bytes, doubled while the section fills it."""
    sample = Sample(None, "u000", counts)
    sample.layout()
    sections = [
        [f"{path}=1" for path in sample.files],
        [f"{f},{s},{k}={v}" for f, s, k, v in sample.ini_entries],
        [f"{key}\\{name}={data}" for key, name, data in sample.values],
        sample.keys,
        sample.dirs,
    ]
    largest = max(sum(len(line) + 1 for line in lines) for lines in sections)
    buffer = 31744
    while largest >= buffer - 2:
        buffer *= 2
    return largest, buffer


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--prefix", required=True)
    parser.add_argument("--tools", required=True, help="folder of driver.exe and baseline.exe")
    parser.add_argument("--program", required=True, help="vorsil.exe to uninstall with")
    parser.add_argument("--samples", required=True, help="the folder that is the prefix's drive D:")
    parser.add_argument("--quick", action="store_true")
    args = parser.parse_args()

    prefix = Prefix(args.prefix, args.tools, args.samples)
    os.makedirs(prefix.unix(TOOLS), exist_ok=True)
    bench = Bench(prefix, args.program)
    quick = args.quick
    say = lambda text="": print(text, flush=True)
    started = time.monotonic()

    # The first programs started in a fresh prefix pay for Wine's own start-up.
    bench.uninstall(counts_for(0))
    bench.baseline(counts_for(0))

    say("Fixed cost: a log that lists nothing (best of 3)")
    v_fixed, b_fixed, v_all, b_all = pair(bench, counts_for(0), 3)
    say(f"  vorsil.exe {v_fixed['ms'] / 1000:.3f} s ({seconds(v_all)}): start to question "
        f"{v_fixed['question_ms'] / 1000:.3f} s, answer to \"{FINISHED}\" {v_fixed['after_answer_ms'] / 1000:.3f} s;")
    say(f"    2.000 s of it are the program's two deliberate one-second waits; "
        f"peak working set {v_fixed['peak'] / 2**20:.1f} MiB; longest silence {silence(v_all)[0]:.0f} ms")
    say(f"  baseline   {b_fixed['ms'] / 1000:.3f} s ({seconds(b_all)})")
    s_all = [bench.silent(counts_for(0)) for _ in range(3)]
    s_fixed = min(s_all, key=lambda r: r["ms"])
    say(f"  vorsil.exe /S {s_fixed['ms'] / 1000:.3f} s ({seconds(s_all)}): start to the end of the process "
        f"started, silent, without the pauses")
    say()

    say("Whole samples; the 10,000 one lists 10,000 files, 1,000 directories, 1,000 registry values,")
    say("200 created keys and 200 INI entries, the others the same scaled. Cost per item: the time beyond")
    say("an empty log's, per listed item, leaving out the processes' starts; best of the runs. Silence: the")
    say("longest a helper's message (WM_NULL every 50 ms, reads of the newest status line) waited for an")
    say("answer while the window was open, worst of the runs; counts: newest lines \"text done/total\" it saw.")
    say(f"  {'scale':>6} {'items':>6} {'runs':>4} | {'vorsil s':>8} {'base s':>7} | {'vorsil us':>9} {'base us':>8} "
        f"{'ratio':>5} | {'silence ms':>10} {'counts':>6} | {'peak WS MiB':>11} {'+ empty':>7} | "
        f"{'largest section':>15} {'buffer':>8}")
    scales = [(1000, 3), (10000, 1 if quick else 3)] + ([] if quick else [(50000, 2)])
    rows = []
    silences = [(0, *silence(v_all))]
    examples = []
    for scale, runs in scales:
        v, b, v_runs, _ = pair(bench, counts_for(scale), runs)
        vu, bu = per_item_us(v, v_fixed), per_item_us(b, b_fixed)
        largest, buffer = section_buffer(counts_for(scale))
        rows.append((scale, v, b))
        silences.append((scale, *silence(v_runs)))
        examples += [r["count_example"] for r in v_runs[:1] if r["count_example"]]
        counts = "/".join(str(r["counts"]) for r in v_runs)
        say(f"  {scale:>6} {v['items']:>6} {runs:>4} | {v['ms'] / 1000:>8.3f} {b['ms'] / 1000:>7.3f} | {vu:>9.1f} {bu:>8.1f} "
            f"{vu / bu:>5.2f} | {silences[-1][1]:>10.0f} {counts:>6} | "
            f"{v['peak'] / 2**20:>11.1f} {(v['peak'] - v_fixed['peak']) / 2**20:>7.1f} | "
            f"{largest / 1024:>11.1f} KiB {buffer / 1024:>4.0f} KiB")
    v_slope = slope_us([(v["items"], v["work_ms"]) for _, v, _ in rows])
    b_slope = slope_us([(b["items"], b["work_ms"]) for _, _, b in rows])
    say(f"  marginal cost fitted over the sizes: vorsil.exe {v_slope:.1f} us/item, baseline {b_slope:.1f} us/item, "
        f"ratio {v_slope / b_slope:.2f} (target: at most 1.25)")
    for (s0, v0, b0), (s1, v1, b1) in zip(rows, rows[1:]):
        extra = v1["items"] - v0["items"]
        say(f"  from {s0} to {s1}: vorsil.exe {1000 * (v1['work_ms'] - v0['work_ms']) / extra:.1f} us/item, "
            f"baseline {1000 * (b1['work_ms'] - b0['work_ms']) / extra:.1f} us/item")
    worst = max(silences, key=lambda s: s[1])
    say(f"  longest silence over all sizes {worst[1]:.0f} ms, at {worst[0]} items after \"{worst[2]}\" "
        f"(target: at most 250 ms); counts seen, e.g. " + (", ".join(f'"{e}"' for e in examples) or "none"))
    scale, _, b = rows[-1]
    names = {"F": "files", "D": "directories", "I": "INI entries", "V": "registry values", "K": "registry keys"}
    say(f"  the baseline's time at {scale} by kind: " +
        ", ".join(f"{names[k]} {b['kinds_ms'].get(k, 0) / 1000:.2f} s" for k in "FIVKD"))
    say()

    say("One kind of item at a time, at two sizes: cost per item beyond an empty log's, its growth from the")
    say("smaller size to the larger (1.00: linear), and vorsil.exe's cost over the baseline's at the larger")
    runs = 1 if quick else 3
    say(f"  {'kind':>10} {'small':>6} {'large':>6} {'runs':>4} | {'vorsil us/item':>15} {'growth':>6} | "
        f"{'base us/item':>15} {'growth':>6} | {'ratio':>5} | {'silence ms':>10}")
    # Large enough that each kind's work outweighs the jitter of a busy machine.
    sizes = {"files": (5000, 20000), "dirs": (300, 1200), "inientries": (200, 800),
             "values": (4000, 16000), "keys": (2000, 8000)}
    for kind in KINDS:
        small, large = (n if quick else 2 * n for n in sizes[kind])
        measured = []
        longest = 0
        for count in (small, large):
            v, b, v_runs, _ = pair(bench, only(kind, count), runs)
            measured.append((per_item_us(v, v_fixed), per_item_us(b, b_fixed)))
            longest = max(longest, silence(v_runs)[0])
        (vs, bs), (vl, bl) = measured
        say(f"  {kind:>10} {small:>6} {large:>6} {runs:>4} | {vs:>7.1f} {vl:>7.1f} {vl / vs:>6.2f} | "
            f"{bs:>7.1f} {bl:>7.1f} {bl / bs:>6.2f} | {vl / bl:>5.2f} | {longest:>10.0f}")
    say()
    say(f"Benchmark took {time.monotonic() - started:.0f} s; every run left none of the listed items behind.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
