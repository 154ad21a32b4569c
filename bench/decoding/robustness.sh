#!/usr/bin/env bash
# Robustness of the load path: generates mutated files of every supported format (truncations,
# bit flips, forged header fields, repeated chunks) into a temporary folder and runs
# `vantrel-cli decode` over all of them. Reports the time, how every file was answered, and
# fails if the caller ever crashed or a file went unanswered.
# Usage: bench/decoding/robustness.sh [BUILD_DIR] [FILES_PER_FORMAT]   (defaults build/bench, 170)
set -uo pipefail
build=$(cd "${1:-build/bench}" && pwd)
per_format=${2:-170}
cli="$build/vantrel-cli"
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d /tmp/vantrel-robustness-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/sources" "$work/files"

# Sources: the pattern files of tests/data, and 64 x 48 ones made here so that mutations also
# land in real pixel data.
cd "$work/sources"
convert -seed 7 -size 64x48 plasma:fractal base.ppm
convert base.ppm big.png
convert base.ppm BMP3:big.bmp
convert base.ppm big-v5.bmp
convert base.ppm +dither -colors 256 -compress RLE BMP3:big-rle8.bmp
convert base.ppm -quality 90 big.jpg
convert base.ppm big.jp2
convert base.ppm J2K:big.j2k
convert base.ppm -compress LZW big.tif
convert base.ppm big.webp
convert base.ppm big.gif
convert base.ppm -compress RLE big.psd
JxrEncApp -i big.bmp -o big.jxr -q 0.9 > /dev/null
rm base.ppm
for f in pattern.png pattern.bmp pattern-v5.bmp pattern-rle8.bmp pattern.jpg pattern.jp2 \
         pattern.j2k pattern.tif pattern.webp pattern.gif pattern.psd pattern.jxr; do
    cp "$root/tests/data/$f" .
done

python3 - "$work/sources" "$work/files" "$per_format" <<'PY'
import os, random, struct, sys
sources, out, per_format = sys.argv[1], sys.argv[2], int(sys.argv[3])
rng = random.Random(1234)
by_format = {}
for name in sorted(os.listdir(sources)):
    key = name.split('.', 1)[1] if '-' not in name else name.split('-', 1)[1]
    by_format.setdefault(key, []).append(open(os.path.join(sources, name), 'rb').read())

def mutate(data, kind):
    d = bytearray(data)
    if kind == 0:  # truncation
        return d[:rng.randrange(1, len(d))]
    if kind == 1:  # bit flips
        for _ in range(rng.choice((1, 2, 4, 16, 64))):
            at = rng.randrange(len(d))
            d[at] ^= 1 << rng.randrange(8)
        return d
    if kind == 2:  # a forged header field: a huge or odd value where sizes usually sit
        at = rng.randrange(0, min(64, len(d) - 4))
        value = rng.choice((0, 1, 0x7FFF, 0xFFFF, 0x10000, 0x7FFFFFFF, 0xFFFFFFFF, 20000, 65535))
        struct.pack_into(rng.choice(('<I', '>I')), d, at, value)
        return d
    # a repeated or dropped stretch
    a = rng.randrange(len(d)); b = min(len(d), a + rng.randrange(1, 256))
    return d[:a] + d[a:b] * rng.randrange(0, 5) + d[b:]

for key, variants in sorted(by_format.items()):
    for i in range(per_format):
        data = mutate(rng.choice(variants), i % 4)
        open(os.path.join(out, f'{i:04d}-{key.replace(".", "-")}.{key.rsplit(".", 1)[-1]}'), 'wb').write(data)
PY
total=$(find "$work/files" -type f | wc -l)
echo "files: $total ($(ls "$work/files" | sed 's/^[0-9]*-//; s/\.[^.]*$//' | sort | uniq -c |
    awk '{ printf "%s%s %s", (NR > 1 ? ", " : ""), $1, $2 }'))"

# One vantrel-cli per 200 files: the caller stays up while its decoders crash and restart.
start=$(date +%s.%N)
find "$work/files" -type f -print0 | sort -z |
    xargs -0 -n 200 sh -c '"$0" decode "$@"; rc=$?; [ $rc -le 1 ] || echo "CALLER EXIT $rc" >&2; exit 0' \
        "$cli" > "$work/answers.txt" 2> "$work/caller-errors.txt"
end=$(date +%s.%N)

answered=$(cut -d: -f1 "$work/answers.txt" | sort -u | wc -l)
caller_crashes=$(grep -c "CALLER EXIT" "$work/caller-errors.txt")
echo "answered: $answered of $total"
echo "caller crashes: $caller_crashes"
echo "decoded:          $(grep -cE ': [0-9]+ x [0-9]+$' "$work/answers.txt")"
echo "decoder crashed:  $(grep -c ': decoder crashed on ' "$work/answers.txt")"
echo "timed out:        $(grep -c ': timed out decoding ' "$work/answers.txt")"
echo "too large:        $(grep -c ': image too large: ' "$work/answers.txt")"
echo "other failures:   $(grep -c ': Could not decode ' "$work/answers.txt")"
awk -v s="$start" -v e="$end" -v n="$total" \
    'BEGIN { printf "total time: %.1f s (%.1f ms a file)\n", e - s, 1000 * (e - s) / n }'
[ "$answered" -eq "$total" ] && [ "$caller_crashes" -eq 0 ]
