#!/usr/bin/env python3
"""Benchmarks of Tolvane against the libpff floor and the reference peer.

Builds the project twice (Debian's libpff and the project's patched libpff),
generates synthetic mailboxes with mkpst (the project's PST writer, fixed
seeds, kept in bench/work/ and reused) for every profile and size, and
measures on the same file in the same run:

  scan       tolvane-cli scan FILE
  convert    tolvane-cli convert FILE DIR
  convert1   the same on one core (taskset -c 0): the ratio convert1 / convert
             says how well the conversion uses a second core
  floor      pff-floor FILE (opens the file and visits every folder and item)
  peer       readpst -j 0 -D -e -o DIR FILE (run as an independent peer)
  window     the desktop window under Xvfb: Scan, then Convert into DIR; the
             time of each is taken inside the window (sizes of --window-sizes)

Profiles (mkpst options, see mailbox()):
  default    mkpst's own defaults with only the number of messages given
  mix        folders of several depths, one big folder, one mail in five with
             attachments (mean 16 KiB), embedded messages, contacts, appointments
  plain      the same folders without attachments or embedded messages
  heavy      three mails in ten with 1 to 3 attachments, mostly up to 256 KiB,
             one in ten of 1 to 1.5 MiB
  onefolder  every mail in one folder
  large      a hundred mails and one with a 200 MB attachment (size ignored)

For each: median wall time of several runs, CPU time (user + system), peak
resident memory (/usr/bin/time -v), messages per second and the ratios against
the peer (wall and CPU) and the floor. The table is printed and written to bench/results/ with the date
and the machine's description.

Usage: bench/run-bench.py [--sizes 1000,10000,100000] [--runs 3]
                          [--profiles default,mix,plain,heavy,onefolder,large]
                          [--large-runs 1] [--libpff system,patched]
                          [--tools scan,convert,convert1,floor,peer,window]
                          [--window-sizes 10000] [--no-build]
                          [--timeout SECONDS] [--combine RESULT.json...]

Without --no-build it first runs scripts/install-deps.sh and builds both
variants, so it runs from a fresh checkout on its own.
"""

import argparse
import datetime
import json
import os
import platform
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, "bench", "work")
RESULTS = os.path.join(ROOT, "bench", "results")
BUILDS = {
    "system": os.path.join(ROOT, "build-perf-sys"),
    "patched": os.path.join(ROOT, "build-perf-pff"),
}
LARGE = 100000      # sizes from here on get --large-runs runs
SEED_BASE = 4242
LARGE_ATTACHMENT = 200 * 1000 * 1000
PROFILES = ["default", "mix", "plain", "heavy", "onefolder", "large"]


def log(message):
    print(message, file=sys.stderr, flush=True)


def run(command, **kwargs):
    log("+ " + " ".join(command))
    subprocess.run(command, check=True, **kwargs)


def build(variant, gui):
    build_dir = BUILDS[variant]
    arguments = [os.path.join(ROOT, "scripts", "build.sh"), build_dir,
                 "-DCMAKE_BUILD_TYPE=Release", "-DTOLVANE_BUILD_TESTS=OFF",
                 # the window is measured with the patched library only
                 "-DTOLVANE_BUILD_GUI=" + ("ON" if gui and variant == "patched" else "OFF"),
                 "-DTOLVANE_PATCHED_LIBPFF=" + ("ON" if variant == "patched" else "OFF")]
    run(arguments)


def binary(variant, name):
    return os.path.join(BUILDS[variant], "bin", name)


