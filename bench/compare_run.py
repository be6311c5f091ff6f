#!/usr/bin/python3
"""Times Tolvane's conversion against other tools doing the same job.

Called by bench/compare.sh, which fetches the inputs, installs the peers and
builds the program. Every tool decodes the whole input, reduces it by area
averaging to the size Tolvane's size rule gives and writes 8-bit RGB PNG at
zlib level 7 with filter Sub (BMP for BMP input). Each tool runs once to warm
up, then --runs times, the tools taking turns. Prints and writes the median
wall time, CPU time (user + system) and peak resident memory of each.
"""

import argparse
import csv
import datetime
import os
import platform
import shutil
import statistics
import struct
import subprocess
import sys
import tempfile
import time

# Wall-time targets of the program against the fastest peer, by input kind.
WALL_TARGET = {"jpeg": 0.80, "png": 0.80, "adam7": 0.80, "bmp": 1.00, "tiff": 1.00}
CPU_TARGET = 1.10
# Throughput of two conversions at once against one at a time on one core.
JOBS_TARGET = 1.90
# A batch's CPU per file against the floor's per file.
JOBS_CPU_TARGET = 1.05

PILLOW_JOB = """\
import sys
from PIL import Image
source, target, width, height = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4])
image = Image.open(source)
if image.mode != "RGB":
    image = image.convert("RGB")
image = image.resize((width, height), Image.BOX)
if target.endswith(".png"):
    image.save(target, compress_level=7)
else:
    image.save(target)
"""


class Tool:
    """One way of doing the job: a name and how to build its command line."""

    def __init__(self, name, command, output_name, is_floor=False, is_ours=False):
        self.name = name
        self.command = command  # (input, output, width, height, adam7) -> argv
        self.output_name = output_name  # (input, is_bmp) -> file name in the tool's folder
        self.is_floor = is_floor
        self.is_ours = is_ours


TASKSET = shutil.which("taskset")

# The input size of each file the tools are given, filled per input.
input_sizes = {}


def make_tools(args):
    def peer_output(_source, bmp):
        return "out.bmp" if bmp else "out.png"

    def vips(source, output, width, height, adam7):
        in_width, in_height = input_sizes[source]
        if output.endswith(".bmp"):
            target = output
        else:
            options = "compression=7,filter=sub,strip"
            target = f"{output}[{options}{',interlace' if adam7 else ''}]"
        return [args.vips, "resize", source, target, repr(width / in_width),
                "--vscale", repr(height / in_height), "--kernel", "linear"]

    def magick(source, output, width, height, adam7):
        argv = [args.magick, source, "-filter", "box", "-resize", f"{width}x{height}!"]
        if output.endswith(".bmp"):
            return argv + ["-type", "TrueColor", f"BMP3:{output}"]
        if adam7:
            argv += ["-interlace", "PNG"]
        return argv + ["-strip", "-quality", "71", f"PNG24:{output}"]

    def pillow(source, output, width, height, _adam7):
        return [args.python, "-c", PILLOW_JOB, source, output, str(width), str(height)]

    def ours(source, _output, _width, _height, _adam7):
        return [args.cli, "convert", source]

    def ours_output(source, bmp):
        stem = os.path.splitext(os.path.basename(source))[0]
        return stem + ("_2048.bmp" if bmp else "_2048.png")

    def floor(source, _output, _width, _height, _adam7):
        return [args.floor, source]

    return [
        Tool("tolvane", ours, ours_output, is_ours=True),
        Tool("vips", vips, peer_output),
        Tool("imagemagick", magick, peer_output),
        Tool("pillow", pillow, peer_output),
        Tool("floor", floor, lambda _s, _b: None, is_floor=True),
    ]


# ---- files ------------------------------------------------------------------

def sizes(floor, path):
    """The input's size and the reduced size, as Tolvane's size rule gives it."""
    done = subprocess.run([floor, "--size", path], capture_output=True, text=True)
    if done.returncode != 0:
        sys.exit(f"compare: cannot read the size of {path}: {done.stderr.strip()}")
    source, target = done.stdout.split(" -> ")
    return tuple(int(v) for v in source.split(" x ")), tuple(int(v) for v in target.split(" x "))


