#!/usr/bin/env python3
"""Measures qvek-lsp as an editor meets it: diagnostics latency and memory.

    python3 bench/lsp_bench.py [--server PATH] [--changes N] [--edits N] [--json FILE]

latency  the tables workload of generate.py (6,000 lines in 16 files) open in
         the server; each change adds or removes a line at the top of the main
         source that draws a warning, after a pause longer than the server's
         debounce, and the time from writing the change to reading the
         diagnostics it causes is taken, with the server's CPU time over all
         changes (from /proc) beside the wall times.
memory   the bundled example open; --edits changes of the same kind, each
         followed by a hover that makes the server assemble at once; the
         server's resident memory is read after every tenth of them.
Without --server the release preset is configured and built first. The
targets (median within 20 ms; memory flat) are printed, not enforced.
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
sys.dont_write_bytecode = True
import generate  # noqa: E402

PAUSE = 0.1  # seconds between changes: longer than the server's debounce of 75 ms
WARNING_LINE = "FOO * draws the warning of an unknown statement word\n"


class Client:
    def __init__(self, server, root):
        self.process = subprocess.Popen([server, "--root", root], stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.next_id = 0

    def send(self, message):
        body = json.dumps(dict(message, jsonrpc="2.0")).encode()
        self.process.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)
        self.process.stdin.flush()

    def receive(self):
        length = 0
        while True:
            line = self.process.stdout.readline()
            if not line:
                raise SystemExit("qvek-lsp ended")
            if line == b"\r\n":
                break
            if line.lower().startswith(b"content-length:"):
                length = int(line.split(b":")[1])
        return json.loads(self.process.stdout.read(length))

    def request(self, method, params):
        self.next_id += 1
        self.send({"id": self.next_id, "method": method, "params": params})
        while True:
            message = self.receive()
            if message.get("id") == self.next_id:
                return message

    def wait_for_diagnostics(self, uri):
        while True:
            message = self.receive()
            if message.get("method") == "textDocument/publishDiagnostics" and message["params"]["uri"] == uri:
                return message

    def cpu_seconds(self):
        with open("/proc/%d/stat" % self.process.pid) as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")

    def resident_kb(self):
        with open("/proc/%d/status" % self.process.pid) as f:
            for line in f:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
        return 0

    def close(self):
        self.request("shutdown", None)
        self.send({"method": "exit"})
        self.process.wait(10)


def open_main(folder, server):
    client = Client(server, folder)
    client.request("initialize", {"processId": os.getpid(), "rootUri": None, "capabilities": {}})
    client.send({"method": "initialized", "params": {}})
    uri = "file://" + os.path.join(folder, "main.qvs")
    with open(os.path.join(folder, "main.qvs")) as f:
        text = f.read()
    client.send({"method": "textDocument/didOpen",
                 "params": {"textDocument": {"uri": uri, "languageId": "qvek", "version": 1, "text": text}}})
    return client, uri


def toggle(client, uri, version):
    """Adds the warning line at the top of the main source, or takes it away again."""
    start = {"line": 0, "character": 0}
    change = ({"range": {"start": start, "end": start}, "text": WARNING_LINE} if version % 2 == 0 else
              {"range": {"start": start, "end": {"line": 1, "character": 0}}, "text": ""})
    client.send({"method": "textDocument/didChange",
                 "params": {"textDocument": {"uri": uri, "version": version}, "contentChanges": [change]}})


def latency(server, folder, changes):
    client, uri = open_main(folder, server)
    # A clean source publishes nothing: a request shows the first assembly is done.
    client.request("textDocument/hover", {"textDocument": {"uri": uri}, "position": {"line": 0, "character": 0}})
    walls = []
    cpu_before = client.cpu_seconds()
    for version in range(2, changes + 2):
        time.sleep(PAUSE)
        start = time.perf_counter()
        toggle(client, uri, version)
        client.wait_for_diagnostics(uri)
        walls.append(time.perf_counter() - start)
    cpu = client.cpu_seconds() - cpu_before
    client.close()
    return walls, cpu


def memory(server, folder, edits):
    client, uri = open_main(folder, server)
    samples = []
    hover = {"textDocument": {"uri": uri}, "position": {"line": 1, "character": 0}}
    for version in range(2, edits + 2):
        toggle(client, uri, version)
        client.request("textDocument/hover", hover)  # answered after the assembly of the change
        if (version - 1) % max(1, edits // 10) == 0:
            samples.append((version - 1, client.resident_kb()))
    client.close()
    return samples


def build_release():
    for step in (["cmake", "--preset", "release"], ["cmake", "--build", "--preset", "release", "-j2", "--target", "qvek-lsp"]):
        subprocess.run(step, cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "release", "qvek-lsp")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--server")
    parser.add_argument("--changes", type=int, default=100)
    parser.add_argument("--edits", type=int, default=10000)
    parser.add_argument("--json")
    args = parser.parse_args(argv)
    server = os.path.abspath(args.server) if args.server else build_release()
    work = tempfile.mkdtemp(prefix="qvek-lsp-bench-")
    try:
        tables = os.path.join(work, "tables")
        os.makedirs(tables)
        info = generate.write_tables(tables, 1.0, 1)
        walls, cpu = latency(server, tables, args.changes)
        example = os.path.join(work, "example")
        shutil.copytree(os.path.join(ROOT, "examples"), example)
        samples = memory(server, example, args.edits)
    finally:
        shutil.rmtree(work)
    ms = sorted(w * 1000 for w in walls)
    result = {
        "tables_lines": info["lines"], "tables_files": len(set(info["reads"])), "changes": len(ms),
        "latency_median_ms": statistics.median(ms), "latency_p90_ms": ms[int(0.9 * (len(ms) - 1))],
        "latency_max_ms": ms[-1], "server_cpu_ms_per_change": 1000 * cpu / len(ms),
        "edits": args.edits, "resident_kb": samples,
    }
    print("tables workload: %d lines in %d files, %d changes" % (result["tables_lines"], result["tables_files"], len(ms)))
    print("diagnostics after a change: median %.1f ms, 90%% %.1f ms, max %.1f ms (wall); server CPU %.1f ms a change"
          % (result["latency_median_ms"], result["latency_p90_ms"], result["latency_max_ms"],
             result["server_cpu_ms_per_change"]))
    print("target: median within 20 ms: %s" % ("met" if result["latency_median_ms"] <= 20 else "MISSED"))
    print("resident memory over %d edits of the example (edits: kB): %s"
          % (args.edits, ", ".join("%d: %d" % s for s in samples)))
    if args.json:
        with open(args.json, "w") as f:
            json.dump(result, f, indent=1)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
