#!/usr/bin/env bash
# Runs fuzz_load for a while (default 600 s) on one core, seeded with every file of tests/data
# under every file name ending. Usage: fuzz/run.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
seconds=${1:-600}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${2:-$root/build/fuzz}" && pwd)
corpus="$build/corpus-load"
mkdir -p "$corpus" "$build/findings"
python3 - "$root/tests/data" "$corpus" <<'PY'
import os, sys
data, corpus = sys.argv[1], sys.argv[2]
endings = ['.png', '.bmp', '.jpg', '.jp2', '.jxr', '.j2k', '.tif', 'tiff', 'webp', '.gif', '.psd']
for folder in (data, os.path.join(data, 'hostile')):
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        if not os.path.isfile(path):
            continue
        ending = next((i for i, e in enumerate(endings) if name.endswith(e)), 11)
        with open(path, 'rb') as f:
            content = f.read()
        with open(os.path.join(corpus, f'seed-{name}'), 'wb') as out:
            out.write(bytes([ending]) + content)
PY
# libFuzzer writes its job log (fuzz-0.log) into the current folder.
cd "$build"
"$build/fuzz/fuzz_load" "$corpus" -max_total_time="$seconds" -jobs=1 -workers=1 \
    -max_len=65536 -timeout=30 -artifact_prefix="$build/findings/" -print_final_stats=1
