#!/usr/bin/env python3
"""The unit skeletons judged by a compiler: for every folder of units of the
shared corpus (a repository's units laid out in their tree, by the corpus
manifest), unitpeek-dump --pas writes the skeletons of the folder into one
directory; the units that Free Pascal brings itself are left out (its own
take their place), and Free Pascal in Delphi mode compiles every unit whose
used units are all there. Prints the share that compiles and the failures by
the compiler's first message; fails below the floor.

Usage: compile_skeletons.py UNITPEEK_DUMP [FLOOR_PERCENT]
Skips (exit 0, saying so) when the corpus or fpc is missing."""
import collections
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.normpath(os.path.join(HERE, '..', '..', '..', 'shared', 'corpus'))
# Units Free Pascal provides itself.
PROVIDED = {u.lower() for u in ('System', 'SysInit', 'SysUtils', 'Classes', 'Math', 'Types', 'Variants',
                                'TypInfo', 'StrUtils', 'Contnrs', 'IniFiles', 'SyncObjs', 'DateUtils')}


def folders():
    """(repository, folder) -> the corpus files of the units in it."""
    out = collections.defaultdict(list)
    with open(os.path.join(CORPUS, 'manifest.tsv'), encoding='utf-8') as f:
        next(f)
        for line in f:
            version, _sha, _size, repo, _commit, path, file = line.rstrip('\n').split('\t')
            if version in ('2', '3', '4', '5', '6', '7'):
                out[(repo, os.path.dirname(path))].append(os.path.join(CORPUS, file))
    return out


def uses_of(pas):
    """The units a skeleton's uses clauses name."""
    units = []
    for m in re.finditer(r'^uses (.*);$', pas, re.M):
        units += [u.strip() for u in m.group(1).split(',')]
    return units


def first_error(output):
    for line in output.splitlines():
        m = re.search(r'(Error|Fatal): (.*)', line)
        if m:
            return re.sub(r'"[^"]*"', '"..."', m.group(2)).strip()
    return 'no message'


def judge_folder(dump, files, work, results):
    src = tempfile.mkdtemp(dir=work)
    subprocess.run([dump, '--pas', '--out', src] + files, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False)
    units = {}
    for name in os.listdir(src):
        if name.lower().endswith('.pas') and name[:-4].lower() not in PROVIDED:
            units[name[:-4].lower()] = name
        elif name.lower().endswith('.pas'):
            os.remove(os.path.join(src, name))
    for key, name in sorted(units.items()):
        with open(os.path.join(src, name), encoding='utf-8', errors='replace') as f:
            used = uses_of(f.read())
        if any(u.lower() not in units and u.lower() not in PROVIDED for u in used):
            continue
        out = tempfile.mkdtemp(dir=work)
        try:
            r = subprocess.run(['fpc', '-Mdelphi', '-Sh-', '-vw-n-h-', '-Fu' + src, '-FU' + out, os.path.join(src, name)],
                               capture_output=True, text=True, errors='replace', timeout=120, check=False)
            ok, msg = r.returncode == 0, first_error(r.stdout + r.stderr)
        except subprocess.TimeoutExpired:
            ok, msg = False, 'timed out'
        results.append((os.path.join(src, name), ok, msg))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    dump, floor = sys.argv[1], float(sys.argv[2]) if len(sys.argv) > 2 else 90.0
    if not os.path.isfile(os.path.join(CORPUS, 'manifest.tsv')):
        print('[skeletons] no corpus at %s; skipped' % CORPUS)
        return 0
    if not shutil.which('fpc'):
        print('[skeletons] no fpc on the PATH; skipped')
        return 0
    work = tempfile.mkdtemp(prefix='skeletons-')
    results = []
    try:
        for (repo, folder), files in sorted(folders().items()):
            judge_folder(dump, files, work, results)
        good = sum(1 for _, ok, _ in results if ok)
        pct = 100.0 * good / len(results) if results else 100.0
        print('[skeletons] %d of %d units compile (%.1f%%), floor %.1f%%' % (good, len(results), pct, floor))
        by = collections.Counter(msg for _, ok, msg in results if not ok)
        for msg, n in by.most_common():
            print('  %4d  %s' % (n, msg))
        if os.environ.get('UNITPEEK_SKELETON_FAILS'):
            for path, ok, msg in results:
                if not ok:
                    print('  fail: %s: %s' % (path, msg))
        print('%d passed, %d failed' % (good, len(results) - good))
        return 0 if pct >= floor else 1
    finally:
        if not os.environ.get('UNITPEEK_KEEP_SKELETONS'):
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