def describe_output(path):
    """What a tool wrote: size, and for PNG bit depth, colour type, interlace."""
    with open(path, "rb") as f:
        head = f.read(64)
    if head[:8] == b"\x89PNG\r\n\x1a\n":
        width, height, depth, colour, _c, _f, interlace = struct.unpack(">IIBBBBB", head[16:29])
        return {"width": width, "height": height, "rgb8": depth == 8 and colour == 2,
                "adam7": interlace == 1, "kind": "png"}
    if head[:2] == b"BM":
        width, height = struct.unpack("<ii", head[18:26])
        bits = struct.unpack("<H", head[28:30])[0]
        return {"width": width, "height": abs(height), "rgb8": bits == 24, "adam7": False, "kind": "bmp",
                "bits": bits}
    return {"width": 0, "height": 0, "rgb8": False, "adam7": False, "kind": "unknown"}


# ---- one run ----------------------------------------------------------------

class Run:
    def __init__(self, status, wall, cpu, system, peak_kib, stdout, stderr):
        self.status, self.wall, self.cpu, self.system, self.peak_kib = status, wall, cpu, system, peak_kib
        self.stdout, self.stderr = stdout, stderr
        self.parts = None  # the floor's decode and deflate CPU seconds
        self.core = None  # the one core the run was held to, if any


def run_measured(argv, cwd):
    """Runs argv and measures it from the outside: wall clock around fork and
    wait, user + system CPU and peak RSS from the child's rusage."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        start = time.perf_counter()
        try:
            child = subprocess.Popen(argv, cwd=cwd, stdout=out, stderr=err, stdin=subprocess.DEVNULL)
        except OSError as error:
            return Run(127, 0.0, 0.0, 0.0, 0, "", f"cannot start {argv[0]}: {error.strerror}")
        _pid, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        out.seek(0)
        err.seek(0)
        return Run(child.returncode, wall, usage.ru_utime + usage.ru_stime, usage.ru_stime, usage.ru_maxrss,
                   out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace"))


def run_tool(tool, job, core=None):
    folder = job["folders"][tool.name]
    output = tool.output_name(job["link"][tool.name], job["bmp"])
    if output:
        target = os.path.join(folder, output)
        if os.path.exists(target):
            os.remove(target)
    argv = tool.command(job["link"][tool.name], os.path.join(folder, output or "-"),
                        job["width"], job["height"], job["adam7"])
    if core is not None:
        argv = [TASKSET, "-c", str(core)] + argv
    run = run_measured(argv, folder)
    run.core = core
    if tool.is_floor and run.status == 0:
        take_floor_figures(run)
    return run


def take_floor_figures(run):
    """The floor times only the libraries' work itself, and prints it."""
    fields = run.stdout.split()
    values = dict(zip(fields[::2], fields[1::2]))
    run.wall, run.cpu, run.system = float(values["wall"]), float(values["cpu"]), float(values["system"])
    run.parts = (float(values["decode-cpu"]), float(values["deflate-cpu"]))


def floor_cores():
    """The cores the floor is held to in turn: every core of the machine
    when taskset is there. A virtual machine's cores can differ in speed by
    a fifth, and which is faster changes within the hour; the floor runs on
    one thread and the program on two, so the floor is timed on each core
    alike and its CPU time is the mean of the per-core medians."""
    cores = sorted(os.sched_getaffinity(0)) if hasattr(os, "sched_getaffinity") else []
    return cores if TASKSET and len(cores) > 1 else []


def floor_cpu(runs):
    by_core = {}
    for run in runs:
        by_core.setdefault(run.core, []).append(run.cpu)
    return statistics.mean(statistics.median(values) for values in by_core.values()), by_core


def first_line(text):
    lines = [line for line in text.strip().splitlines() if line.strip()]
    return lines[0][:120] if lines else ""


