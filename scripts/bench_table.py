#!/usr/bin/env python3
"""Prints the figures table of scripts/bench.sh.

Arguments: the Google Benchmark JSON output and the figures file that
bench.sh writes (lines "key value...").  Every ratio compares two figures
of the same run.
"""
import json
import math
import sys


def load_benchmarks(path):
    with open(path) as f:
        data = json.load(f)
    out = {}
    for b in data.get("benchmarks", []):
        if b.get("run_type") == "aggregate" or b.get("error_occurred"):
            continue
        name = b["name"].replace("/real_time", "")
        # Registered names carry the argument twice ("Load/Large/4/4").
        parts = name.split("/")
        if len(parts) >= 2 and parts[-1] == parts[-2]:
            name = "/".join(parts[:-1])
        scale = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1e3}[b.get("time_unit", "ns")]
        out[name] = {
            "real_ms": b["real_time"] * scale,
            "cpu_ms": b["cpu_time"] * scale,
            "mbps": b.get("bytes_per_second", 0) / 1e6,
            "recps": b.get("records", 0),
            "entries": b.get("entries", 0),
            "n": b.get("n", 0),
            "items": b.get("items_per_second", 0),
        }
    return out


def load_figures(path):
    fig = {}
    with open(path) as f:
        for line in f:
            parts = line.split()
            if parts:
                fig[parts[0]] = parts[1:]
    return fig


def fmt_ms(v):
    if v < 0.01:
        return f"{v * 1e3:.2f}us"
    return f"{v:.3f}ms" if v < 1 else f"{v:.1f}ms"


