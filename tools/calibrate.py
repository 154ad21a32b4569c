#!/usr/bin/env python3
"""Each detector's false alarms on the clean corpus and its detections on the real-tool stegos.

Runs vantrel-cli (blind, jpeg, find, structure; --json, many files a call, a few calls at once)
over the corpus of tools/make_corpus.sh and the stegos of tools/make_stegos.sh, and prints one
markdown table. A detector is every JSON object that carries a "flagged" key, named by its key
path with channel names and array indices folded (blind:channels.*.rs); the fused rows are the
commands' own verdicts: blind's "suspicious" on lossless files and on JPEGs, structure's
anomalies, find's "found".

Usage: tools/calibrate.py [--cli BUILD/vantrel-cli] [--corpus DIR] [--stegos DIR]
           [--only blind,jpeg,find,structure] [--jobs 2] [--batch N] [--json-cache DIR] [--fresh]
           [--by-kind] [--list-flagged DETECTOR]
"""
import argparse
import json
import os
import subprocess
import sys
import time
from concurrent.futures import ThreadPoolExecutor

COMMANDS = ('blind', 'jpeg', 'find', 'structure')
# The key that names the file in each command's JSON line.
PATH_KEY = {'blind': 'path', 'jpeg': 'file', 'find': 'path', 'structure': 'file'}
CHANNELS = {'R', 'G', 'B', 'A', 'Y', 'K', 'grey', 'gray', 'Grey', 'Gray', 'luminance',
            'red', 'green', 'blue', 'alpha'}
IMAGE_EXT = ('.png', '.jpg', '.jpeg', '.gif', '.bmp', '.tif', '.tiff', '.webp', '.jfif')

# Which stegos a detector is meant to catch, by words in its name.
LSB_TOOLS = {'steggy', 'stepic', 'stegosuite', 'stegano', 'steghide'}


def is_jpeg(path):
    with open(path, 'rb') as f:
        return f.read(3) == b'\xff\xd8\xff'


def corpus_files(folder):
    """(path, kind) of every file under the corpus, kind being its first folder."""
    res = []
    for root, dirs, files in os.walk(folder):
        dirs.sort()
        rel = os.path.relpath(root, folder)
        kind = rel.split(os.sep)[0] if rel != '.' else '-'
        for name in sorted(files):
            if name.lower().endswith(IMAGE_EXT):
                res.append((os.path.abspath(os.path.join(root, name)), kind))
    return res


def stego_files(folder):
    """(path, tool) of every stego: from manifest.tsv when there is one, else its folder."""
    manifest = os.path.join(folder, 'manifest.tsv')
    if os.path.exists(manifest):
        res = []
        with open(manifest, encoding='utf-8') as f:
            header = f.readline().rstrip('\n').split('\t')
            for line in f:
                row = dict(zip(header, line.rstrip('\n').split('\t')))
                path = os.path.abspath(os.path.join(folder, row['file']))
                if os.path.exists(path):
                    res.append((path, row['tool']))
        return res
    return corpus_files(folder)


class Cache:
    """Each file's JSON line per command, kept between runs (keyed by path, size and time)."""

    def __init__(self, folder, fresh):
        self.folder, self.entries = folder, {}
        if folder:
            os.makedirs(folder, exist_ok=True)
            for command in COMMANDS:
                p = os.path.join(folder, command + '.jsonl')
                if os.path.exists(p) and not fresh:
                    with open(p, encoding='utf-8') as f:
                        for line in f:
                            try:
                                e = json.loads(line)
                            except ValueError:
                                continue
                            self.entries[(command, e['path'])] = e
        self.new = []

    @staticmethod
    def stamp(path):
        st = os.stat(path)
        return [st.st_size, st.st_mtime_ns]

    def get(self, command, path):
        e = self.entries.get((command, path))
        if e and e['stamp'] == self.stamp(path):
            return e['out']
        return None

    def put(self, command, path, out):
        try:
            e = {'path': path, 'stamp': self.stamp(path), 'out': out}
        except OSError:
            return  # the file went away while it was being read
        self.entries[(command, path)] = e
        self.new.append((command, e))

    def save(self):
        if not self.folder:
            return
        for command in COMMANDS:
            rows = [e for (c, _), e in self.entries.items() if c == command]
            if not rows:
                continue
            p = os.path.join(self.folder, command + '.jsonl')
            with open(p + '.tmp', 'w', encoding='utf-8') as f:
                for e in rows:
                    f.write(json.dumps(e) + '\n')
            os.replace(p + '.tmp', p)