def check_warm_up(tool, job, run):
    """Whether the tool did the job; notes on how it differs from the others."""
    if run.status != 0:
        return False, f"failed (exit {run.status}): {first_line(run.stderr) or first_line(run.stdout)}"
    if tool.is_floor:
        return True, ""
    notes = []
    if tool.is_ours:
        size_lines = [line for line in run.stdout.splitlines() if line.startswith("> ") and " x " in line]
        if size_lines:
            said = size_lines[-1][2:].strip()
            if said != f"{job['width']} x {job['height']}":
                notes.append(f"says {said}")
    path = os.path.join(job["folders"][tool.name], tool.output_name(job["link"][tool.name], job["bmp"]))
    if not os.path.exists(path):
        return False, f"wrote no output ({first_line(run.stderr) or 'no message'})"
    got = describe_output(path)
    if (got["width"], got["height"]) != (job["width"], job["height"]):
        notes.append(f"wrote {got['width']} x {got['height']}")
    if got["kind"] != ("bmp" if job["bmp"] else "png"):
        notes.append(f"wrote {got['kind']}")
    elif not got["rgb8"]:
        notes.append(f"{got['bits']}-bit BMP" if got["kind"] == "bmp" else "not 8-bit RGB")
    if not job["bmp"] and got["adam7"] != job["adam7"]:
        notes.append("Adam7" if got["adam7"] else "not interlaced")
    return True, "; ".join(notes)


# ---- the whole comparison ---------------------------------------------------

def median(values):
    return statistics.median(values) if values else None


def measure_input(name, kind, path, tools, args, scratch, raw_rows):
    (in_width, in_height), (width, height) = sizes(args.floor, path)
    if width == 0 or height == 0:
        sys.exit(f"compare: {path} is not reduced to a picture ({width} x {height}); choose a larger input")
    job = {"width": width, "height": height, "bmp": kind == "bmp",
           "adam7": describe_output(path)["adam7"] if path.endswith(".png") else False,
           "folders": {}, "link": {}}
    for tool in tools:
        folder = os.path.join(scratch, name, tool.name)
        os.makedirs(folder, exist_ok=True)
        link = os.path.join(folder, os.path.basename(path))
        if not os.path.lexists(link):
            os.symlink(path, link)
        job["folders"][tool.name] = folder
        job["link"][tool.name] = link
        input_sizes[link] = (in_width, in_height)

    print(f"\n{name}: {os.path.basename(path)}, {in_width} x {in_height} -> {width} x {height}", flush=True)
    active, notes = [], {}
    for tool in tools:
        ok, note = check_warm_up(tool, job, run_tool(tool, job))
        notes[tool.name] = note
        if ok:
            active.append(tool)
        print(f"  warm-up {tool.name:12s} {'ok' if ok else 'skipped'}{': ' + note if note else ''}", flush=True)

    samples = {tool.name: [] for tool in active}
    cores = floor_cores()
    for round_index in range(args.runs):
        # Each round starts with another tool, so that none always follows the same one.
        shift = round_index % len(active) if active else 0
        for tool in active[shift:] + active[:shift]:
            core = cores[round_index % len(cores)] if tool.is_floor and cores else None
            run = run_tool(tool, job, core)
            if run.status != 0:
                notes[tool.name] = f"run {round_index + 1} failed: {first_line(run.stderr)}"
                continue
            samples[tool.name].append(run)
            raw_rows.append([name, tool.name, round_index + 1, f"{run.wall:.4f}", f"{run.cpu:.4f}",
                             f"{run.system:.4f}", run.peak_kib, "" if run.core is None else run.core])
        print(f"  round {round_index + 1}/{args.runs} done", flush=True)

    result = {"name": name, "kind": kind, "file": os.path.basename(path),
              "input_size": (in_width, in_height), "size": (width, height), "tools": []}
    for tool in tools:
        runs = samples.get(tool.name, [])
        cpu = median([r.cpu for r in runs])
        if tool.is_floor and runs and not notes.get(tool.name):
            decode = median([r.parts[0] for r in runs])
            deflate = median([r.parts[1] for r in runs])
            notes[tool.name] = f"CPU: decode {decode:.3f} + deflate {deflate:.3f}"
            cpu, by_core = floor_cpu(runs)
            if len(by_core) > 1:
                notes[tool.name] += "; mean of " + ", ".join(
                    f"{statistics.median(values):.3f} on core {core}" for core, values in sorted(by_core.items()))
        result["tools"].append({
            "name": tool.name, "is_floor": tool.is_floor, "is_ours": tool.is_ours,
            "wall": median([r.wall for r in runs]), "cpu": cpu, "system": median([r.system for r in runs]),
            "peak_mib": median([r.peak_kib / 1024 for r in runs]), "runs": len(runs),
            "note": notes.get(tool.name, ""),
        })
    return result