def main():
    bm = load_benchmarks(sys.argv[1])
    fig = load_figures(sys.argv[2]) if len(sys.argv) > 2 else {}
    verdicts = []

    print("Loading against the read-and-sum baseline (same run; ratio = load / baseline)")
    print(f"{'input':<16}{'load':>10}{'(cpu)':>9}{'MB/s':>9}{'Mrec/s':>9}"
          f"{'baseline':>10}{'(cpu)':>9}{'ratio':>8}{'(cpu)':>8}  target")
    for name in sorted(k for k in bm if k.startswith("Load/")):
        key = name[len("Load/"):]
        base = bm.get("Baseline/" + key)
        if not base:
            continue
        l = bm[name]
        ratio = l["real_ms"] / base["real_ms"] if base["real_ms"] else float("inf")
        ratio_cpu = l["cpu_ms"] / base["cpu_ms"] if base["cpu_ms"] else float("inf")
        target = ""
        limit = 3.0 if key == "Corpus" else 5.0 if key.startswith("Large") else None
        if limit:
            ok = ratio_cpu <= limit
            target = f"<= {limit:.0f}x: " + ("met" if ok else "NOT met")
            verdicts.append((f"load {key} <= {limit:.0f}x baseline", ok, f"{ratio_cpu:.1f}x"))
        print(f"{key:<16}{fmt_ms(l['real_ms']):>10}{fmt_ms(l['cpu_ms']):>9}{l['mbps']:>9.1f}"
              f"{l['recps'] / 1e6:>9.2f}{fmt_ms(base['real_ms']):>10}{fmt_ms(base['cpu_ms']):>9}"
              f"{ratio:>7.1f}x{ratio_cpu:>7.1f}x  {target}")

    print()
    print("Scaling (1x, 4x, 16x of the base unit): CPU time per record, at most 1.3x that at 1x")
    for label, prefix, count_key in (("load", "Load/Large/", "n"),):
        rows = []
        for s in (1, 4, 16):
            b = bm.get(f"{prefix}{s}")
            if not b:
                continue
            n = b[count_key]
            rows.append((s, b["cpu_ms"], n))
        if len(rows) < 2:
            continue
        per0 = rows[0][1] / rows[0][2] * 1e6 if rows[0][2] else 0
        for s, t, n in rows:
            per = t / n * 1e6 if n else 0
            line = f"  {label:<11}{s:>3}x  n={n:>10.0f}  cpu {fmt_ms(t):>9}  {per:>8.1f} ns/record"
            if s != rows[0][0] and per0:
                growth = per / per0
                line += f"  {growth:4.2f}x the time per record at 1x"
                if s == 16:
                    verdicts.append((f"{label} per record 16x <= 1.3x 1x", growth <= 1.3, f"{growth:.2f}x"))
            print(line)

    if any(k.startswith("Summary/") for k in bm):
        print()
        print("Summary writers into the plain-text sink")
        for name in sorted(k for k in bm if k.startswith("Summary/")):
            b = bm[name]
            print(f"  {name:<18} cpu {fmt_ms(b['cpu_ms']):>9}  {b['items']:>10.0f} summaries/s")

    if "cli_files" in fig:
        print()
        files, nbytes = fig["cli_files"][0], int(fig["cli_bytes"][0])
        print(f"Command line over the corpus ({files} files, {nbytes / 1e6:.1f} MB), medians of 5 rounds, "
              "ms wall / CPU; target: unitpeek-dump --json at most 3x cksum (judged on CPU time)")
        for mode, label in (("all", "all files in one invocation"), ("each", "one file per invocation")):
            def cell(name):
                wall, cpu = (float(v) for v in fig[f"cli_{name}_{mode}"][:2])
                return wall, cpu
            dw, dc = cell("dump")
            kw, kc = cell("cksum")
            sw, sc = cell("sum")
            cw, cc = cell("cat")
            ratio_wall, ratio_cpu = dw / kw, dc / kc
            print(f"  {label:<28} unitpeek-dump {dw:7.1f} /{dc:7.1f}   cksum {kw:7.1f} /{kc:7.1f}   "
                  f"read-and-sum {sw:7.1f} /{sc:7.1f}   cat {cw:7.1f} /{cc:7.1f}   "
                  f"ratio to cksum {ratio_wall:4.1f}x wall {ratio_cpu:4.1f}x CPU")
            verdicts.append((f"--json {mode} files <= 3x cksum", ratio_cpu <= 3.0,
                             f"{ratio_cpu:.1f}x CPU, {ratio_wall:.1f}x wall"))
            if f"cli_decls_{mode}" in fig:
                ew, ec = cell("decls")
                ok = ec <= 2 * dc
                verdicts.append((f"--json --decls within 2x --json ({mode})", ok, f"{ec / dc:.2f}x CPU, {ew / dw:.2f}x wall"))
                print(f"  {'':<28} unitpeek-dump --json --decls {ew:7.1f} /{ec:7.1f}   "
                      f"ratio to --json {ew / dw:4.2f}x wall {ec / dc:4.2f}x CPU (target 2x)")
            if f"cli_code_{mode}" in fig:
                xw, xc = cell("code")
                print(f"  {'':<28} unitpeek-dump --code --json {xw:7.1f} /{xc:7.1f}   "
                      f"ratio to --json {xw / dw:4.2f}x wall {xc / dc:4.2f}x CPU")
            # The code against its own limit: Zydis decoding and formatting
            # the same instructions in a tight loop, plus --json's time.
            if "code_zydis_loop_ms" in fig and mode == "all":
                loop = float(fig["code_zydis_loop_ms"][0])
                for name, label in (("code", "--code --json"), ("codetext", "--code")):
                    if f"cli_{name}_{mode}" not in fig:
                        continue
                    xw, xc = cell(name)
                    limit = loop + dc
                    verdicts.append((f"{label} within 2x Zydis loop + --json", xc <= 2 * limit,
                                     f"{xc / limit:.2f}x CPU, {xw / (loop + dw):.2f}x wall"))
                    print(f"  {'':<28} unitpeek-dump {label:<13} {xw:7.1f} /{xc:7.1f}   Zydis loop {loop:7.1f}"
                          f" + --json: ratio {xw / (loop + dw):4.2f}x wall {xc / limit:4.2f}x CPU (target 2x)")

    if "report_text_ms" in fig and "report_base_ms" in fig:
        print()
        print("Folder report over the same files against unitpeek-dump --json (target: at most 1.5x,"
              " judged on processor time)")
        for unit, suffix, how in (("wall", "_ms", "least of 10 taken in turn"),
                                  ("cpu", "_cpu_ms", "user + system, least of 10 in turn")):
            if f"report_base{suffix}" not in fig:
                continue
            dump = float(fig[f"report_base{suffix}"][0])
            print(f"  {unit} ms, {how}")
            for mode in ("text", "json"):
                ms = float(fig[f"report_{mode}{suffix}"][0])
                verdict = ""
                if unit == "cpu":
                    ok = ms <= 1.5 * dump
                    verdicts.append((f"report ({mode}) <= 1.5x --json", ok, f"{ms / dump:.2f}x cpu"))
                    verdict = "met" if ok else "NOT met"
                print(f"    --report{' --json' if mode == 'json' else '':<7} {ms:>8.1f}  --json {dump:>8.1f}"
                      f"  ratio {ms / dump:5.2f}x  {verdict}")
    outlines = [k for k in ("outline_spans1", "outline_spans0") if k in fig]
    if outlines:
        print()
        print("Declarations outline over the corpus: heap bytes per declaration, entries and members (target: 200)")
        for k in outlines:
            decls, size = (int(v) for v in fig[k])
            per = size / decls if decls else 0
            how = "with marked runs (viewer)" if k.endswith("1") else "texts alone (command line)"
            ok = per <= 200
            verdicts.append((f"outline bytes per declaration, {how}", ok, f"{per:.0f} bytes"))
            print(f"  {how:<28} {decls:>8} declarations {size / 1e6:7.1f} MB  {per:5.0f} bytes each"
                  f"  {'met' if ok else 'NOT met'}")
    many = [k for k in fig if k.startswith("report_many_")]
    if many:
        print()
        print("Folder report over many units: peak resident memory (target: under 100 MB)")
        for k in sorted(many):
            units, rss_kb, ms = (int(v) for v in fig[k])
            ok = rss_kb * 1024 < 100e6
            verdicts.append((f"report ({k[12:]}) over {units} units < 100 MB", ok, f"{rss_kb * 1024 / 1e6:.1f} MB"))
            print(f"  --report {k[12:]:<5} {units} units  peak {rss_kb * 1024 / 1e6:6.1f} MB  "
                  f"wall {ms / 1000:6.1f} s  {'met' if ok else 'NOT met'}")

    if "report_jobs1" in fig and "report_jobs2" in fig:
        _, rss1, ms1 = (int(v) for v in fig["report_jobs1"])
        _, rss2, ms2 = (int(v) for v in fig["report_jobs2"])
        print()
        print("Folder report (--report --json) over many units on two threads against one, medians of 3"
              " (targets: wall at most 0.6x, peak memory at most 1.3x)")
        print(f"  one thread  wall {ms1 / 1000:6.2f} s  peak {rss1 / 1024:6.1f} MB")
        print(f"  two threads wall {ms2 / 1000:6.2f} s  peak {rss2 / 1024:6.1f} MB"
              f"  ratios {ms2 / ms1:4.2f}x wall, {rss2 / rss1:4.2f}x memory")
        verdicts.append(("report on 2 threads <= 0.6x the wall of 1", ms2 <= 0.6 * ms1, f"{ms2 / ms1:.2f}x"))
        verdicts.append(("report on 2 threads <= 1.3x the memory of 1", rss2 <= 1.3 * rss1, f"{rss2 / rss1:.2f}x"))

    if "unitpath_decls" in fig:
        units, alone, path = fig["unitpath_decls"][0], float(fig["unitpath_decls"][1]), float(fig["unitpath_decls"][2])
        f_alone, f_path = (float(v) for v in fig["unitpath_forms"])
        files, rep, rep_path = fig["unitpath_report"][0], float(fig["unitpath_report"][1]), float(fig["unitpath_report"][2])
        print()
        print("The unit path: units read with their used units at hand against alone (target: at most 1.5x),"
              " the report with the library folders against without (target: at most 1.5x); wall, medians")
        print(f"  --decls of {units} units  alone {alone:7.1f} ms  with their library {path:7.1f} ms  {path / alone:4.2f}x")
        print(f"  --decls of Forms (v5)  alone {f_alone:7.1f} ms  with its library   {f_path:7.1f} ms  {f_path / f_alone:4.2f}x")
        print(f"  --report of {files} files   without {rep:7.1f} ms  with the library folders {rep_path:7.1f} ms"
              f"  {rep_path / rep:4.2f}x")
        verdicts.append(("units with their used units <= 1.5x alone", path <= 1.5 * alone, f"{path / alone:.2f}x"))
        verdicts.append(("--report with the unit path <= 1.5x without", rep_path <= 1.5 * rep, f"{rep_path / rep:.2f}x"))

    if "report_find_ms" in fig and "report_text_ms" in fig:
        print()
        print("Find (--find TDPEMain) over the corpus against --report (target: at most 2x, judged on processor time)")
        for unit, suffix in (("wall", "_ms"), ("cpu", "_cpu_ms")):
            ms, rep = float(fig[f"report_find{suffix}"][0]), float(fig[f"report_text{suffix}"][0])
            print(f"  {unit:<5} --find {ms:8.1f}  --report {rep:8.1f}  ratio {ms / rep:5.2f}x")
            if unit == "cpu":
                verdicts.append(("--find <= 2x --report (corpus)", ms <= 2 * rep, f"{ms / rep:.2f}x cpu"))
    if "find_many" in fig:
        units, rss_kb, ms = (int(v) for v in fig["find_many"])
        print()
        print("Find over many units (targets: peak 150 MB, at most 2x the time of --report)")
        ok = rss_kb * 1024 <= 150e6
        verdicts.append((f"--find over {units} units <= 150 MB", ok, f"{rss_kb * 1024 / 1e6:.1f} MB"))
        line = f"  --find        {units} units  peak {rss_kb * 1024 / 1e6:6.1f} MB  wall {ms / 1000:6.1f} s"
        if "report_many_text" in fig:
            rep_ms = int(fig["report_many_text"][2])
            verdicts.append((f"--find over {units} units <= 2x --report", ms <= 2 * rep_ms, f"{ms / rep_ms:.2f}x wall"))
            line += f"  ratio to --report {ms / rep_ms:4.2f}x"
        print(line)
        if "find_scan" in fig:
            units, decls, scan_ms, index_bytes, peak_kb = (int(v) for v in fig["find_scan"])
            ok = peak_kb * 1024 <= 150e6
            verdicts.append(("scan with index (viewer) <= 150 MB", ok, f"{peak_kb * 1024 / 1e6:.1f} MB"))
            print(f"  scan + index  {units} units, {decls} declarations  peak {peak_kb * 1024 / 1e6:6.1f} MB"
                  f"  (index {index_bytes / 1e6:5.1f} MB)  {scan_ms / 1000:6.1f} s")
        queries = sorted((k for k in fig if k.startswith("find_query_")), key=lambda k: int(k[11:]))
        if queries:
            print("  queries (least of 20; lines: reading the listing lines of the first 200 hits)")
            for k in queries:
                pattern, hits, unit_names, users, ms, cpu, lines = fig[k]
                ok = float(cpu) <= 50
                verdicts.append((f"query {pattern} <= 50 ms", ok, f"{float(cpu):.1f} ms cpu, {float(ms):.1f} wall"))
                print(f"    {pattern:<12} {int(hits):>8} hits {int(unit_names):>4} unit names {int(users):>7} users"
                      f"  {float(ms):7.2f} ms wall {float(cpu):7.2f} ms cpu  lines {float(lines):6.1f} ms")

    mems = [k for k in fig if k.startswith("mem_")]
    if mems:
        print()
        print("Peak resident memory while loading the large unit (limit: 3 x file size + 16 MB)")
        for k in sorted(mems, key=lambda x: int(x[4:-1])):
            size, rss_kb, empty_kb, dump_kb = (int(v) for v in fig[k])
            limit = 3 * size + 16 * 2**20
            rss = rss_kb * 1024
            ok = rss <= limit
            verdicts.append((f"peak memory {k[4:]}", ok, f"{rss / 2**20:.1f} MiB of {limit / 2**20:.1f}"))
            print(f"  {k[4:]:>4}  file {size / 2**20:7.1f} MiB  peak {rss / 2**20:7.1f} MiB "
                  f"(process alone {empty_kb / 1024:5.1f})  limit {limit / 2**20:7.1f} MiB  "
                  f"{rss / size:4.2f}x file  {'met' if ok else 'NOT met'}"
                  f"   [unitpeek-dump --json: {dump_kb / 1024:7.1f} MiB]")

    codemems = [k for k in fig if k.startswith("codemem_")]
    if codemems:
        print()
        print("Peak resident memory of unitpeek-dump --code on the large unit, routine by routine"
              " (limit: 3 x file size + 16 MB)")
        for k in sorted(codemems, key=lambda x: int(x[8:-1])):
            size, text_kb, json_kb, dump_kb = (int(v) for v in fig[k])
            limit = 3 * size + 16 * 2**20
            cells = []
            for label, kb in (("--code", text_kb), ("--code --json", json_kb)):
                rss = kb * 1024
                ok = rss <= limit
                verdicts.append((f"{label} peak memory {k[8:]}", ok, f"{rss / 2**20:.1f} MiB of {limit / 2**20:.1f}"))
                cells.append(f"{label} {rss / 2**20:7.1f} MiB {'met' if ok else 'NOT met'}")
            print(f"  {k[8:]:>4}  file {size / 2**20:7.1f} MiB  limit {limit / 2**20:7.1f} MiB  " + "   ".join(cells) +
                  f"   [--json: {dump_kb / 1024:7.1f} MiB]")

    if "web_module" in fig:
        print()
        print("The page in headless chromium (targets: module 1.5 MB, 0.5 MB gzipped; the largest unit's Summary"
              " 0.5 s and Code view 1 s after the pick; the folder report 3x --report)")
        total, total_gz, wasm, wasm_gz = (int(v) for v in fig["web_module"])
        print(f"  module        {total / 1e6:5.2f} MB ({total_gz / 1e6:4.2f} MB gzipped; the .wasm {wasm / 1e6:5.2f} MB,"
              f" {wasm_gz / 1e6:4.2f} MB gzipped)")
        verdicts.append(("module <= 1.5 MB", total <= 1.5e6, f"{total / 1e6:.2f} MB"))
        verdicts.append(("module <= 0.5 MB gzipped", total_gz <= 0.5e6, f"{total_gz / 1e6:.2f} MB"))
        if "web_largest" in fig:
            size, summary_ms, code_ms = (int(v) for v in fig["web_largest"])
            print(f"  largest unit  {size / 1e6:5.2f} MB  Summary {summary_ms} ms  Code view {code_ms} ms")
            verdicts.append(("largest unit's Summary <= 0.5 s", summary_ms <= 500, f"{summary_ms} ms"))
            verdicts.append(("largest unit's Code view <= 1 s", code_ms <= 1000, f"{code_ms} ms"))
        if "web_report" in fig:
            units, worker_ms, pick_ms, native_ms = fig["web_report"]
            worker_ms, pick_ms, native_ms = float(worker_ms), float(pick_ms), float(native_ms)
            print(f"  report        {units} units  {worker_ms:.0f} ms in the worker, {pick_ms:.0f} ms from the pick;"
                  f" --report {native_ms:.0f} ms")
            verdicts.append(("page's report <= 3x --report", worker_ms <= 3 * native_ms,
                             f"{worker_ms / native_ms:.1f}x in the worker, {pick_ms / native_ms:.1f}x from the pick"))
            if "web_report_warm" in fig:
                warm = float(fig["web_report_warm"][0])
                print(f"  report again  {warm:.0f} ms in the worker, the module warm ({warm / native_ms:.1f}x --report)")
                if len(fig["web_report_warm"]) > 1:
                    print(f"  warm-up       {float(fig['web_report_warm'][1]):.0f} ms in the worker once the module is loaded")

    viewer = {k[len("viewer_"):]: float(v[0]) for k, v in fig.items() if k.startswith("viewer_")}
    if viewer:
        print()
        print("Viewer (offscreen, 100 files on the command line), ms from the application start")
        for k, v in viewer.items():
            print(f"  {k:<20} {v:>9.1f}")
        if "tabs_filled_ms" in viewer:
            ok = viewer["tabs_filled_ms"] < 2000
            verdicts.append(("100 tabs filled < 2 s", ok, f"{viewer['tabs_filled_ms']:.0f} ms"))

    print()
    print("Targets")
    for what, ok, detail in verdicts:
        print(f"  {'met    ' if ok else 'NOT met'}  {what:<36} {detail}")


if __name__ == "__main__":
    main()
