#!/usr/bin/env bash
# Stegos made with the real tools, for the calibration run (tools/calibrate.py): each detector's
# detections are counted on them. Covers are taken from the clean corpus (tools/make_corpus.sh):
# photographs cut from wallpapers, a few renders, sprites with transparency. Nothing here enters
# the repository.
#
# Usage: tools/make_stegos.sh [OUT_DIR]      (OUT_DIR: /work/stegos; covers: $CORPUS or /work/corpus)
# Needs: bash tools/setup.sh --dev (steghide, outguess, stepic, stegosuite, gifshuffle, zip,
#        libjpeg-turbo-progs, imagemagick, gcc and libjpeg headers) and npm; the npm tools
#        (steggy-noencrypt, stegano, f5stegojs) are installed into a temporary folder.
# Output: one folder per tool, manifest.tsv (file, tool, options, payload bytes, password, cover)
# and READY when complete. Payloads are pseudo-random bytes from fixed seeds (text for the tools
# that take a text message).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-/work/stegos}
corpus=${CORPUS:-/work/corpus}
[ -f "$corpus/READY" ] || { echo "no corpus at $corpus (run tools/make_corpus.sh first)" >&2; exit 1; }
IM=/usr/bin/convert
work=$(mktemp -d /tmp/stegos-work.XXXXXX)
trap 'rm -rf "$work"' EXIT
npm_dir=${STEGO_NPM_DIR:-$work/npm}
if [ ! -x "$npm_dir/node_modules/.bin/f5stego" ] || [ ! -d "$npm_dir/node_modules/stegano" ] ||
    [ ! -d "$npm_dir/node_modules/steggy-noencrypt" ]; then
    npm install --silent --no-audit --no-fund --prefix "$npm_dir" steggy-noencrypt stegano f5stegojs >/dev/null 2>&1 ||
        { echo "npm install of steggy-noencrypt, stegano, f5stegojs failed" >&2; exit 1; }
fi
export NODE_PATH=$npm_dir/node_modules
gcc -O2 -o "$work/jsteg_embed" "$here/tools/jsteg_embed.c" -ljpeg
rm -rf "$out"
mkdir -p "$out"
manifest=$out/manifest.tsv
printf 'file\ttool\toptions\tpayload_bytes\tpassword\tcover\n' >"$manifest"
ok=0
failed=0
skipped=""