def ratios(result):
    by_name = {t["name"]: t for t in result["tools"]}
    ours = by_name["tolvane"]
    peers = [t for t in result["tools"] if not t["is_ours"] and not t["is_floor"] and t["wall"] is not None]
    fastest = min(peers, key=lambda t: t["wall"]) if peers else None
    floor = by_name["floor"]
    wall_ratio = ours["wall"] / fastest["wall"] if ours["wall"] is not None and fastest else None
    cpu_ratio = ours["cpu"] / floor["cpu"] if ours["cpu"] is not None and floor["cpu"] else None
    return fastest, wall_ratio, cpu_ratio


def fmt(value, digits=3):
    return "—" if value is None else f"{value:.{digits}f}"


def markdown(results, args, environment):
    lines = ["# Tolvane against other tools", "",
             f"{environment['date']}; {environment['cpu']}, {environment['cores']} cores; "
             f"load average before the run {environment['load']}; median of {args.runs} runs after one warm-up.",
             f"Tolvane {environment['commit']}; {environment['versions']}.", "",
             "Wall and CPU (user + system, and system alone) in seconds, peak resident memory in MiB. "
             "The floor is what the libraries alone cost (timed inside bench/floor.cpp; its memory is that "
             "whole process), held to each core in turn; its CPU is the mean of the per-core medians.", ""]
    for result in results:
        (iw, ih), (w, h) = result["input_size"], result["size"]
        lines += [f"## {result['name']}: {result['file']}, {iw} × {ih} → {w} × {h}", "",
                  "| tool | wall s | CPU s | system s | peak MiB | note |", "|---|---:|---:|---:|---:|---|"]
        for tool in result["tools"]:
            lines.append(f"| {tool['name']} | {fmt(tool['wall'])} | {fmt(tool['cpu'])} | {fmt(tool['system'])} | "
                         f"{fmt(tool['peak_mib'], 0)} | {tool['note']} |")
        fastest, wall_ratio, cpu_ratio = ratios(result)
        lines += ["", f"- tolvane wall / fastest peer's wall ({fastest['name'] if fastest else '—'}): "
                      f"{fmt(wall_ratio, 2)} (target ≤ {WALL_TARGET[result['kind']]:.2f})",
                  f"- tolvane CPU / floor's CPU: {fmt(cpu_ratio, 2)} (target ≤ {CPU_TARGET:.2f})", ""]
    return "\n".join(lines) + "\n"


# ---- several files at once ---------------------------------------------------

def measure_floor_of_files(links, args, folder, core):
    """The floor of every file in turn, as one run: its CPU and system time
    summed, each file timed inside the floor as for a single input."""
    total = Run(0, 0.0, 0.0, 0.0, 0, "", "")
    total.core = core
    for link in links:
        argv = [args.floor, link] if core is None else [TASKSET, "-c", str(core), args.floor, link]
        run = run_measured(argv, folder)
        if run.status != 0:
            sys.exit(f"compare: the floor failed on {link}: {first_line(run.stderr)}")
        take_floor_figures(run)
        total.wall += run.wall
        total.cpu += run.cpu
        total.system += run.system
    return total


