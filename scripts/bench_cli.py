#!/usr/bin/env python3
"""Times the command line against its baselines for scripts/bench.sh.

Usage: bench_cli.py DUMP BENCHTOOL FILELIST [RUNS [COMMAND...]]

Runs, over the files listed in FILELIST (one path a line), with all files in
one invocation and with one invocation per file:
  dump   unitpeek-dump --json
  decls  unitpeek-dump --json --decls (the declarations too)
  code   unitpeek-dump --code --json (every routine disassembled too)
  codetext unitpeek-dump --code (the listing as text)
  cksum  cksum (reading and checksumming the same files)
  sum    unitpeek_benchtool sum (reading and summing them)
  cat    cat
Each round runs every command once, in turn, so that the load of a shared
machine falls on all of them alike. Prints "cli_<command>_<mode> WALL CPU",
the medians over the rounds in milliseconds; CPU is user plus system time
of the processes started. COMMANDs (names above) run only those, as
"dump code" for --code --json against its --json baseline.
"""
import os
import statistics
import subprocess
import sys
import time


def run(argv):
    """Wall and CPU milliseconds of one process."""
    t0 = time.perf_counter()
    p = subprocess.Popen(argv, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _, _, usage = os.wait4(p.pid, 0)
    wall = (time.perf_counter() - t0) * 1e3
    p.returncode = 0  # reaped by wait4 above
    return wall, (usage.ru_utime + usage.ru_stime) * 1e3


def run_each(prefix, files):
    wall = cpu = 0.0
    for f in files:
        w, c = run(prefix + [f])
        wall += w
        cpu += c
    return wall, cpu


def main():
    dump, tool, listing = sys.argv[1:4]
    rounds = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    with open(listing) as f:
        files = [line.rstrip("\n") for line in f if line.strip()]
    commands = {
        "dump": [dump, "--json"],
        "decls": [dump, "--json", "--decls"],
        "code": [dump, "--code", "--json"],
        "codetext": [dump, "--code"],
        "cksum": ["cksum"],
        "sum": [tool, "sum"],
        "cat": ["cat"],
    }
    wanted = sys.argv[5:]
    unknown = [name for name in wanted if name not in commands]
    if unknown:
        sys.exit(f"bench_cli.py: no command {', '.join(unknown)} (one of {', '.join(commands)})")
    if wanted:
        commands = {name: prefix for name, prefix in commands.items() if name in wanted}
    results = {}
    for _ in range(rounds):
        for name, prefix in commands.items():
            results.setdefault((name, "all"), []).append(run(prefix + files))
            results.setdefault((name, "each"), []).append(run_each(prefix, files))
    for (name, mode), runs in results.items():
        wall = statistics.median(r[0] for r in runs)
        cpu = statistics.median(r[1] for r in runs)
        print(f"cli_{name}_{mode} {wall:.2f} {cpu:.2f}")


if __name__ == "__main__":
    main()
