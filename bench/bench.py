#!/usr/bin/env python3
"""Times qvek -s on its benchmark workloads against two references.

    python3 bench/bench.py [--runs N] [--sizes all|full|smoke] [--only NAME] [--cpu C]
                           [--qvek PATH] [--keep DIR] [--json FILE]

For each workload it measures, in the same run and on the same core:
  qvek   qvek -s main.qvs out.ucd, which reads every file once per pass;
  floor  cat of the same files, as many times and in the order qvek reads them;
  as     GNU as on a source of as many lines of simple data directives as the
         workload has lines (qvek reads each of them twice).
The runs of the three are interleaved; the table shows medians of wall time,
the ratios to both references, qvek's throughput over the bytes it read and
its peak resident memory, as /usr/bin/time measures it (package time,
installed when missing). Without --qvek the release preset is configured and
built first. Every run must succeed, qvek's without a warning; nothing fails
on a slow machine: the targets are printed, not enforced.
"""

import argparse
import json
import os
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


def peak_kb(argv, cwd):
    """Peak resident kilobytes of one run, as /usr/bin/time measures it."""
    # A child of this process starts from the interpreter's own memory, and the
    # kernel's figure would include it: /usr/bin/time is small.
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + argv, cwd=cwd, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=True)
    return int(result.stderr.strip().splitlines()[-1])


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


def build_release():
    for step in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release", "-j2", "--target", "qvek"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "release", "qvek")


def ensure_time():
    """The time package, for peak memory: installed when missing and this is root."""
    if os.path.exists("/usr/bin/time"):
        return
    if os.geteuid() != 0 or shutil.which("apt-get") is None:
        raise SystemExit("/usr/bin/time is needed for peak memory: apt-get install time")
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    for step in (["apt-get", "update", "-qq"], ["apt-get", "install", "-y", "-qq", "time"]):
        subprocess.run(step, check=True, stdout=subprocess.DEVNULL, env=env)


def measure(w, qvek, cat, gas, runs, with_peak):
    data = as_source(w.folder, w.lines)
    programs = {
        "qvek": [qvek, "-s", "main.qvs", "out.ucd"],
        "floor": [cat] + w.reads * 2,
        "as": [gas, "-o", "data.o", data],
    }
    wall = {k: [] for k in programs}
    cpu = {k: [] for k in programs}
    for command in programs.values():
        run_once(command, w.folder)  # warms the page cache
    for _ in range(runs):
        for key, command in programs.items():
            seconds, used = run_once(command, w.folder)
            wall[key].append(seconds)
            cpu[key].append(used)
    m = {k: statistics.median(v) for k, v in wall.items()}
    c = {k: statistics.median(v) for k, v in cpu.items()}
    return {
        "workload": w.name, "lines": w.lines, "bytes_read": 2 * w.bytes,
        "qvek_ms": 1000 * m["qvek"], "floor_ms": 1000 * m["floor"], "as_ms": 1000 * m["as"],
        "qvek_cpu_ms": 1000 * c["qvek"], "floor_cpu_ms": 1000 * c["floor"], "as_cpu_ms": 1000 * c["as"],
        "qvek_per_floor": m["qvek"] / m["floor"], "qvek_per_as": m["qvek"] / m["as"],
        "mb_per_s": 2 * w.bytes / m["qvek"] / 1e6,
        "peak_kb": max(peak_kb(programs["qvek"], w.folder) for _ in range(3)) if with_peak else 0,
        "floor_peak_kb": peak_kb(programs["floor"], w.folder) if with_peak else 0,
    }


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--runs", type=int, default=11, help="runs of each program per workload (default 11)")
    parser.add_argument("--sizes", choices=("all", "full", "smoke"), default="all",
                        help="all: three sizes of each generated workload; full: the full size only; "
                        "smoke: tiny ones, one run, to show that the script and the workloads work")
    parser.add_argument("--only", help="only the workloads whose name starts with this")
    parser.add_argument("--cpu", type=int, help="the one core to run on (default: the idlest)")
    parser.add_argument("--qvek", help="the qvek to time (default: build the release preset)")
    parser.add_argument("--keep", help="write the workloads here and keep them")
    parser.add_argument("--json", help="also write the figures to this file")
    args = parser.parse_args(argv)

    qvek = os.path.abspath(args.qvek) if args.qvek else build_release()
    cat = shutil.which("cat")
    gas = shutil.which("as")
    if gas is None:
        raise SystemExit("GNU as (binutils) is needed as a reference")
    smoke = args.sizes == "smoke"
    if smoke:
        args.runs = 1
    else:
        ensure_time()
    with_peak = os.path.exists("/usr/bin/time")
    if args.cpu is None:
        args.cpu = idlest_cpu()
    os.sched_setaffinity(0, {args.cpu})
    scales = {"all": ((0.25, 0.5, 1.0), (0.25, 0.5, 1.0)), "full": ((1.0,), (1.0,)),
              "smoke": ((0.05,), (0.002,))}[args.sizes]

    model = next((line.split(":", 1)[1].strip() for line in open("/proc/cpuinfo") if line.startswith("model name")), "?")
    print("%s, %d cores; load average %.2f; running on core %d\n" % (model, os.cpu_count(), os.getloadavg()[0], args.cpu))
    work = os.path.abspath(args.keep) if args.keep else tempfile.mkdtemp(prefix="qvek-bench-")
    os.makedirs(work, exist_ok=True)
    results = []
    try:
        for w in make_workloads(work, *scales):
            if args.only and not w.name.startswith(args.only):
                continue
            results.append(measure(w, qvek, cat, gas, args.runs, with_peak))
            print_row(results[-1], header=len(results) == 1)
    finally:
        if not args.keep:
            shutil.rmtree(work, ignore_errors=True)
    if args.json:
        with open(args.json, "w") as f:
            json.dump(results, f, indent=1)
    print("\nWall-time medians of %d runs; CPU: user + system time, medians too."
          "\nTargets: tables within 3x the floor, long faster than as, qvek's peak under 4096 KB." % args.runs)
    return 0


def print_row(r, header):
    if header:
        print("%-12s %8s %8s | %8s %8s %8s | %6s %6s | %7s %7s %7s | %7s %8s" % (
            "workload", "lines", "MB read", "qvek ms", "floor ms", "as ms", "/floor", "/as",
            "qvek", "floor", "as", "MB/s", "peak KB"))
        print("%-12s %8s %8s | %26s | %13s | %23s |" % ("", "", "", "wall time", "qvek's ratio", "CPU ms"))
    print("%-12s %8d %8.2f | %8.2f %8.2f %8.2f | %6.2f %6.2f | %7.2f %7.2f %7.2f | %7.1f %8d" % (
        r["workload"], r["lines"], r["bytes_read"] / 1e6, r["qvek_ms"], r["floor_ms"], r["as_ms"],
        r["qvek_per_floor"], r["qvek_per_as"], r["qvek_cpu_ms"], r["floor_cpu_ms"], r["as_cpu_ms"],
        r["mb_per_s"], r["peak_kb"]), flush=True)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