def measure_jobs(paths, args, scratch, raw_rows):
    """Times tolvane-cli convert over a set of files: one at a time on one
    core, one at a time (-j 1, which may use the second core inside each
    conversion) and two at a time (-j 2). Throughput is files per second.
    Beside them: the floor of every file, for the CPU per file, and one
    conversion of the largest file alone, for the peak memory."""
    folder = os.path.join(scratch, "jobs")
    os.makedirs(folder, exist_ok=True)
    links = []
    for index, path in enumerate(paths):
        link = os.path.join(folder, f"{index:02d}-{os.path.basename(path)}")
        if not os.path.lexists(link):
            os.symlink(path, link)
        links.append(link)
    variants = [("-j 2", [args.cli, "convert", "-j", "2"] + links),
                ("-j 1", [args.cli, "convert", "-j", "1"] + links)]
    if TASKSET:
        variants.append(("-j 1 on one core", [TASKSET, "-c", "0", args.cli, "convert", "-j", "1"] + links))
    largest = max(links, key=os.path.getsize)
    variants.append(("one file alone", [args.cli, "convert", largest]))
    print(f"\njobs: {len(links)} JPEG photographs", flush=True)
    samples = {name: [] for name, _ in variants}
    floor_runs = []
    cores = floor_cores()
    for name, argv in variants:  # warm-up
        run = run_measured(argv, folder)
        if run.status != 0:
            sys.exit(f"compare: {name} failed: {first_line(run.stderr)}")
    for round_index in range(args.runs):
        shift = round_index % len(variants)
        for name, argv in variants[shift:] + variants[:shift]:
            run = run_measured(argv, folder)
            samples[name].append(run)
            raw_rows.append(["jobs", name, round_index + 1, f"{run.wall:.4f}", f"{run.cpu:.4f}",
                             f"{run.system:.4f}", run.peak_kib, ""])
        core = cores[round_index % len(cores)] if cores else None
        run = measure_floor_of_files(links, args, folder, core)
        floor_runs.append(run)
        raw_rows.append(["jobs", "floor", round_index + 1, f"{run.wall:.4f}", f"{run.cpu:.4f}",
                         f"{run.system:.4f}", "", "" if core is None else core])
        print(f"  round {round_index + 1}/{args.runs} done", flush=True)
    rows = []
    for name, _ in variants:
        runs = samples[name]
        wall = median([r.wall for r in runs])
        files = 1 if name == "one file alone" else len(links)
        rows.append({"name": name, "wall": wall, "cpu": median([r.cpu for r in runs]),
                     "system": median([r.system for r in runs]),
                     "peak_mib": median([r.peak_kib / 1024 for r in runs]), "files": files,
                     "throughput": files / wall if wall else None})
    floor_total, _ = floor_cpu(floor_runs)
    return {"files": [os.path.basename(p) for p in paths], "largest": os.path.basename(largest),
            "rows": rows, "floor_per_file": floor_total / len(links),
            "floor_system_per_file": median([r.system for r in floor_runs]) / len(links)}


