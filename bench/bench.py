#!/usr/bin/env python3
"""Times qvek -s on its benchmark workloads against three references.

    python3 bench/bench.py [--runs N] [--sizes all|full|smoke] [--only NAME] [--cpu C]
                           [--qvek PATH] [--other PATH] [--no-callgrind] [--keep DIR] [--json FILE]

For each workload it measures, in the same run and on the same core:
  qvek   qvek -s main.qvs out.ucd, which reads every file once per pass;
  floor  bench/floor.c, built here: the same files, as many times and in the
         order qvek reads them, each read through a 64 KB buffer with fread
         and its line feeds counted with memchr, the least any reader does;
  as     GNU as on a source of as many lines of simple data directives as the
         workload has lines (qvek reads each of them twice);
  other  with --other, a second qvek (an earlier build, say) on the same files.
The programs take turns run by run. The table shows medians of CPU time
(user + system, which other work on the machine disturbs far less than wall
time) and of wall time, qvek's CPU time against the floor and against as,
its CPU time per line read and its peak resident memory, as /usr/bin/time
measures it (package time, installed when missing).

On each long workload, qvekfmt too: its main source with every INC replaced
by the body it includes, a million lines in one file at full size, formatted
to /dev/null, against qvek -s on the workload (which reads those lines twice).

Then the start: qvek on a three-line source against /bin/true, many runs
each; and, where valgrind is installed, the instructions qvek executes per
line read, as callgrind counts them, which do not depend on the machine's
load. Without --qvek the profiled preset, whose qvek the package ships, is
configured and built first.
Every run must succeed, qvek's without a warning; nothing fails on a slow
machine: the targets are printed, met or missed, not enforced.
"""

import argparse
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, HERE)
sys.dont_write_bytecode = True  # no __pycache__ beside the sources
import generate  # noqa: E402

DEVNULL = os.open(os.devnull, os.O_RDWR)

# The targets, as ratios of CPU time; peak memory in kilobytes.
LONG_PER_AS = 0.5
LONG_PER_FLOOR = 3.0
TABLES_PER_FLOOR = 2.5
START_PER_TRUE = 1.3
FORMAT_PER_QVEK = 2.0
PEAK_KB = 4096

START_SOURCE = "* Three lines: what starting and stopping cost.\n        LMR 1\n        RET\n"


def run_once(argv, cwd):
    """Wall and CPU seconds of one run; fails on a non-zero exit."""
    old = os.getcwd()
    os.chdir(cwd)
    try:
        actions = [(os.POSIX_SPAWN_DUP2, DEVNULL, 1), (os.POSIX_SPAWN_DUP2, DEVNULL, 2)]
        start = time.perf_counter()
        pid = os.posix_spawn(argv[0], argv, os.environ, file_actions=actions)
        _, status, usage = os.wait4(pid, 0)
        wall = time.perf_counter() - start
    finally:
        os.chdir(old)
    if status != 0:
        raise SystemExit("%s failed in %s (status %d)" % (" ".join(argv), cwd, status))
    return wall, usage.ru_utime + usage.ru_stime


def take_turns(programs, cwd, runs):
    """Median wall and CPU seconds of each program, run by turns after one warm-up run each."""
    for command in programs.values():
        run_once(command, cwd)  # warms the page cache
    wall = {k: [] for k in programs}
    cpu = {k: [] for k in programs}
    for _ in range(runs):
        for key, command in programs.items():
            seconds, used = run_once(command, cwd)
            wall[key].append(seconds)
            cpu[key].append(used)
    return ({k: statistics.median(v) for k, v in wall.items()}, {k: statistics.median(v) for k, v in cpu.items()})


def peak_kb(argv, cwd):
    """Peak resident kilobytes of one run, as /usr/bin/time measures it."""
    # A child of this process starts from the interpreter's own memory, and the
    # kernel's figure would include it: /usr/bin/time is small.
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


def instructions(valgrind, argv, cwd):
    """The instructions one run executes, as callgrind counts them."""
    result = subprocess.run([valgrind, "--tool=callgrind", "--callgrind-out-file=/dev/null"] + argv, cwd=cwd,
                            stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True, check=True)
    found = re.search(r"Collected : (\d+)", result.stderr)
    if found is None:
        raise SystemExit("no instruction count from callgrind:\n" + result.stderr)
    return int(found.group(1))


class Workload:
    def __init__(self, name, folder, reads, lines):
        self.name = name
        self.folder = folder
        self.reads = reads  # files in the order of one pass
        self.lines = lines  # source lines of one pass
        self.bytes = sum(os.path.getsize(os.path.join(folder, f)) for f in reads)