def run_batch(cli, command, paths, timeout):
    """{path: JSON object}; a file the call left out (a crash, a hang) gets {"error": ...}."""
    args = [cli, command] + paths + ['--json']
    try:
        r = subprocess.run(args, capture_output=True, timeout=timeout)
        lines, why = r.stdout.decode('utf-8', 'replace').splitlines(), f'exit {r.returncode}'
    except subprocess.TimeoutExpired as e:
        lines, why = (e.stdout or b'').decode('utf-8', 'replace').splitlines(), f'timeout {timeout}s'
    got = {}
    for line in lines:
        try:
            obj = json.loads(line)
        except ValueError:
            continue
        p = obj.get(PATH_KEY[command])
        if p in paths:
            got[p] = obj
    missing = [p for p in paths if p not in got]
    if missing and len(paths) > 1:
        # One bad file must not cost the others their results: retry the rest one by one.
        for p in missing:
            got.update(run_batch(cli, command, [p], max(60, timeout // len(paths) * 4)))
    elif missing:
        got[missing[0]] = {'error': f'no output ({why})', 'no_output': True}
    return got


def collect(args, files, cache):
    """{command: {path: obj}} for every file, running only what the cache lacks."""
    results = {c: {} for c in args.only}
    work = []
    for command in args.only:
        todo = []
        for path, _ in files:
            if command == 'jpeg' and not is_jpeg(path):
                continue
            cached = cache.get(command, path)
            if cached is not None:
                results[command][path] = cached
            else:
                todo.append(path)
        # Large files first so that the last calls are short ones.
        todo.sort(key=lambda p: -os.path.getsize(p))
        for i in range(0, len(todo), args.batch):
            work.append((command, todo[i:i + args.batch]))
    started = time.time()
    done = [0]

    def one(item):
        command, paths = item
        t0 = time.time()
        got = run_batch(args.cli, command, paths, 120 + 30 * len(paths))
        return command, got, time.time() - t0

    timing = {c: [0.0, 0] for c in args.only}
    with ThreadPoolExecutor(args.jobs) as ex:
        for command, got, seconds in ex.map(one, work):
            timing[command][0] += seconds
            timing[command][1] += len(got)
            for path, obj in got.items():
                results[command][path] = obj
                cache.put(command, path, obj)
            done[0] += 1
            if done[0] % 20 == 0:
                print(f'  {done[0]}/{len(work)} calls, {time.time() - started:.0f} s', file=sys.stderr)
                cache.save()  # an interrupted run keeps what it has done
    cache.save()
    return results, timing, time.time() - started


def fold(key):
    return '*' if key in CHANNELS else key


def detectors_in(obj, prefix=''):
    """(name, object) for every object with a "flagged" key, names folded."""
    if isinstance(obj, dict):
        if 'flagged' in obj:
            yield prefix or '.', obj
        for k, v in obj.items():
            if isinstance(v, (dict, list)):
                yield from detectors_in(v, f'{prefix}.{fold(k)}' if prefix else fold(k))
    elif isinstance(obj, list):
        for v in obj:
            yield from detectors_in(v, prefix + '[]')


def figure(obj):
    """The numbers of a detector object, for --list-flagged."""
    return ', '.join(f'{k} {v:.4g}' if isinstance(v, float) else f'{k} {v}' for k, v in obj.items()
                     if isinstance(v, (int, float, str)) and not isinstance(v, bool) and k != 'state')


class Tally:
    def __init__(self):
        self.applied = self.na = self.failed = self.flagged = 0
        self.which = []      # (path, figure) flagged


def judge(command, obj):
    """{detector: (state, flagged, figure)} of one file's JSON line, generic and fused."""
    res = {}
    if obj.get('no_output'):
        return res
    for name, d in detectors_in(obj):
        full = f'{command}:{name}'
        state = d.get('state', 'ok')
        flagged = d.get('flagged') is True and state == 'ok'
        old = res.get(full)
        # Several instances (channels, layouts): flagged if any is; applied if any is.
        if old:
            state = 'ok' if 'ok' in (old[0], state) else old[0]
            flagged = flagged or old[1]
            fig = old[2] if old[1] or not flagged else figure(d)
        else:
            fig = figure(d)
        res[full] = (state, flagged, fig)
    if command == 'blind':
        if obj.get('error'):
            res['blind: suspicious'] = ('failed', False, obj['error'])
        else:
            res['blind: suspicious'] = ('ok', obj.get('suspicious') is True, '')
        # The JPEG verdict's own flags, until the attacks carry "flagged" keys of their own.
        v = (obj.get('jpeg') or {}).get('verdict') or {}
        f5 = (obj.get('jpeg') or {}).get('f5') or {}
        js = (obj.get('jpeg') or {}).get('jsteg_fraction') or {}
        for key in ('jsteg', 'f5'):
            if isinstance(v.get(key), bool) and not any(n.startswith('blind:jpeg.' + key) for n in res):
                fig = f'beta {f5.get("beta")}' if key == 'f5' else f'fraction {json.dumps(js)}'
                res[f'blind:jpeg.verdict.{key}'] = ('ok', v[key], fig)
    elif command == 'structure':
        if obj.get('error') and 'anomalies' not in obj:
            res['structure: anomaly'] = ('failed', False, obj['error'])
        else:
            an = obj.get('anomalies') or []
            kinds = sorted({a.get('kind', a.get('name', '?')) if isinstance(a, dict) else str(a) for a in an})
            res['structure: anomaly'] = ('ok', bool(an), ', '.join(kinds))
    elif command == 'find':
        if obj.get('error'):
            res['find: found'] = ('failed', False, obj['error'])
        else:
            found = [f for f in obj.get('findings') or [] if f.get('tier') == 'found']
            fig = '; '.join(f"{f.get('layout')} {f.get('kind')} {f.get('what', '')[:60]}" for f in found[:3])
            res['find: found'] = ('ok', obj.get('verdict') == 'found' or bool(found), fig)
    elif command == 'jpeg':
        v = obj.get('verdict') or {}
        for key in ('jsteg', 'f5'):
            if isinstance(v.get(key), bool) and not any(n.startswith('jpeg:' + key) for n in res):
                fig = f'beta {(obj.get("f5") or {}).get("beta")}' if key == 'f5' else ''
                res[f'jpeg:verdict.{key}'] = ('ok', v[key], fig)
    return res


def targets(detector, tool, jpeg):
    """Whether a stego made by `tool` (in a JPEG or not) is what the detector is for."""
    d = detector.lower()
    if 'jsteg' in d:
        return tool.startswith('jsteg')
    if 'f5' in d:
        return tool == 'f5stegojs'
    if 'outguess' in d:
        return tool == 'outguess'
    if d.startswith('structure'):
        return tool == 'appended-zip'
    if d.startswith('find'):
        return tool in ('steggy', 'stepic', 'stegano', 'appended-zip') or tool.startswith('jsteg')
    if d == 'blind: suspicious (lossless)':
        return not jpeg and tool in LSB_TOOLS
    if d == 'blind: suspicious (jpeg)':
        return jpeg and tool != 'appended-zip'
    if d.startswith('blind:') or d.startswith('blind :'):
        return not jpeg and tool in LSB_TOOLS
    return not jpeg


def tabulate(results, clean, stegos):
    """{detector: {'clean': Tally, 'stego': Tally, 'target': Tally}}."""
    jpeg_of = {}
    table = {}

    def tally(detector, group):
        return table.setdefault(detector, {'clean': Tally(), 'stego': Tally(), 'target': Tally()})[group]

    sets = [('clean', clean), ('stego', stegos)]
    for group, files in sets:
        for path, label in files:
            if path not in jpeg_of:
                jpeg_of[path] = is_jpeg(path)
            for command, outs in results.items():
                obj = outs.get(path)
                if obj is None:
                    continue
                for det, (state, flagged, fig) in judge(command, obj).items():
                    if det == 'blind: suspicious':
                        det = 'blind: suspicious (jpeg)' if jpeg_of[path] else 'blind: suspicious (lossless)'
                    groups = [group]
                    if group == 'stego' and targets(det, label, jpeg_of[path]):
                        groups.append('target')
                    for g in groups:
                        t = tally(det, g)
                        if state == 'ok':
                            t.applied += 1
                            if flagged:
                                t.flagged += 1
                                t.which.append((path, label, fig))
                        elif state == 'not_applicable':
                            t.na += 1
                        else:
                            t.failed += 1
    return table


def pct(a, b):
    return f'{100.0 * a / b:.1f}%' if b else '-'


def print_table(table, out=sys.stdout):
    fused = [d for d in table if ': ' in d]
    generic = sorted(d for d in table if ': ' not in d)
    order = ['blind: suspicious (lossless)', 'blind: suspicious (jpeg)', 'structure: anomaly', 'find: found']
    rows = generic + [d for d in order if d in table] + sorted(set(fused) - set(order))
    print('| detector | clean files applied | not applicable | failed | false alarms | false-alarm rate '
          '| targeted stegos detected | all stegos detected |', file=out)
    print('|---|---:|---:|---:|---:|---:|---:|---:|', file=out)
    for d in rows:
        c, s, t = table[d]['clean'], table[d]['stego'], table[d]['target']
        print(f'| {d} | {c.applied} | {c.na} | {c.failed} | {c.flagged} | {pct(c.flagged, c.applied)} '
              f'| {t.flagged}/{t.applied + t.na + t.failed} | {s.flagged}/{s.applied + s.na + s.failed} |',
              file=out)


def print_by_kind(results, clean, out=sys.stdout):
    """Per corpus kind, the fused verdicts' false alarms."""
    names = ['blind: suspicious', 'structure: anomaly', 'find: found']
    counts = {}
    for path, kind in clean:
        row = counts.setdefault(kind, {'files': 0, **{n: 0 for n in names}})
        row['files'] += 1
        for command, outs in results.items():
            obj = outs.get(path)
            if obj is None:
                continue
            for det, (state, flagged, _) in judge(command, obj).items():
                if det in names and flagged:
                    row[det] += 1
    print('\n| kind | files | ' + ' | '.join(names) + ' |', file=out)
    print('|---|---:|' + '---:|' * len(names), file=out)
    for kind in sorted(counts):
        row = counts[kind]
        print(f"| {kind} | {row['files']} | " + ' | '.join(f"{row[n]} ({pct(row[n], row['files'])})" for n in names)
              + ' |', file=out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    ap.add_argument('--cli', default='build/release/vantrel-cli')
    ap.add_argument('--corpus', default='/work/corpus')
    ap.add_argument('--stegos', default='/work/stegos')
    ap.add_argument('--only', default=','.join(COMMANDS), help='commands to run, comma-separated')
    ap.add_argument('--jobs', type=int, default=2)
    ap.add_argument('--batch', type=int, default=40, help='files a vantrel-cli call')
    ap.add_argument('--json-cache', help='keep each file\'s outputs here; reruns reuse them')
    ap.add_argument('--fresh', action='store_true', help='ignore the cache (after a rebuild)')
    ap.add_argument('--by-kind', action='store_true', help='also the fused false alarms per corpus kind')
    ap.add_argument('--list-flagged', metavar='DETECTOR',
                    help='the clean files DETECTOR flags, with its figure (a detector name from the table, '
                         'or a prefix of it); "stego:DETECTOR" lists the stegos it misses')
    args = ap.parse_args()
    args.only = [c.strip() for c in args.only.split(',') if c.strip()]
    for c in args.only:
        if c not in COMMANDS:
            ap.error(f'--only: unknown command {c} (one of {", ".join(COMMANDS)})')
    if not os.access(args.cli, os.X_OK):
        ap.error(f'no vantrel-cli at {args.cli}')
    clean = corpus_files(args.corpus) if os.path.isdir(args.corpus) else []
    stegos = stego_files(args.stegos) if os.path.isdir(args.stegos) else []
    if not clean:
        ap.error(f'no corpus files under {args.corpus}')
    print(f'{len(clean)} clean files, {len(stegos)} stegos; {", ".join(args.only)}; {args.jobs} jobs',
          file=sys.stderr)
    cache = Cache(args.json_cache, args.fresh)
    results, timing, seconds = collect(args, clean + stegos, cache)
    for c, (s, n) in timing.items():
        if n:
            print(f'  {c}: {n} files run in {s:.0f} s of calls ({1000 * s / n:.0f} ms a file)', file=sys.stderr)
    print(f'  wall {seconds:.0f} s', file=sys.stderr)
    table = tabulate(results, clean, stegos)
    if args.list_flagged:
        want = args.list_flagged
        group = 'clean'
        if want.startswith('stego:'):
            group, want = 'stego', want[len('stego:'):]
        names = [d for d in table if d == want] or [d for d in table if d.startswith(want)]
        if not names:
            print(f'no detector named {want}; the detectors: {", ".join(sorted(table))}', file=sys.stderr)
            return 2
        for d in names:
            t = table[d][group]
            if group == 'clean':
                print(f'== {d}: {t.flagged} of {t.applied} clean files flagged')
                for path, kind, fig in sorted(t.which, key=lambda w: (w[1], w[0])):
                    print(f'{kind}\t{path}\t{fig}')
            else:
                flagged = {w[0] for w in t.which}
                print(f'== {d}: stegos not flagged')
                for path, tool in stegos:
                    if path not in flagged:
                        print(f'{tool}\t{path}')
        return 0
    print(f'Corpus: {len(clean)} clean files ({sum(1 for p, _ in clean if is_jpeg(p))} JPEG); '
          f'stegos: {len(stegos)}.\n')
    print_table(table)
    if args.by_kind:
        print_by_kind(results, clean)
    return 0


if __name__ == '__main__':
    sys.exit(main())
