#!/bin/sh
# JPEG covers and stegos for the JPEG statistics. The pictures are photographs shipped in Debian's
# python3-skimage package (chelsea, coffee, astronaut, ...), fetched with apt-get download into a
# temporary folder; they never enter the repository except as the few tiny re-saved files below.
# Covers are re-saved with cjpeg (75, 85, 95, 4:2:0 and 4:4:4, progressive, grey); F5 stegos come
# from npm's f5stegojs, OutGuess stegos from Debian's outguess, double compression from
# cjpeg 80 | djpeg | cjpeg 95. JSteg stegos are made by the tests themselves from the rule.
#
# Usage: tools/make_jpeg_fixtures.sh fixtures   rewrites tests/data/jpeg (a handful of tiny files)
#        tools/make_jpeg_fixtures.sh corpus DIR  makes the measurement corpus in DIR
# Needs: apt-get install outguess libjpeg-turbo-progs imagemagick; npm install -g f5stegojs
set -eu
mode=${1:-fixtures}
here=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download python3-skimage >/dev/null 2>&1) ||
    { echo "apt-get download python3-skimage failed (run apt-get update first)" >&2; exit 1; }
dpkg -x "$work"/python3-skimage_*.deb "$work/package"
photos="$work/package/usr/lib/python3/dist-packages/skimage/data"

# A message of random bytes, so every embedder meets the same incompressible payload.
message() { head -c "$1" /dev/urandom >"$2"; }

# $1 picture, $2 size WxH or "", $3 grey|colour: a PPM/PGM of it.
pnm() {
    if [ "$3" = grey ]; then set -- "$1" "$2" -colorspace Gray pgm; else set -- "$1" "$2" -type truecolor ppm; fi
    if [ -n "$2" ]; then convert "$1" -resize "$2!" $3 $4 "$5:-"; else convert "$1" $3 $4 "$5:-"; fi
}

# $1 cover.jpg $2 stego.jpg $3 message bytes: F5 with a fixed key. Fails when over capacity.
f5() { message "$3" "$work/msg" && f5stego -e -p vantrel "$1" "$work/msg" "$2" >/dev/null 2>&1; }
# OutGuess decompresses its cover and compresses it again: $4 is the quality it should use.
outg() { message "$3" "$work/msg" && outguess -k vantrel -p "$4" -d "$work/msg" "$1" "$2" >/dev/null 2>&1; }

if [ "$mode" = fixtures ]; then
    out="$here/tests/data/jpeg"
    rm -rf "$out" && mkdir -p "$out"
    # 320 x 240 is about the least on which calibration is steady (smaller clean files read beta
    # 0.25 and more).
    pnm "$photos/chelsea.png" 320x240 colour >"$work/colour.ppm"
    for q in 75 85 95 99; do cjpeg -quality $q "$work/colour.ppm" >"$out/chelsea-q$q.jpg"; done
    cjpeg -quality 85 -sample 1x1 "$work/colour.ppm" >"$out/chelsea-q85-444.jpg"
    cjpeg -quality 85 -progressive "$work/colour.ppm" >"$out/chelsea-q85-progressive.jpg"
    cjpeg -quality 85 -grayscale "$work/colour.ppm" >"$out/chelsea-grey-q85.jpg"
    cjpeg -quality 80 "$work/colour.ppm" | djpeg | cjpeg -quality 95 >"$out/chelsea-double-80-95.jpg"
    f5 "$out/chelsea-q85.jpg" "$out/chelsea-f5.jpg" 1200
    outg "$out/chelsea-q85.jpg" "$out/chelsea-outguess.jpg" 300 85
    # Two COM segments and bytes after EOI, as a tool hiding data past the image leaves them.
    wrjpgcom -comment "first note" "$out/chelsea-q85.jpg" | wrjpgcom -comment "caf$(printf '\351')" |
        cat - "$out/chelsea-q95.jpg" >"$out/chelsea-comments-trailer.jpg"
    head -c 2500 "$out/chelsea-q75.jpg" >"$out/truncated.jpg"
    # Entropy data overwritten with a marker and fill bytes: libjpeg must fail or resynchronise,
    # never crash.
    head -c 4000 "$out/chelsea-q75.jpg" >"$out/corrupt.jpg"
    printf '\377\332\377\377\377\377\377\377\000\377\331' >>"$out/corrupt.jpg"
    du -sh "$out"
    exit 0
fi

out=${2:?corpus needs a folder}
mkdir -p "$out/clean" "$out/double" "$out/f5" "$out/outguess"
for name in astronaut chelsea coffee motorcycle_left motorcycle_right brick grass gravel ihc \
    rocket retina hubble_deep_field camera moon coins page; do
    file=$(ls "$photos/$name".* | head -n 1)
    case $name in camera | moon | coins | page) kind=grey ;; *) kind=colour ;; esac
    # A picture no larger than 640 x 480 keeps the F5 runs short.
    size=$(identify -format '%w %h' "$file" | awk '{s = 640 / $1; if (480 / $2 < s) s = 480 / $2; if (s > 1) s = 1; printf "%dx%d", int($1 * s / 8) * 8, int($2 * s / 8) * 8}')
    pnm "$file" "$size" $kind >"$work/p.pnm"
    if [ $kind = grey ]; then
        variants="q75:-quality,75 q85:-quality,85 q95:-quality,95 q85p:-quality,85,-progressive"
    else
        variants="q75:-quality,75 q85:-quality,85 q95:-quality,95 q85s444:-quality,85,-sample,1x1 q85p:-quality,85,-progressive q85g:-quality,85,-grayscale"
    fi
    for v in $variants; do
        tag=${v%%:*}
        cjpeg $(echo "${v#*:}" | tr , ' ') "$work/p.pnm" >"$out/clean/$name-$tag.jpg"
    done
    for pair in "80 95" "75 90" "70 85"; do
        set -- $pair
        cjpeg -quality $1 "$work/p.pnm" | djpeg | cjpeg -quality $2 >"$out/double/$name-d$1-$2.jpg"
    done
    for tag in q75 q85 q95; do
        cover="$out/clean/$name-$tag.jpg"
        bytes=$(stat -c %s "$cover")
        for share in 2 5 10 20; do
            f5 "$cover" "$out/f5/$name-$tag-m$share.jpg" $((bytes * share / 100)) || rm -f "$out/f5/$name-$tag-m$share.jpg"
            outg "$cover" "$out/outguess/$name-$tag-m$share.jpg" $((bytes * share / 100)) ${tag#q} || rm -f "$out/outguess/$name-$tag-m$share.jpg"
        done
    done
done
find "$out" -name '*.jpg' | wc -l