def mailbox(profile, size, mkpst):
    """The benchmark mailbox of a profile and size, generated once with a
    fixed seed and kept in bench/work/."""
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "bench-%s-%d.pst" % (profile, size))
    if os.path.exists(path):
        return path
    seed = str(SEED_BASE + size)
    big_folder = min(5000, size // 4)
    spread = ["--messages", str(size - big_folder), "--big-folder", str(big_folder), "--folders", "12", "--depth", "3"]
    others = ["--contacts", str(max(10, size // 100)), "--appointments", str(max(10, size // 100))]
    arguments = {
        # mkpst as it comes: its own mix of folders, attachments and items.
        "default": ["--messages", str(size)],
        "mix": spread + ["--attachment-ratio", "0.2", "--attachment-size", "16384", "--embedded-ratio", "0.02"] + others,
        "plain": spread + ["--attachment-ratio", "0", "--embedded-ratio", "0"] + others,
        "heavy": spread + ["--attachment-ratio", "0.3", "--attachment-size", "262144", "--embedded-ratio", "0.02"] + others,
        "onefolder": ["--messages", "0", "--big-folder", str(size), "--folders", "1",
                      "--attachment-ratio", "0.2", "--attachment-size", "16384", "--embedded-ratio", "0.02"],
        "large": ["--messages", "100", "--large-attachment", str(LARGE_ATTACHMENT)],
    }[profile]
    partial = path + ".part"
    run([mkpst] + arguments + ["--seed", seed, partial])
    os.replace(partial, path)
    return path


def parse_time_report(text):
    """Wall seconds, CPU seconds and peak RSS (KiB) from /usr/bin/time -v."""
    values = {}
    for line in text.splitlines():
        key, _, value = line.strip().rpartition(": ")
        values[key] = value
    wall_text = values.get("Elapsed (wall clock) time (h:mm:ss or m:ss)", "0:0")
    wall = 0.0
    for part in wall_text.split(":"):
        wall = wall * 60 + float(part)
    cpu = float(values.get("User time (seconds)", 0)) + float(values.get("System time (seconds)", 0))
    rss = int(values.get("Maximum resident set size (kbytes)", 0))
    return wall, cpu, rss


def measure(command, output_dir=None, timeout=None):
    """One timed run; output_dir is emptied (created) before the run. A run
    longer than timeout seconds is stopped and marked as timed out."""
    if output_dir is not None:
        shutil.rmtree(output_dir, ignore_errors=True)
        os.makedirs(output_dir)
        os.sync()
    with tempfile.NamedTemporaryFile("r", suffix=".time") as report, \
            tempfile.TemporaryFile() as output:
        started = time.monotonic()
        process = subprocess.Popen(["/usr/bin/time", "-v", "-o", report.name] + command,
                                   stdout=output, stderr=subprocess.STDOUT,
                                   start_new_session=True)
        timed_out = False
        try:
            process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            timed_out = True
            # Stop the measured command only, so that time still reports
            # what it used until then; the whole group if time lingers.
            try:
                with open("/proc/%d/task/%d/children" % (process.pid, process.pid)) as children:
                    for child in children.read().split():
                        os.kill(int(child), 9)
                process.wait(timeout=30)
            except (OSError, subprocess.TimeoutExpired):
                os.killpg(process.pid, 9)
                process.wait()
        elapsed = time.monotonic() - started
        wall, cpu, rss = parse_time_report(report.read())
        output.seek(0)
        text = output.read().decode(errors="replace")
    if timed_out:
        log("  stopped after %.0f s" % elapsed)
    elif process.returncode != 0:
        log("  exit status %d: %s" % (process.returncode, text[-400:]))
    window = re.search(r"window-scan-seconds ([0-9.]+)", text)
    window_convert = re.search(r"window-convert-seconds ([0-9.]+)", text)
    return {"wall": elapsed, "cpu": cpu, "rss_kib": rss, "timed_out": timed_out,
            "status": process.returncode if not timed_out else -9,
            "window_scan": float(window.group(1)) if window else None,
            "window_convert": float(window_convert.group(1)) if window_convert else None}


def window_command(variant, path, out_dir):
    """The window's Scan and Convert under Xvfb, driven by the application's bench hook."""
    application = binary(variant, "tolvane")
    if not os.path.exists(application):
        return None
    return ["xvfb-run", "-a", "-s", "-screen 0 1600x1000x24 -noreset", "env",
            "QTWEBENGINE_DISABLE_SANDBOX=1", application, "--benchmark-scan", path, out_dir]


def commands(tool, variant, path, out_dir):
    if tool == "scan":
        return [binary(variant, "tolvane-cli"), "scan", path], None
    if tool == "convert":
        return [binary(variant, "tolvane-cli"), "convert", path, out_dir], out_dir
    if tool == "convert1":
        return ["taskset", "-c", "0", binary(variant, "tolvane-cli"), "convert", path, out_dir], out_dir
    if tool == "floor":
        return [binary(variant, "pff-floor"), path], None
    if tool == "peer":
        return ["readpst", "-j", "0", "-D", "-e", "-o", out_dir, path], out_dir
    if tool == "window":
        return window_command(variant, path, out_dir), out_dir
    raise ValueError(tool)


def machine_description():
    model = platform.processor() or "unknown CPU"
    try:
        for line in open("/proc/cpuinfo"):
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    memory = ""
    try:
        for line in open("/proc/meminfo"):
            if line.startswith("MemTotal"):
                memory = "%.0f GiB RAM" % (int(line.split()[1]) / 1048576)
                break
    except OSError:
        pass
    system = platform.system()
    try:
        for line in open("/etc/os-release"):
            if line.startswith("PRETTY_NAME="):
                system = line.split("=", 1)[1].strip().strip('"')
    except OSError:
        pass
    load = " ".join("%.2f" % value for value in os.getloadavg())
    return "%s, %d cores, %s, %s, kernel %s, load average at start %s" % (
        model, os.cpu_count() or 0, memory, system, platform.release(), load)


def format_table(rows):
    header = ["profile", "messages", "libpff", "tool", "runs", "median wall s", "CPU s",
              "peak RSS MB", "msg/s", "x peer", "CPU x peer", "x floor", "notes"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        def ratio(key):
            value = row.get(key)
            return "%.2f" % value if value is not None else "-"
        notes = []
        if row.get("window_scan") is not None:
            notes.append("scan %.2f s" % row["window_scan"])
        if row.get("window_convert") is not None:
            notes.append("convert %.2f s = %s x peer" % (row["window_convert"], ratio("window_convert_vs_peer")))
        if row.get("one_core_vs_all") is not None:
            notes.append("%.2f x the time on every core" % row["one_core_vs_all"])
        if row.get("status"):
            notes.append("exit status %d" % row["status"])
        lines.append("| " + " | ".join([
            row.get("profile", "mix"), str(row["messages"]), row["libpff"], row["tool"], str(row["runs"]),
            ("> %.0f (stopped)" % row["wall"]) if row.get("timed_out") else "%.2f" % row["wall"],
            "%.2f" % row["cpu"], "%.1f" % (row["rss_kib"] / 1024),
            "%.0f" % row["messages_per_second"], ratio("vs_peer"), ratio("cpu_vs_peer"), ratio("vs_floor"),
            "; ".join(notes)]) + " |")
    return "\n".join(lines)


def order(row):
    tools = ["peer", "floor", "scan", "convert", "convert1", "window"]
    profile = row.get("profile", "mix")
    return (PROFILES.index(profile) if profile in PROFILES else 9, row["messages"],
            {"-": 0, "system": 1, "patched": 2}.get(row["libpff"], 3),
            tools.index(row["tool"]) if row["tool"] in tools else 9)


def combine(paths, note):
    """One table (markdown and JSON) of several result files of this script."""
    runs = [json.load(open(path)) for path in paths]
    # A combined file may itself be combined again: it names its machines as a list.
    for run in runs:
        run.setdefault("machine", ", ".join(run.get("machines", [])))
    rows = sorted((row for run in runs for row in run["rows"]), key=order)
    started = datetime.datetime.now(datetime.timezone.utc)
    stamp = started.strftime("%Y-%m-%d-%H%M") + "-combined"
    with open(os.path.join(RESULTS, stamp + ".json"), "w") as handle:
        json.dump({"date": started.isoformat(), "parts": [os.path.basename(path) for path in paths],
                   "machines": sorted({run["machine"] for run in runs}), "note": note, "rows": rows},
                  handle, indent=1)
    with open(os.path.join(RESULTS, stamp + ".md"), "w") as handle:
        handle.write("# Benchmark runs combined %s\n\n" % started.strftime("%Y-%m-%d %H:%M UTC"))
        for run, path in zip(runs, paths):
            handle.write("- %s: %s, machine: %s\n" % (os.path.basename(path), run["date"], run["machine"]))
        if note:
            handle.write("\nNote: %s\n" % note)
        handle.write("\n" + format_table(rows) + "\n")
    print(format_table(rows))
    print("\nwritten to bench/results/%s.md and .json" % stamp)


def measure_all(profile, size, path, tools, variants, runs, timeout):
    """Every tool on one mailbox; the rows with their ratios."""
    out_dir = os.path.join(WORK, "out")
    messages = size
    plan = [("peer", "-")] if "peer" in tools else []
    plan += [(tool, variant) for variant in variants for tool in tools if tool != "peer"]
    measured = {}
    for tool, variant in plan:
        command, tool_out = commands(tool, variant if variant != "-" else variants[0], path, out_dir)
        if command is None:
            log("skipping %s (%s): not built" % (tool, variant))
            continue
        samples = []
        for index in range(runs):
            log("%s %s %s %d messages, run %d/%d" % (tool, variant, profile, messages, index + 1, runs))
            samples.append(measure(command, tool_out, timeout))
            if samples[-1]["timed_out"]:
                break
        shutil.rmtree(out_dir, ignore_errors=True)
        wall = statistics.median(sample["wall"] for sample in samples)
        row = {
            "profile": profile, "messages": messages, "libpff": variant, "tool": tool, "runs": len(samples),
            "timed_out": any(sample["timed_out"] for sample in samples),
            "wall": wall,
            "walls": [round(sample["wall"], 3) for sample in samples],
            "cpu": statistics.median(sample["cpu"] for sample in samples),
            "rss_kib": max(sample["rss_kib"] for sample in samples),
            "status": max(sample["status"] for sample in samples),
            "messages_per_second": messages / wall if wall > 0 else 0.0,
        }
        for key in ("window_scan", "window_convert"):
            values = [sample[key] for sample in samples if sample[key] is not None]
            if values:
                row[key] = statistics.median(values)
        measured[(tool, variant)] = row
    peer = measured.get(("peer", "-"))
    for (tool, variant), row in measured.items():
        if peer is not None and tool != "peer":
            row["vs_peer"] = row["wall"] / peer["wall"]
            if peer["cpu"] > 0:
                row["cpu_vs_peer"] = row["cpu"] / peer["cpu"]
            if row.get("window_convert"):
                row["window_convert_vs_peer"] = row["window_convert"] / peer["wall"]
        floor = measured.get(("floor", variant))
        if floor is not None and tool in ("scan", "convert", "convert1"):
            row["vs_floor"] = row["wall"] / floor["wall"]
        if tool == "convert1" and ("convert", variant) in measured:
            row["one_core_vs_all"] = row["wall"] / measured[("convert", variant)]["wall"]
    return list(measured.values())


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="1000,10000,100000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--large-runs", type=int, default=1)
    parser.add_argument("--libpff", default="system,patched")
    parser.add_argument("--tools", default="scan,convert,convert1,floor,peer,window")
    parser.add_argument("--profiles", default=",".join(PROFILES))
    parser.add_argument("--window-sizes", default="10000",
                        help="sizes at which the window's Scan and Convert are measured")
    parser.add_argument("--no-build", action="store_true",
                        help="use the existing build-bench-* directories")
    parser.add_argument("--timeout", type=float, default=1800,
                        help="stop a run after this many seconds (marked as timed out)")
    parser.add_argument("--combine", nargs="+", metavar="RESULT.json",
                        help="write one table of earlier runs (e.g. sizes run separately) and stop")
    parser.add_argument("--timeout-note", default="",
                        help="free text added to the results (e.g. what was left out)")
    options = parser.parse_args()
    if options.combine:
        combine(options.combine, options.timeout_note)
        return

    sizes = sorted(int(size) for size in options.sizes.split(",") if size)
    window_sizes = [int(size) for size in options.window_sizes.split(",") if size]
    profiles = [profile for profile in options.profiles.split(",") if profile]
    variants = [variant for variant in options.libpff.split(",") if variant]
    tools = [tool for tool in options.tools.split(",") if tool]

    if not options.no_build:
        run([os.path.join(ROOT, "scripts", "install-deps.sh")])
        for variant in variants:
            build(variant, gui="window" in tools)
    mkpst = binary(variants[0], "mkpst")

    description = machine_description()
    started = datetime.datetime.now(datetime.timezone.utc)
    rows = []
    for profile in profiles:
        for size in sizes if profile != "large" else [101]:
            path = mailbox(profile, size, mkpst)
            runs = options.large_runs if size >= LARGE or profile == "large" else options.runs
            size_tools = [tool for tool in tools if tool != "window" or size in window_sizes or profile == "large"]
            size_rows = measure_all(profile, size, path, size_tools, variants, runs, options.timeout)
            rows += size_rows
            print(format_table(sorted(size_rows, key=order)), flush=True)
    rows.sort(key=order)

    table = format_table(rows)
    stamp = started.strftime("%Y-%m-%d-%H%M")
    os.makedirs(RESULTS, exist_ok=True)
    with open(os.path.join(RESULTS, stamp + ".json"), "w") as handle:
        json.dump({"date": started.isoformat(), "machine": description,
                   "note": options.timeout_note, "rows": rows}, handle, indent=1)
    with open(os.path.join(RESULTS, stamp + ".md"), "w") as handle:
        handle.write("# Benchmark run %s\n\nMachine: %s\n\n" % (started.strftime("%Y-%m-%d %H:%M UTC"), description))
        if options.timeout_note:
            handle.write("Note: %s\n\n" % options.timeout_note)
        handle.write(table + "\n")
    print("\n" + table)
    print("\nwritten to bench/results/%s.md and .json" % stamp)


if __name__ == "__main__":
    main()
