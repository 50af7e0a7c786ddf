#!/usr/bin/python3
"""Database download benchmark: a file on a local FTP server (pyftpdlib, loopback), fetched by
cFTP (bench/ftp/ftp_bench: 1 KiB blocks, a yield and an event per block) and by the curl command
from the same server in the same run, turn about. Prints wall time, throughput, cFTP's speed as a
fraction of curl's (goal: at least 0.8) and peak memory.

Usage: /usr/bin/python3 bench/ftp_download.py [--bench BUILD/bin/ftp_bench] [--size-mb 20]
                                               [--runs 15]
Build the bench program without sanitizers for meaningful numbers, e.g.
  cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release && ninja -C build-bench ftp_bench
"""

import argparse
import hashlib
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "..", "tests", "ftp", "ftp_server.py")


def start_server(root):
    server = subprocess.Popen(
        ["/usr/bin/python3", SERVER, "--root", root, "--user", "bench:secret:elr"],
        stdout=subprocess.PIPE, text=True)
    line = server.stdout.readline()
    if not line.startswith("PORT "):
        server.kill()
        sys.exit("the FTP server did not start")
    return server, int(line.split()[1])


def run(argv, work):
    """Wall time, CPU time (user + system) and peak resident set (KiB) of one client process.
    The peak comes from /usr/bin/time, a small parent, so that this script's own memory does
    not count."""
    report = os.path.join(work, "rss")
    start = time.perf_counter()
    child = subprocess.run(["/usr/bin/time", "-f", "%M %U %S", "-o", report] + argv,
                           capture_output=True, text=True)
    wall = time.perf_counter() - start
    if child.returncode != 0:
        sys.exit("%s failed: %s%s" % (argv[0], child.stdout, child.stderr))
    with open(report) as f:
        rss, user, system = f.read().split()[-3:]
    return wall, float(user) + float(system), int(rss), child.stdout


def digest(path):
    h = hashlib.sha256()
    with open(path, "rb") as f:
        for chunk in iter(lambda: f.read(1 << 20), b""):
            h.update(chunk)
    return h.hexdigest()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--bench", default=os.path.join(HERE, "..", "build-bench", "bin",
                                                        "ftp_bench"))
    parser.add_argument("--size-mb", type=int, default=20)
    parser.add_argument("--runs", type=int, default=15)
    args = parser.parse_args()
    if not os.access(args.bench, os.X_OK):
        sys.exit("no bench program at %s (see the usage)" % args.bench)
    curl = shutil.which("curl")
    if not curl:
        sys.exit("the curl command is missing")

    work = tempfile.mkdtemp(prefix="vigie-ftp-bench-")
    root = os.path.join(work, "root")
    os.mkdir(root)
    size = args.size_mb * 1024 * 1024
    with open(os.path.join(root, "LocationsFull.txt"), "wb") as f:
        for _ in range(size // (1024 * 1024)):
            f.write(os.urandom(1024 * 1024))
    expected = digest(os.path.join(root, "LocationsFull.txt"))
    server, port = start_server(root)
    try:
        clients = {
            "curl": lambda out: [curl, "-s", "-S", "--user", "bench:secret", "-o", out,
                                 "ftp://127.0.0.1:%d/LocationsFull.txt" % port],
            "cFTP": lambda out: [args.bench, "127.0.0.1:%d" % port, "bench", "secret",
                                 "LocationsFull.txt", out],
        }
        results = {name: {"wall": [], "cpu": [], "rss": []} for name in clients}
        detail = ""
        for i in range(args.runs + 1):
            for name, argv in clients.items():
                out = os.path.join(work, name + ".out")
                wall, cpu, rss, text = run(argv(out), work)
                if digest(out) != expected:
                    sys.exit("%s delivered other bytes" % name)
                os.remove(out)
                if i == 0:
                    continue  # warm-up: caches, first connection
                results[name]["wall"].append(wall)
                results[name]["cpu"].append(cpu)
                results[name]["rss"].append(rss)
                if name == "cFTP":
                    detail = text.strip()
    finally:
        server.terminate()
        server.wait()
        shutil.rmtree(work, ignore_errors=True)

    mb = size / 1e6
    curl_wall = statistics.median(results["curl"]["wall"])
    print("FTP download of %d MiB on loopback, pyftpdlib server, median of %d runs "
          "(whole process: start, login, transfer, exit)" % (args.size_mb, args.runs))
    curl_min = min(results["curl"]["wall"])
    print("%-6s %8s %8s %8s %12s %12s %8s %13s" % (
        "client", "wall s", "min s", "MB/s", "vs curl med", "vs curl min", "CPU s",
        "peak RSS MiB"))
    for name in ("curl", "cFTP"):
        wall = statistics.median(results[name]["wall"])
        fastest = min(results[name]["wall"])
        print("%-6s %8.3f %8.3f %8.1f %12.2f %12.2f %8.3f %13.1f" % (
            name, wall, fastest, mb / wall, curl_wall / wall, curl_min / fastest,
            statistics.median(results[name]["cpu"]), max(results[name]["rss"]) / 1024))
    print("goal: cFTP at least 0.80 of curl's speed; last cFTP run: %s" % detail)
    if os.environ.get("VIGIE_BENCH_VERBOSE"):
        for name in ("curl", "cFTP"):
            print(name, " ".join("%.3f" % w for w in results[name]["wall"]))


if __name__ == "__main__":
    main()