def make_workloads(work, table_scales, long_scales):
    workloads = []
    for scale in table_scales:
        folder = os.path.join(work, "tables-%g" % scale)
        os.makedirs(folder)
        info = generate.write_tables(folder, scale, 1)
        workloads.append(Workload("tables x%g" % scale, folder, info["reads"], info["lines"]))
    for scale in long_scales:
        folder = os.path.join(work, "long-%g" % scale)
        os.makedirs(folder)
        info = generate.write_long(folder, scale, 1)
        workloads.append(Workload("long x%g" % scale, folder, info["reads"], info["lines"]))
    folder = os.path.join(work, "example")
    shutil.copytree(os.path.join(ROOT, "examples"), folder)
    reads = ["main.qvs", "COMMON.INC", "PATTERNS.INC", "ROUTINES.INC"]
    lines = sum(sum(1 for _ in open(os.path.join(folder, f), "rb")) for f in reads)
    workloads.append(Workload("example", folder, reads, lines))
    return workloads


def as_source(folder, lines):
    path = os.path.join(folder, "data.s")
    with open(path, "w") as f:
        f.write("\t.data\n" + "\t.long 0x1234abcd\n" * (lines - 1))
    return path


def idlest_cpu():
    """The core that other work kept least busy over a moment: the runs go there."""
    def busy():
        # user, nice, system, irq, softirq, steal: everything but idle and iowait.
        with open("/proc/stat") as f:
            rows = [line.split() for line in f if line.startswith("cpu") and line[3].isdigit()]
        return {int(w[0][3:]): sum(int(w[i]) for i in (1, 2, 3, 6, 7, 8)) for w in rows}
    allowed = os.sched_getaffinity(0)
    before = busy()
    time.sleep(0.5)
    after = busy()
    return min((c for c in after if c in allowed), key=lambda c: after[c] - before.get(c, 0))