# $1 bytes $2 seed $3 file: pseudo-random payload; text=1 in the environment gives base64 text.
payload() {
    python3 -c "import random,sys,base64; b=random.Random(int(sys.argv[2])).randbytes(int(sys.argv[1]));
b=base64.b64encode(b)[:int(sys.argv[1])] if sys.argv[4]=='1' else b; open(sys.argv[3],'wb').write(b)" "$1" "$2" "$3" "${text:-0}"
}
# $1 kind folder $2 name pattern (Python re) $3 how many $4 least pixels [$5 least bytes]: covers
# spread over the sorted list of the corpus kind (a size floor keeps out the flat pictures whose
# capacity is too small for the tools).
covers() {
    python3 - "$corpus/$1" "$2" "$3" "$4" "${5:-0}" <<'PY'
import os, re, subprocess, sys
folder, pattern, k, least, least_bytes = sys.argv[1], sys.argv[2], int(sys.argv[3]), int(sys.argv[4]), int(sys.argv[5])
names = sorted(n for n in os.listdir(folder) if re.search(pattern, n))
res = []
# stride over the list, skipping files that are too small
step = max(1, len(names) // (4 * k))
for n in names[::step] + names:
    if len(res) == k:
        break
    p = os.path.join(folder, n)
    if p in res or os.path.getsize(p) < least_bytes:
        continue
    r = subprocess.run(['/usr/bin/identify', '-format', '%w %h\n', p + '[0]'], capture_output=True, text=True)
    try:
        w, h = map(int, r.stdout.split()[:2])
    except ValueError:
        continue
    if w * h >= least:
        res.append(p)
print('\n'.join(res))
PY
}
# record FILE TOOL OPTIONS BYTES PASSWORD COVER, or count a failure when FILE is missing.
record() {
    if [ -s "$1" ]; then
        printf '%s\t%s\t%s\t%s\t%s\t%s\n' "${1#"$out"/}" "$2" "$3" "$4" "$5" "$(basename "$6")" >>"$manifest"
        ok=$((ok + 1))
    else
        rm -f "$1"
        echo "failed: $2 $3 on $(basename "$6")" >&2
        failed=$((failed + 1))
    fi
}
stem() { basename "${1%.*}"; }

mapfile -t photo_png < <(covers png-photo '\.png$' 8 200000)
mapfile -t render_png < <(covers png-render '^(?!.*--).*-s[0-9]+-[0-9]+x[0-9]+\.png$' 3 200000)
mapfile -t alpha_png < <(covers png-alpha '\.png$' 3 160000)
mapfile -t jpeg_covers < <(covers jpeg-baseline '^p.*-q(74|76|80|84|86|90)\.jpg$' 6 150000 40000)
mapfile -t bmp_covers < <(covers bmp '^p.*-24\.bmp$' 4 150000)
mapfile -t gif_covers < <(covers gif '^p.*\.gif$' 4 60000 60000)
echo "covers: ${#photo_png[@]} photos, ${#render_png[@]} renders, ${#alpha_png[@]} RGBA, ${#jpeg_covers[@]} JPEG, ${#bmp_covers[@]} BMP, ${#gif_covers[@]} GIF"

# ---- steggy (npm steggy-noencrypt): LSB replacement in R, G, B from the first pixel on
mkdir -p "$out/steggy"
steggy() { node -e "const fs=require('fs'),s=require('steggy-noencrypt');
fs.writeFileSync(process.argv[3], s.conceal(fs.readFileSync(process.argv[1]), fs.readFileSync(process.argv[2])))" "$@" 2>/dev/null; }
n=0
for c in "${photo_png[@]:0:3}" "${render_png[@]:0:1}"; do
    n=$((n + 1)); o=$out/steggy/$(stem "$c")-45000.png
    payload 45000 $((100 + n)) "$work/m"; steggy "$c" "$work/m" "$o" || true
    record "$o" steggy "45000 bytes" 45000 "" "$c"
done
for c in "${alpha_png[@]}"; do
    n=$((n + 1)); o=$out/steggy/$(stem "$c")-rgba-45000.png
    payload 45000 $((100 + n)) "$work/m"; steggy "$c" "$work/m" "$o" || true
    record "$o" steggy "45000 bytes, RGBA cover" 45000 "" "$c"
done
for c in "${photo_png[@]:3:2}"; do
    n=$((n + 1)); o=$out/steggy/$(stem "$c")-256.png
    text=1 payload 256 $((100 + n)) "$work/m"; steggy "$c" "$work/m" "$o" || true
    record "$o" steggy "256-byte message" 256 "" "$c"
done

# ---- stepic (Debian): LSB replacement, PNG out
mkdir -p "$out/stepic"
for c in "${photo_png[@]:0:3}" "${render_png[@]:1:1}"; do
    n=$((n + 1)); o=$out/stepic/$(stem "$c")-8192.png
    payload 8192 $((100 + n)) "$work/m"; stepic -e -i "$c" -t "$work/m" -o "$o" -f PNG >/dev/null 2>&1 || true
    record "$o" stepic "8192 bytes" 8192 "" "$c"
done

# ---- stegosuite (Debian, Java): 24-bit BMP, PNG, GIF and JPEG. It works on a copy of the cover (its
# JPEG path writes COVER_embed.jpg beside the cover whatever -o says) and its JPEG encoder needs a
# display: xvfb-run gives it one.
mkdir -p "$out/stegosuite"
suite() { # $1 cover $2 output $3 key, then -f FILE or -m TEXT
    local cover=$1 o=$2 key=$3 ext=${1##*.}
    shift 3
    rm -rf "$work/suite" && mkdir -p "$work/suite" && cp "$cover" "$work/suite/c.$ext"
    if [ "$ext" = jpg ]; then
        xvfb-run -a stegosuite embed -k "$key" "$@" -o "$o" "$work/suite/c.$ext" >/dev/null 2>&1 || true
        [ -s "$o" ] || mv "$work/suite/c_embed.jpg" "$o" 2>/dev/null || true
    else
        stegosuite embed -k "$key" "$@" -o "$o" "$work/suite/c.$ext" >/dev/null 2>&1 || true
    fi
}
for c in "${bmp_covers[@]:0:3}"; do
    n=$((n + 1)); o=$out/stegosuite/$(stem "$c")-8192.bmp
    payload 8192 $((100 + n)) "$work/m.bin"
    suite "$c" "$o" "suite$n" -f "$work/m.bin"
    record "$o" stegosuite "24-bit BMP, 8192-byte file" 8192 "suite$n" "$c"
done
for c in "${photo_png[@]:5:2}"; do
    n=$((n + 1)); o=$out/stegosuite/$(stem "$c")-8192.png
    payload 8192 $((100 + n)) "$work/m.bin"
    suite "$c" "$o" "suite$n" -f "$work/m.bin"
    record "$o" stegosuite "PNG, 8192-byte file" 8192 "suite$n" "$c"
done
if command -v xvfb-run >/dev/null; then
    for c in "${jpeg_covers[@]:0:3}"; do
        n=$((n + 1)); o=$out/stegosuite/$(stem "$c")-600.jpg
        text=1 payload 600 $((100 + n)) "$work/m.txt"
        suite "$c" "$o" "suite$n" -m "$(cat "$work/m.txt")"
        record "$o" stegosuite "JPEG, 600-character message" 600 "suite$n" "$c"
    done
else
    skipped="$skipped stegosuite-JPEG(no xvfb-run)"
fi
# GIF: one bit a pixel in the parity of its colour's place in the palette sorted by colour
# distance; flat areas are left out, so the photographs with the richest palettes carry most.
# A counter of their own keeps the later tools' seeds and passwords as they were.
g=0
for c in "${gif_covers[@]:0:3}"; do
    g=$((g + 1)); o=$out/stegosuite/$(stem "$c")-400.gif
    text=1 payload 400 $((300 + g)) "$work/m.txt"
    suite "$c" "$o" "suitegif$g" -m "$(cat "$work/m.txt")"
    record "$o" stegosuite "GIF, 400-character message" 400 "suitegif$g" "$c"
done

# ---- stegano (npm): its LSB frame (depth in the first pixel, byte-stuffed text, end marker)
mkdir -p "$out/stegano"
for spec in "0 1 1024" "1 1 4096" "2 2 4096"; do
    set -- $spec
    c=${photo_png[$(($1 + 5))]:-${photo_png[0]}}
    n=$((n + 1)); o=$out/stegano/$(stem "$c")-d$2-$3.png
    text=1 payload "$3" $((100 + n)) "$work/m.txt"
    node -e "const J=require('jimp'),{Encryptor}=require('stegano'),fs=require('fs');
J.read(process.argv[1]).then(i=>new Encryptor().encrypt(i,fs.readFileSync(process.argv[2],'utf8'),+process.argv[4]).writeAsync(process.argv[3]))" \
        "$c" "$work/m.txt" "$o" "$2" >/dev/null 2>&1 || true
    record "$o" stegano "depth $2, $3-character text" "$3" "" "$c"
done

# ---- steghide (Debian): JPEG and BMP, with passwords; payload a share of the stated capacity
mkdir -p "$out/steghide"
capacity() { echo n | steghide info "$1" 2>/dev/null | awk '/capacity:/ {v = $2; u = $3; m = (u ~ /KB/) ? 1024 : (u ~ /MB/ ? 1048576 : 1); print int(v * m)}' || true; }
for c in "${jpeg_covers[@]:0:3}" "${bmp_covers[@]:0:3}"; do
    cap=$(capacity "$c"); cap=${cap:-0}
    for share in 30 90; do
        bytes=$((cap * share / 100))
        [ "$bytes" -gt 16 ] || continue
        n=$((n + 1)); o=$out/steghide/$(stem "$c")-$share.${c##*.}
        payload "$bytes" $((100 + n)) "$work/m.bin"
        steghide embed -q -f -cf "$c" -ef "$work/m.bin" -sf "$o" -p "hide$n" >/dev/null 2>&1 || true
        record "$o" steghide "$share% of capacity" "$bytes" "hide$n" "$c"
    done
done

# ---- outguess (Debian): JPEG, with passwords
mkdir -p "$out/outguess"
for c in "${jpeg_covers[@]:0:3}"; do
    q=$(echo "$c" | sed -n 's/.*-q\([0-9]*\)\.jpg$/\1/p')
    size=$(stat -c %s "$c")
    for share in 2 5; do
        bytes=$((size * share / 100))
        n=$((n + 1)); o=$out/outguess/$(stem "$c")-m$share.jpg
        payload "$bytes" $((100 + n)) "$work/m.bin"
        outguess -k "guess$n" -p "${q:-85}" -d "$work/m.bin" "$c" "$o" >/dev/null 2>&1 || true
        record "$o" outguess "$share% of the cover's bytes, quality ${q:-85}" "$bytes" "guess$n" "$c"
    done
done

# ---- f5stegojs (npm): F5, several payload sizes
mkdir -p "$out/f5"
for c in "${jpeg_covers[@]:0:5}"; do
    size=$(stat -c %s "$c")
    for share in 2 4 7; do
        bytes=$((size * share / 100))
        n=$((n + 1)); o=$out/f5/$(stem "$c")-m$share.jpg
        payload "$bytes" $((100 + n)) "$work/m.bin"
        "$npm_dir/node_modules/.bin/f5stego" -e -p "f5pass$n" "$c" "$work/m.bin" "$o" >/dev/null 2>&1 || true
        record "$o" f5stegojs "$share% of the cover's bytes" "$bytes" "f5pass$n" "$c"
    done
done

# ---- JSteg (sequential low bits of the AC coefficients other than 0 and 1, JSteg's header)
mkdir -p "$out/jsteg"
for c in "${jpeg_covers[@]:0:4}"; do
    for share in 10 30 60; do
        n=$((n + 1)); o=$out/jsteg/$(stem "$c")-s$share.jpg
        bytes=$("$work/jsteg_embed" "$c" "$o" "0.$share" "$n" twos 2>/dev/null || echo 0)
        record "$o" jsteg "sequential, $share% of the usable coefficients" "$bytes" "" "$c"
    done
done
for c in "${jpeg_covers[@]:4:2}"; do
    n=$((n + 1)); o=$out/jsteg/$(stem "$c")-magnitude-s50.jpg
    bytes=$("$work/jsteg_embed" "$c" "$o" 0.50 "$n" magnitude 2>/dev/null || echo 0)
    record "$o" jsteg-magnitude "sequential low bit of magnitude >= 2, 50% of the usable coefficients" "$bytes" "" "$c"
done

# ---- gifshuffle (Debian): the palette's order; capacity is log2(colours!) bits
mkdir -p "$out/gifshuffle"
for c in "${gif_covers[@]}"; do
    n=$((n + 1)); o=$out/gifshuffle/$(stem "$c").gif
    text=1 payload 40 $((100 + n)) "$work/m.txt"
    gifshuffle -C -p "shuffle$n" -f "$work/m.txt" "$c" "$o" >/dev/null 2>&1 || true
    record "$o" gifshuffle "compressed 40-character text" 40 "shuffle$n" "$c"
done

# ---- a ZIP archive appended after the image's end
mkdir -p "$out/appended-zip"
for c in "${photo_png[@]:7:1}" "${jpeg_covers[@]:5:1}" "${gif_covers[@]:0:1}"; do
    n=$((n + 1)); o=$out/appended-zip/$(stem "$c")-zip.${c##*.}
    payload 3000 $((100 + n)) "$work/secret.bin"
    rm -f "$work/a.zip"; (cd "$work" && zip -q a.zip secret.bin)
    cat "$c" "$work/a.zip" >"$o"
    record "$o" appended-zip "zip after the end" "$(stat -c %s "$work/a.zip")" "" "$c"
done

echo "stegos: $ok made, $failed failed${skipped:+; skipped:$skipped}"
tail -n +2 "$manifest" | cut -f2 | sort | uniq -c
date -u +%FT%TZ >"$out/READY"
