#!/bin/sh
# The blind attacks on real photographs: which clean covers they flag, and how closely RS, SPA
# and WS follow LSB replacement embedded at known rates (0.05 to 0.8, random and sequential).
# The photographs are the samples shipped in Debian's python3-skimage package, fetched with
# apt-get into a temporary folder and removed afterwards: they never enter the repository.
# Usage: tools/blind_corpus.sh [BUILD_DIR [FOLDER_OF_COVERS]]   (BUILD_DIR: build/asan)
set -eu
build=${1:-build/asan}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
if [ -n "${2:-}" ]; then
    covers=$2
else
    (cd "$work" && apt-get download python3-skimage >/dev/null 2>&1) ||
        { echo "apt-get download python3-skimage failed (run apt-get update first)" >&2; exit 1; }
    dpkg -x "$work"/python3-skimage_*.deb "$work/package"
    data="$work/package/usr/lib/python3/dist-packages/skimage/data"
    covers="$work/covers"
    mkdir -p "$covers"
    # Photographs and photomicrographs; the drawings, charts and tiny test files are left out.
    for name in astronaut camera chelsea coffee motorcycle_left motorcycle_right brick grass \
        gravel moon coins ihc page; do
        cp "$data/$name.png" "$covers/"
    done
    for name in retina rocket hubble_deep_field; do
        cp "$data/$name.jpg" "$covers/"
    done
fi
echo "== clean covers: path and verdict"
"$build/vantrel-cli" scan "$covers" --format csv --jobs 2 2>/dev/null | cut -d, -f1,2 | tail -n +2
echo "== LSB replacement at known rates"
VANTREL_BLIND_CORPUS="$covers" "$build/tests/blind_core_tests" \
    --gtest_filter='*RatesOnACorpusOfPhotographs*' | grep -v '^\[ *\(RUN\|OK\) '