def build_profiled():
    for step in (["cmake", "--preset", "profiled"], ["cmake", "--build", "--preset", "profiled", "-j2", "--target", "qvek"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "profiled", "qvek")


def build_floor(work):
    """bench/floor.c, linked statically as qvek is where the C library allows it; returns (path, how)."""
    compiler = shutil.which("cc") or shutil.which("gcc") or shutil.which("clang")
    if compiler is None:
        raise SystemExit("a C compiler (cc) is needed to build the floor")
    path = os.path.join(work, "floor")
    for flags, how in ((["-static"], "static"), ([], "dynamic")):
        if subprocess.run([compiler, "-O2"] + flags + ["-o", path, os.path.join(HERE, "floor.c")],
                          stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode == 0:
            return path, how
    raise SystemExit("bench/floor.c did not build with %s" % compiler)


def ensure_time():
    """The time package, for peak memory: installed when missing and this is root."""
    if os.path.exists("/usr/bin/time"):
        return
    if os.geteuid() != 0 or shutil.which("apt-get") is None:
        raise SystemExit("/usr/bin/time is needed for peak memory: apt-get install time")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for step in (["apt-get", "update", "-qq"], ["apt-get", "install", "-y", "-qq", "time"]):
        subprocess.run(step, check=True, stdout=subprocess.DEVNULL, env=env)


def measure(w, tools, runs, with_peak):
    data = as_source(w.folder, w.lines)
    programs = {
        "qvek": [tools["qvek"], "-s", "main.qvs", "out.ucd"],
        "floor": [tools["floor"]] + w.reads * 2,
        "as": [tools["as"], "-o", "data.o", data],
    }
    if tools["other"]:
        programs["other"] = [tools["other"], "-s", "main.qvs", "other.ucd"]
    m, c = take_turns(programs, w.folder, runs)
    read = 2 * w.lines
    r = {
        "workload": w.name, "lines": w.lines, "lines_read": read, "bytes_read": 2 * w.bytes,
        "qvek_ms": 1000 * m["qvek"], "floor_ms": 1000 * m["floor"], "as_ms": 1000 * m["as"],
        "qvek_cpu_ms": 1000 * c["qvek"], "floor_cpu_ms": 1000 * c["floor"], "as_cpu_ms": 1000 * c["as"],
        "qvek_per_floor": c["qvek"] / c["floor"], "qvek_per_as": c["qvek"] / c["as"],
        "ns_per_line": 1e9 * c["qvek"] / read,
        "peak_kb": max(peak_kb(programs["qvek"], w.folder) for _ in range(3)) if with_peak else 0,
        "floor_peak_kb": peak_kb(programs["floor"], w.folder) if with_peak else 0,
    }
    if tools["other"]:
        r.update(other_ms=1000 * m["other"], other_cpu_ms=1000 * c["other"], qvek_per_other=c["qvek"] / c["other"])
    if tools["valgrind"]:
        r["instructions_per_line"] = instructions(tools["valgrind"], programs["qvek"], w.folder) / read
        if tools["other"]:
            r["other_instructions_per_line"] = instructions(tools["valgrind"], programs["other"], w.folder) / read
    return r


def measure_format(w, tools, runs):
    """qvekfmt on the long workload's lines in one file, against qvek -s on the workload."""
    flat = os.path.join(w.folder, "FLAT.QVS")
    with open(flat, "wb") as out:
        for line in open(os.path.join(w.folder, "main.qvs"), "rb"):
            if line.split()[:1] == [b"INC"]:
                out.write(open(os.path.join(w.folder, line.split()[1].decode()), "rb").read())
            else:
                out.write(line)
    programs = {"qvek": [tools["qvek"], "-s", "main.qvs", "out.ucd"], "qvekfmt": [tools["qvekfmt"], flat]}
    m, c = take_turns(programs, w.folder, runs)
    return {"workload": w.name, "qvekfmt_ms": 1000 * m["qvekfmt"], "qvekfmt_cpu_ms": 1000 * c["qvekfmt"],
            "qvek_cpu_ms": 1000 * c["qvek"], "qvekfmt_per_qvek": c["qvekfmt"] / c["qvek"]}


def measure_start(work, tools, runs):
    """qvek on a three-line source against /bin/true."""
    folder = os.path.join(work, "start")
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, "main.qvs"), "w") as f:
        f.write(START_SOURCE)
    programs = {"qvek": [tools["qvek"], "-s", "main.qvs", "out.ucd"], "true": ["/bin/true"]}
    if tools["other"]:
        programs["other"] = [tools["other"], "-s", "main.qvs", "other.ucd"]
    m, c = take_turns(programs, folder, runs)
    r = {"runs": runs, "qvek_ms": 1000 * m["qvek"], "true_ms": 1000 * m["true"], "qvek_cpu_ms": 1000 * c["qvek"],
         "true_cpu_ms": 1000 * c["true"], "qvek_per_true": c["qvek"] / c["true"]}
    if tools["other"]:
        r.update(other_ms=1000 * m["other"], other_cpu_ms=1000 * c["other"], other_per_true=c["other"] / c["true"])
    return r


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=11, help="runs of each program per workload (default 11)")
    parser.add_argument("--sizes", choices=("all", "full", "smoke"), default="all",
                        help="all: three sizes of each generated workload; full: the full size only; "
                        "smoke: tiny ones, one run, no callgrind, to show that the script and the workloads work")
    parser.add_argument("--only", help="only the workloads whose name starts with this (and no start timing)")
    parser.add_argument("--cpu", type=int, help="the one core to run on (default: the idlest)")
    parser.add_argument("--qvek", help="the qvek to time (default: build the profiled preset)")
    parser.add_argument("--qvekfmt", help="the qvekfmt to time (default: the one beside the qvek timed)")
    parser.add_argument("--other", help="a second qvek to time beside the first, an earlier build for instance")
    parser.add_argument("--no-callgrind", action="store_true", help="leave out the instruction counts")
    parser.add_argument("--keep", help="write the workloads here and keep them")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args(argv)

    smoke = args.sizes == "smoke"
    if smoke:
        args.runs = 1
    else:
        ensure_time()
    tools = {
        "qvek": os.path.abspath(args.qvek) if args.qvek else build_profiled(),
        "other": os.path.abspath(args.other) if args.other else None,
        "as": shutil.which("as"),
        # A sanitizer build, as the test suite's smoke run may time, does not run under valgrind.
        "valgrind": None if smoke or args.no_callgrind else shutil.which("valgrind"),
    }
    if tools["as"] is None:
        raise SystemExit("GNU as (binutils) is needed as a reference")
    tools["qvekfmt"] = os.path.abspath(args.qvekfmt or os.path.join(os.path.dirname(tools["qvek"]), "qvekfmt"))
    if not os.path.exists(tools["qvekfmt"]):
        tools["qvekfmt"] = None
    with_peak = os.path.exists("/usr/bin/time")
    if args.cpu is None:
        args.cpu = idlest_cpu()
    os.sched_setaffinity(0, {args.cpu})
    scales = {"all": ((0.25, 0.5, 1.0), (0.25, 0.5, 1.0)), "full": ((1.0,), (1.0,)),
              "smoke": ((0.05,), (0.002,))}[args.sizes]

    work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="qvek-bench-")
    os.makedirs(work, exist_ok=True)
    results = {"workloads": [], "start": None, "format": []}
    try:
        tools["floor"], linked = build_floor(work)
        model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")),
                     "?")
        print("%s, %d cores; load average %.2f; running on core %d; floor linked %s\n" % (
            model, os.cpu_count(), os.getloadavg()[0], args.cpu, linked))
        for w in make_workloads(work, *scales):
            if args.only and not w.name.startswith(args.only):
                continue
            results["workloads"].append(measure(w, tools, args.runs, with_peak))
            print_row(results["workloads"][-1], header=len(results["workloads"]) == 1)
            if tools["qvekfmt"] and w.name.startswith("long"):
                f = measure_format(w, tools, args.runs)
                results["format"].append(f)
                print("%-12s qvekfmt on the same lines in one file: %.2f ms CPU (%.2f wall), %.2f times qvek -s"
                      % ("", f["qvekfmt_cpu_ms"], f["qvekfmt_ms"], f["qvekfmt_per_qvek"]), flush=True)
        if not args.only:
            results["start"] = measure_start(work, tools, 1 if smoke else max(51, 5 * args.runs))
            print_start(results["start"])
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    results["load_average"] = os.getloadavg()[0]
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
    print("\nMedians of %d runs (the start: of %d). CPU: user + system time; ratios are of CPU time."
          % (args.runs, results["start"]["runs"] if results["start"] else 0))
    print_targets(results)
    return 0


