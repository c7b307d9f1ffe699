#!/usr/bin/env python3
"""Benchmarks of Tolvane against the libpff floor and the reference peer.

Builds the project twice (Debian's libpff and the project's patched libpff),
generates synthetic mailboxes with mkpst (the project's PST writer, fixed
seeds, kept in bench/work/ and reused), and measures on the same file in
the same run:

  scan     tolvane-cli scan FILE
  convert  tolvane-cli convert FILE DIR
  floor    pff-floor FILE (opens the file and visits every folder and item)
  peer     readpst -j 0 -D -e -o DIR FILE (run as an independent peer)
  window   the desktop window's scan under Xvfb (20 000 messages only)

For each: median wall time of several runs, CPU time, peak resident memory
(/usr/bin/time -v), messages per second and the ratios against the peer and
the floor. The table is printed and written to bench/results/ with the date
and the machine's description.

Usage: bench/run-bench.py [--sizes 1000,10000,100000] [--runs 3]
                          [--large-runs 1] [--libpff system,patched]
                          [--tools scan,convert,floor,peer,window] [--no-build]
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
WINDOW_SIZE = 20000  # the window's scan is compared with the CLI scan at this size
SEED_BASE = 4242


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


def mailbox(size, mkpst):
    """The benchmark mailbox of a size, generated once with a fixed seed: a
    realistic mix with one big folder of a few thousand mails, about one mail
    in five with attachments, some embedded messages, contacts, appointments."""
    os.makedirs(WORK, exist_ok=True)
    path = os.path.join(WORK, "bench-%d.pst" % size)
    if not os.path.exists(path):
        partial = path + ".part"
        big_folder = min(5000, size // 4)
        run([mkpst, "--messages", str(size - big_folder), "--big-folder", str(big_folder),
             "--folders", "12", "--depth", "3",
             "--attachment-ratio", "0.2", "--attachment-size", "16384", "--embedded-ratio", "0.02",
             "--contacts", str(max(10, size // 100)), "--appointments", str(max(10, size // 100)),
             "--seed", str(SEED_BASE + size), partial])
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
    return {"wall": elapsed, "cpu": cpu, "rss_kib": rss, "timed_out": timed_out,
            "status": process.returncode if not timed_out else -9,
            "window_scan": float(window.group(1)) if window else None}


def window_command(variant, path):
    """The window's scan under Xvfb, driven by the application's bench hook."""
    application = binary(variant, "tolvane")
    if not os.path.exists(application):
        return None
    return ["xvfb-run", "-a", "-s", "-screen 0 1600x1000x24", "env",
            "QTWEBENGINE_DISABLE_SANDBOX=1", application, "--benchmark-scan", path]


def commands(tool, variant, path, out_dir):
    if tool == "scan":
        return [binary(variant, "tolvane-cli"), "scan", path], None
    if tool == "convert":
        return [binary(variant, "tolvane-cli"), "convert", path, out_dir], out_dir
    if tool == "floor":
        return [binary(variant, "pff-floor"), path], None
    if tool == "peer":
        return ["readpst", "-j", "0", "-D", "-e", "-o", out_dir, path], out_dir
    if tool == "window":
        return window_command(variant, path), None
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
    header = ["messages", "libpff", "tool", "runs", "median wall s", "CPU s",
              "peak RSS MB", "msg/s", "x peer", "x floor"]
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    for row in rows:
        def ratio(key):
            value = row.get(key)
            return "%.2f" % value if value is not None else "-"
        lines.append("| " + " | ".join([
            str(row["messages"]), row["libpff"], row["tool"], str(row["runs"]),
            ("> %.0f (stopped)" % row["wall"]) if row.get("timed_out") else "%.2f" % row["wall"],
            "%.2f" % row["cpu"], "%.1f" % (row["rss_kib"] / 1024),
            "%.0f" % row["messages_per_second"], ratio("vs_peer"), ratio("vs_floor")]) + " |")
    return "\n".join(lines)


def order(row):
    tools = ["peer", "floor", "scan", "convert", "window"]
    return (row["messages"], {"-": 0, "system": 1, "patched": 2}.get(row["libpff"], 3),
            tools.index(row["tool"]) if row["tool"] in tools else 9)


def combine(paths, note):
    """One table (markdown and JSON) of several result files of this script."""
    runs = [json.load(open(path)) for path in paths]
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


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--sizes", default="1000,10000,100000")
    parser.add_argument("--runs", type=int, default=3)
    parser.add_argument("--large-runs", type=int, default=1)
    parser.add_argument("--libpff", default="system,patched")
    parser.add_argument("--tools", default="scan,convert,floor,peer,window")
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

    sizes = [int(size) for size in options.sizes.split(",") if size]
    variants = [variant for variant in options.libpff.split(",") if variant]
    tools = [tool for tool in options.tools.split(",") if tool]
    if "window" in tools and WINDOW_SIZE not in sizes:
        sizes.append(WINDOW_SIZE)
    sizes.sort()

    if not options.no_build:
        run([os.path.join(ROOT, "scripts", "install-deps.sh")])
        for variant in variants:
            build(variant, gui="window" in tools)
    mkpst = binary(variants[0], "mkpst")

    description = machine_description()
    started = datetime.datetime.now(datetime.timezone.utc)
    rows = []
    out_dir = os.path.join(WORK, "out")
    for size in sizes:
        path = mailbox(size, mkpst)
        runs = options.large_runs if size >= LARGE else options.runs
        size_tools = [tool for tool in tools if tool != "window" or size == WINDOW_SIZE]
        if size == WINDOW_SIZE and size not in [int(s) for s in options.sizes.split(",") if s]:
            size_tools = [tool for tool in size_tools if tool in ("scan", "window")]
        plan = []
        if "peer" in size_tools:
            plan.append(("peer", "-"))
        for variant in variants:
            for tool in size_tools:
                if tool != "peer":
                    plan.append((tool, variant))
        measured = {}
        for tool, variant in plan:
            command, tool_out = commands(tool, variant if variant != "-" else variants[0], path, out_dir)
            if command is None:
                log("skipping %s (%s): not built" % (tool, variant))
                continue
            samples = []
            for index in range(runs):
                log("%s %s %d messages, run %d/%d" % (tool, variant, size, index + 1, runs))
                samples.append(measure(command, tool_out, options.timeout))
                if samples[-1]["timed_out"]:
                    break
            shutil.rmtree(out_dir, ignore_errors=True)
            wall = statistics.median(sample["wall"] for sample in samples)
            row = {
                "messages": size, "libpff": variant, "tool": tool, "runs": len(samples),
                "timed_out": any(sample["timed_out"] for sample in samples),
                "wall": wall,
                "walls": [round(sample["wall"], 3) for sample in samples],
                "cpu": statistics.median(sample["cpu"] for sample in samples),
                "rss_kib": max(sample["rss_kib"] for sample in samples),
                "status": max(sample["status"] for sample in samples),
                "messages_per_second": size / wall if wall > 0 else 0.0,
            }
            if tool == "window" and samples[0]["window_scan"] is not None:
                # the scan as timed inside the window, without starting the application
                row["window_scan"] = statistics.median(
                    sample["window_scan"] for sample in samples if sample["window_scan"] is not None)
            measured[(tool, variant)] = row
            rows.append(row)
        peer = measured.get(("peer", "-"))
        for (tool, variant), row in measured.items():
            if peer is not None and tool != "peer":
                row["vs_peer"] = row["wall"] / peer["wall"]
            floor = measured.get(("floor", variant))
            if floor is not None and tool in ("scan", "convert"):
                row["vs_floor"] = row["wall"] / floor["wall"]
            if tool == "window" and ("scan", variant) in measured:
                row["vs_cli_scan"] = row["wall"] / measured[("scan", variant)]["wall"]
                if row.get("window_scan"):
                    row["scan_only_vs_cli_scan"] = row["window_scan"] / measured[("scan", variant)]["wall"]
        print(format_table([row for row in rows if row["messages"] == size]), flush=True)

    table = format_table(rows)
    stamp = started.strftime("%Y-%m-%d-%H%M")
    os.makedirs(RESULTS, exist_ok=True)
    with open(os.path.join(RESULTS, stamp + ".json"), "w") as handle:
        json.dump({"date": started.isoformat(), "machine": description,
                   "note": options.timeout_note, "rows": rows}, handle, indent=1)
    window_lines = ["- window scan / CLI scan (%s libpff, %d messages): %.2f with the application's "
                    "start-up, %s for the scan alone (%s s inside the window)" % (
                        row["libpff"], row["messages"], row["vs_cli_scan"],
                        "%.2f" % row["scan_only_vs_cli_scan"] if "scan_only_vs_cli_scan" in row else "-",
                        "%.2f" % row["window_scan"] if row.get("window_scan") else "-")
                    for row in rows if "vs_cli_scan" in row]
    with open(os.path.join(RESULTS, stamp + ".md"), "w") as handle:
        handle.write("# Benchmark run %s\n\nMachine: %s\n\n" % (started.strftime("%Y-%m-%d %H:%M UTC"), description))
        if options.timeout_note:
            handle.write("Note: %s\n\n" % options.timeout_note)
        handle.write(table + "\n")
        if window_lines:
            handle.write("\n" + "\n".join(window_lines) + "\n")
    print("\n" + table)
    for line in window_lines:
        print(line)
    print("\nwritten to bench/results/%s.md and .json" % stamp)


if __name__ == "__main__":
    main()