def jobs_markdown(jobs):
    by_name = {row["name"]: row for row in jobs["rows"]}
    floor = jobs["floor_per_file"]
    lines = [f"## jobs: {len(jobs['files'])} JPEG photographs converted by one call", "",
             ", ".join(jobs["files"]), "",
             f"The floor per file: {fmt(floor)} s CPU ({fmt(jobs['floor_system_per_file'])} s system), "
             "each file in a process of its own, held to each core in turn. "
             f"\"one file alone\" converts the largest file, {jobs['largest']}, by itself.", "",
             "| variant | wall s | CPU s | system s | CPU per file s | ÷ floor per file | peak MiB | files / s |",
             "|---|---:|---:|---:|---:|---:|---:|---:|"]
    for row in jobs["rows"]:
        per_file = row["cpu"] / row["files"] if row["cpu"] is not None else None
        ratio = per_file / floor if per_file is not None and floor else None
        lines.append(f"| {row['name']} | {fmt(row['wall'])} | {fmt(row['cpu'])} | {fmt(row['system'])} | "
                     f"{fmt(per_file)} | {fmt(ratio, 2)} | {fmt(row['peak_mib'], 0)} | "
                     f"{fmt(row['throughput'], 2)} |")
    two = by_name.get("-j 2", {}).get("throughput")
    lines += ["", f"- CPU per file ÷ the floor's per file: target ≤ {JOBS_CPU_TARGET:.2f} for -j 1 and -j 2"]
    alone = by_name.get("one file alone", {}).get("peak_mib")
    peak_two = by_name.get("-j 2", {}).get("peak_mib")
    if alone and peak_two:
        lines.append(f"- peak of -j 2 ÷ two conversions of the largest file alone: {peak_two / (2 * alone):.2f}")
    for base in ("-j 1 on one core", "-j 1"):
        one = by_name.get(base, {}).get("throughput")
        if two and one:
            target = f" (target ≥ {JOBS_TARGET:.2f})" if base == "-j 1 on one core" else ""
            lines.append(f"- throughput of -j 2 / {base}: {two / one:.2f}{target}")
    return "\n".join(lines) + "\n"


# ---- the chart ------------------------------------------------------------

COLOURS = {"tolvane": (214, 92, 38), "vips": (70, 120, 180), "imagemagick": (90, 160, 90),
           "pillow": (150, 110, 180), "floor": (120, 120, 120)}