def print_row(r, header):
    if header:
        print("%-12s %9s %7s | %7s %7s %7s | %7s %7s %7s | %6s %6s | %6s %8s %8s" % (
            "workload", "lines", "MB read", "qvek", "floor", "as", "qvek", "floor", "as", "/floor", "/as",
            "ns/ln", "instr/ln", "peak KB"))
        print("%-12s %9s %7s | %23s | %23s | %13s |" % ("", "", "", "CPU ms", "wall ms", "qvek's CPU"))
    print("%-12s %9d %7.2f | %7.2f %7.2f %7.2f | %7.2f %7.2f %7.2f | %6.2f %6.2f | %6.1f %8s %8d" % (
        r["workload"], r["lines"], r["bytes_read"] / 1e6, r["qvek_cpu_ms"], r["floor_cpu_ms"], r["as_cpu_ms"],
        r["qvek_ms"], r["floor_ms"], r["as_ms"], r["qvek_per_floor"], r["qvek_per_as"], r["ns_per_line"],
        count(r.get("instructions_per_line")), r["peak_kb"]), flush=True)
    if "other_cpu_ms" in r:
        print("%-12s %9s %7s | %7.2f %15s | %7.2f %15s | %6s %6s | %6.1f %8s   (other: %.2f times qvek's CPU)" % (
            "  other", "", "", r["other_cpu_ms"], "", r["other_ms"], "", "", "", 1e9 * r["other_cpu_ms"] / 1000 /
            r["lines_read"], count(r.get("other_instructions_per_line")), 1 / r["qvek_per_other"]), flush=True)


def count(value):
    return "-" if value is None else "%.1f" % value


def print_start(s):
    print("\nStart, a three-line source: qvek %.3f ms CPU (%.3f wall), /bin/true %.3f ms CPU (%.3f wall): %.2f times"
          % (s["qvek_cpu_ms"], s["qvek_ms"], s["true_cpu_ms"], s["true_ms"], s["qvek_per_true"]))
    if "other_cpu_ms" in s:
        print("       other: %.3f ms CPU (%.3f wall): %.2f times /bin/true"
              % (s["other_cpu_ms"], s["other_ms"], s["other_per_true"]))


def print_targets(results):
    checks = []
    for r in results["workloads"]:
        if r["workload"].startswith("long"):
            checks.append(("%s: at most %.1fx as" % (r["workload"], LONG_PER_AS), r["qvek_per_as"], LONG_PER_AS))
            checks.append(("%s: at most %.1fx the floor" % (r["workload"], LONG_PER_FLOOR), r["qvek_per_floor"],
                           LONG_PER_FLOOR))
        elif r["workload"].startswith("tables"):
            checks.append(("%s: at most %.1fx the floor" % (r["workload"], TABLES_PER_FLOOR), r["qvek_per_floor"],
                           TABLES_PER_FLOOR))
        if r["peak_kb"]:
            checks.append(("%s: peak under %d KB" % (r["workload"], PEAK_KB), r["peak_kb"], PEAK_KB - 1))
    for f in results.get("format", []):
        checks.append(("%s: qvekfmt at most %.1fx qvek -s" % (f["workload"], FORMAT_PER_QVEK), f["qvekfmt_per_qvek"],
                       FORMAT_PER_QVEK))
    if results["start"]:
        checks.append(("start: at most %.1fx /bin/true" % START_PER_TRUE, results["start"]["qvek_per_true"],
                       START_PER_TRUE))
    print("Targets:")
    for what, value, limit in checks:
        print("  %-42s %8.2f  %s" % (what, value, "met" if value <= limit else "MISSED"))


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
