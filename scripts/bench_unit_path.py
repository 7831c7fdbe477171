#!/usr/bin/env python3
"""Times what the unit path costs, for scripts/bench.sh: prints figure lines.

  unitpath_decls UNITS ALONE_MS PATH_MS   --decls of the units whose library
      is in the corpus: alone (the corpus files, no used unit beside them)
      and in their folder trees with the library folders on the unit path
      (the used units read for the values of their types), one invocation
      each, medians of ROUNDS rounds taken in turn;
  unitpath_forms ALONE_MS PATH_MS   the same for one unit with much to read:
      the Forms unit of the version 5 library;
  unitpath_report FILES WITHOUT_MS WITH_MS   --report over the corpus without
      and with the library folders on the unit path.

Usage: bench_unit_path.py DUMP CORPUS [ROUNDS]
"""
import csv
import os
import statistics
import subprocess
import sys
import tempfile
import time


def lay_out(corpus, root):
    """The corpus in its folder trees (repository/commit/path): the places by corpus file."""
    places = {}
    with open(os.path.join(corpus, "manifest.tsv"), newline="") as f:
        for row in csv.DictReader(f, delimiter="\t"):
            src = os.path.join(corpus, row["file"])
            dst = os.path.join(root, row["repo"].replace("/", "_"), row["commit"][:8], row["path"])
            if not os.path.exists(src) or os.path.lexists(dst):
                continue
            os.makedirs(os.path.dirname(dst), exist_ok=True)
            os.symlink(src, dst)
            places[src] = dst
    return places


def median_ms(runs):
    return round(statistics.median(runs) * 1000, 1)


def timed(args):
    t0 = time.perf_counter()
    subprocess.run(args, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return time.perf_counter() - t0


def main():
    dump, corpus = sys.argv[1], sys.argv[2]
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with tempfile.TemporaryDirectory() as root:
        places = lay_out(corpus, root)
        libs = sorted({os.path.dirname(p) for p in places.values() if os.path.basename(p).lower() == "system.dcu"})
        if not libs:
            return
        trees = {os.path.relpath(l, root).split(os.sep)[0] for l in libs}
        units = sorted(f for f, p in places.items() if os.path.relpath(p, root).split(os.sep)[0] in trees)
        forms = next(f for f, p in sorted(places.items()) if p.lower().endswith("lib/forms.dcu"))
        unit_path = ["--unit-path", os.pathsep.join(libs)]
        files = sorted(os.path.join(d, n) for d, _, ns in os.walk(corpus) for n in ns if n != "manifest.tsv")
        modes = {
            "decls_alone": [dump, "--decls"] + units,
            "decls_path": [dump, "--decls"] + unit_path + [places[u] for u in units],
            "forms_alone": [dump, "--decls", forms],
            "forms_path": [dump, "--decls"] + unit_path + [places[forms]],
            "report": [dump, "--report", corpus],
            "report_path": [dump, "--report"] + unit_path + [corpus],
        }
        runs = {k: [] for k in modes}
        for _ in range(rounds):
            for k, args in modes.items():
                runs[k].append(timed(args))
        m = {k: median_ms(v) for k, v in runs.items()}
        print("unitpath_decls", len(units), m["decls_alone"], m["decls_path"])
        print("unitpath_forms", m["forms_alone"], m["forms_path"])
        print("unitpath_report", len(files), m["report"], m["report_path"])


if __name__ == "__main__":
    main()