def load_font(size):
    from PIL import ImageFont
    for path in ("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                 "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf"):
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return ImageFont.load_default()


def chart(results, path):
    """Per input a group of bars: each tool's median wall time (full colour)
    and CPU time (pale) on one common seconds scale."""
    from PIL import Image, ImageDraw
    font, bold = load_font(13), load_font(15)
    bar, gap, label_width, chart_width, margin = 12, 4, 110, 620, 20
    values = [t[k] for r in results for t in r["tools"] for k in ("wall", "cpu") if t[k] is not None]
    top = max(values) if values else 1.0
    group_heights = [30 + len(r["tools"]) * (2 * bar + gap + 6) for r in results]
    height = margin * 2 + 40 + sum(group_heights) + 30
    width = margin * 2 + label_width + chart_width + 70
    image = Image.new("RGB", (width, height), "white")
    draw = ImageDraw.Draw(image)
    draw.text((margin, margin), "Median wall time (dark) and CPU time (pale), seconds", fill="black", font=bold)
    y = margin + 40
    x0 = margin + label_width
    scale = chart_width / top
    for result, group_height in zip(results, group_heights):
        (iw, ih), (w, h) = result["input_size"], result["size"]
        _fastest, wall_ratio, cpu_ratio = ratios(result)
        draw.text((margin, y), f"{result['name']}  ({iw} x {ih} -> {w} x {h})", fill="black", font=bold)
        draw.text((x0 + chart_width // 2, y + 2), f"tolvane: wall {fmt(wall_ratio, 2)} x fastest peer, "
                  f"CPU {fmt(cpu_ratio, 2)} x floor", fill=(80, 80, 80), font=font)
        y += 24
        for tool in result["tools"]:
            colour = COLOURS.get(tool["name"], (0, 0, 0))
            pale = tuple(c + (255 - c) * 3 // 5 for c in colour)
            draw.text((margin + 8, y + bar // 2), tool["name"], fill="black", font=font)
            for key, fill, offset in (("wall", colour, 0), ("cpu", pale, bar + 1)):
                value = tool[key]
                if value is None:
                    draw.text((x0 + 4, y + offset - 2), "no result", fill=(120, 120, 120), font=font)
                    continue
                draw.rectangle([x0, y + offset, x0 + max(1, int(value * scale)), y + offset + bar - 1], fill=fill)
                draw.text((x0 + int(value * scale) + 4, y + offset - 2), f"{value:.2f}", fill="black", font=font)
            y += 2 * bar + gap + 6
        y = y + 6
    # Axis with whole and half seconds.
    draw.line([x0, margin + 36, x0, y], fill="black")
    step = 0.5 if top <= 4 else 1.0
    tick = 0.0
    while tick <= top + 1e-9:
        x = x0 + int(tick * scale)
        draw.line([x, y, x, y + 4], fill="black")
        draw.text((x - 8, y + 6), f"{tick:g}", fill="black", font=font)
        tick += step
    image.save(path)


def environment_facts(args):
    def output(argv):
        try:
            return subprocess.run(argv, capture_output=True, text=True, timeout=30).stdout.strip()
        except OSError:
            return ""
    cpu = platform.processor()
    try:
        with open("/proc/cpuinfo") as f:
            cpu = next((l.split(":", 1)[1].strip() for l in f if l.startswith("model name")), cpu)
    except OSError:
        pass
    pillow = output([args.python, "-c", "import PIL; print(PIL.__version__)"])
    magick = output([args.magick, "-version"]).splitlines()
    versions = "; ".join(filter(None, [output([args.vips, "--version"]),
                                       magick[0].split(" https")[0].replace("Version: ", "") if magick else "",
                                       f"Pillow {pillow}" if pillow else ""]))
    commit = output(["git", "-C", args.repo, "describe", "--always", "--dirty"]) or "unknown"
    return {"date": datetime.datetime.now().strftime("%Y-%m-%d %H:%M"), "cpu": cpu,
            "cores": os.cpu_count(), "load": " ".join(f"{v:.2f}" for v in os.getloadavg()),
            "versions": versions, "commit": commit}


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--out", required=True)
    parser.add_argument("--scratch", required=True)
    parser.add_argument("--cli", required=True)
    parser.add_argument("--floor", required=True)
    parser.add_argument("--vips", default=shutil.which("vips") or "vips")
    parser.add_argument("--magick", required=True)
    parser.add_argument("--python", default="/usr/bin/python3")
    parser.add_argument("--repo", default=".")
    parser.add_argument("--jobs", nargs="*", default=[], help="JPEG files converted by one call")
    parser.add_argument("input", nargs="*", help="NAME=KIND=PATH")
    args = parser.parse_args()
    if args.runs < 1:
        sys.exit("compare: --runs must be at least 1")
    # The tools run in their own folders.
    for name in ("cli", "floor", "vips", "magick", "python"):
        path = getattr(args, name)
        setattr(args, name, os.path.abspath(path) if os.sep in path else shutil.which(path) or path)

    environment = environment_facts(args)
    tools = make_tools(args)
    os.makedirs(args.out, exist_ok=True)
    if "_2048" in os.path.abspath(args.scratch):
        # Tolvane leaves the suffix out when the path has it already.
        sys.exit(f"compare: the scratch folder's path must not contain _2048: {args.scratch}")
    if os.path.exists(args.scratch):
        shutil.rmtree(args.scratch)
    raw_rows, results = [], []
    for entry in args.input:
        name, kind, path = entry.split("=", 2)
        results.append(measure_input(name, kind, os.path.abspath(path), tools, args, args.scratch, raw_rows))
    jobs = measure_jobs([os.path.abspath(p) for p in args.jobs], args, args.scratch, raw_rows) if args.jobs else None
    shutil.rmtree(args.scratch, ignore_errors=True)

    text = markdown(results, args, environment)
    if jobs:
        text += "\n" + jobs_markdown(jobs)
    with open(os.path.join(args.out, "results.md"), "w") as f:
        f.write(text)
    with open(os.path.join(args.out, "runs.csv"), "w", newline="") as f:
        writer = csv.writer(f)
        writer.writerow(["input", "tool", "run", "wall_s", "cpu_s", "system_s", "peak_kib", "core"])
        writer.writerows(raw_rows)
    if results:
        chart(results, os.path.join(args.out, "results.png"))
    print("\n" + text)
    print(f"Written: {args.out}/results.md, results.png, runs.csv")


if __name__ == "__main__":
    main()
