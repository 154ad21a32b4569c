#!/usr/bin/env bash
# The clean calibration corpus: a few thousand ordinary images, none hiding anything, in every
# format the decoder reads, made from the pictures that Debian packages ship (wallpapers, a
# manual's figures, a game's art, clip art, icon themes, cameras' sample files). The detectors'
# false-alarm rates are measured on it (tools/calibrate.py); it never enters the repository.
#
# Usage: tools/make_corpus.sh [OUT_DIR [DEBS_DIR]]     (OUT_DIR: /work/corpus)
#   DEBS_DIR holds the packages' .deb files; those missing from it are fetched with
#   apt-get download. The cameras' sample files come from the sources of libimage-exiftool-perl
#   and exiv2 (apt-get source: needs a deb-src line); without them jpeg-camera is smaller.
#   CORPUS_JOBS (2) bounds the parallel conversions.
# Needs: bash tools/setup.sh --dev (imagemagick, libjpeg-turbo-progs, webp, gifsicle, exiftool).
#
# Every choice is deterministic (sorted lists, fixed strides, fixed crop grids), so a rerun on
# the same packages makes the same files. Originals are kept byte for byte; the variants are
# made from crops ("tiles") of the large pictures so that no two files of the corpus show the
# same pixels. Output: one folder per kind, and READY when complete.
set -euo pipefail
out=${1:-/work/corpus}
debs=${2:-}
jobs=${CORPUS_JOBS:-2}
packages=(plasma-workspace-wallpapers gnome-backgrounds desktop-base python3-skimage
          python-matplotlib-data wesnoth-1.16-data openclipart-png adwaita-icon-theme
          oxygen-icon-theme kdegames-card-data-kf5 mate-backgrounds ukui-wallpapers
          lomiri-wallpapers-20.04)
# ImageMagick must be Debian's, whatever else PATH offers under that name.
IM=/usr/bin/convert
for tool in $IM /usr/bin/identify cjpeg djpeg jpegtran cwebp gifsicle exiftool dpkg; do
    command -v "$tool" >/dev/null || { echo "missing $tool: run bash tools/setup.sh --dev" >&2; exit 1; }
done
work=$(mktemp -d /tmp/corpus-work.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/debs" "$work/x" "$work/src"
for p in "${packages[@]}"; do
    deb=""
    [ -n "$debs" ] && deb=$(ls "$debs/${p}"_*.deb 2>/dev/null | sort | tail -n 1 || true)
    if [ -z "$deb" ]; then
        (cd "$work/debs" && apt-get download "$p" >/dev/null 2>&1) ||
            { echo "apt-get download $p failed (run apt-get update first)" >&2; exit 1; }
        deb=$(ls "$work/debs/${p}"_*.deb | head -n 1)
    fi
    dpkg -x "$deb" "$work/x/$p"
done
# Cameras' sample files: maker notes of many makers, GPS. The exiftool ones are 8 x 8 pixels and
# serve as donors of their metadata; exiv2's are real (small) camera files.
if (cd "$work/src" && apt-get source --download-only libimage-exiftool-perl exiv2 >/dev/null 2>&1); then
    mkdir -p "$work/src/exiftool" "$work/src/exiv2"
    tar xf "$work"/src/libimage-exiftool-perl_*.orig.tar.* -C "$work/src/exiftool" --wildcards '*/t/images/*.jpg'
    tar xf "$work"/src/exiv2_*.orig.tar.* -C "$work/src/exiv2" --wildcards '*/test/data/*.jpg'
else
    echo "note: apt-get source failed (no deb-src line?): jpeg-camera gets no maker-note donors" >&2
fi
rm -rf "$out"
mkdir -p "$out"
python3 - "$work" "$out" "$jobs" "$IM" <<'PY'
import os, re, struct, subprocess, sys, shutil
from concurrent.futures import ThreadPoolExecutor

work, out, jobs, IM = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
X = os.path.join(work, 'x')
T = os.path.join(work, 'tiles')
os.makedirs(T, exist_ok=True)
MIN_SIDE, MAX_PIXELS = 16, 30_000_000
SMALL = 40_000            # pixels: icons, labels and small figures form a kind of their own
BIG = 8_000_000           # originals above this are few and slow: at most BIG_CAP of them
BIG_CAP = 24


def pick(items, k):
    """k items spread evenly over a sorted list (a fixed stride, no randomness)."""
    items = list(items)
    if k >= len(items):
        return items
    return [items[i * len(items) // k] for i in range(k)]


def interleave(groups):
    """One from each group in turn, so a slice of the result mixes every source."""
    groups = [list(g) for g in groups]
    res, i = [], 0
    while True:
        row = [g[i] for g in groups if i < len(g)]
        if not row:
            return res
        res += row
        i += 1


def header(path):
    """(kind, width, height, detail) from the first bytes, or None. detail: PNG (depth, colour
    type, has tRNS)."""
    try:
        with open(path, 'rb') as f:
            d = f.read(1 << 16)
    except OSError:
        return None
    if d[:8] == b'\x89PNG\r\n\x1a\n' and len(d) >= 33:
        w, h, depth, ctype = struct.unpack('>IIBB', d[16:26])
        return ('png', w, h, (depth, ctype, b'tRNS' in d))
    if d[:6] in (b'GIF87a', b'GIF89a'):
        w, h = struct.unpack('<HH', d[6:10])
        return ('gif', w, h, None)
    if d[:2] == b'BM' and len(d) >= 26:
        w, h = struct.unpack('<ii', d[18:26])
        return ('bmp', w, abs(h), None)
    if d[:4] == b'RIFF' and d[8:12] == b'WEBP':
        c = d[12:16]
        if c == b'VP8X':
            w = 1 + int.from_bytes(d[24:27], 'little'); h = 1 + int.from_bytes(d[27:30], 'little')
        elif c == b'VP8L':
            b = int.from_bytes(d[21:25], 'little'); w = 1 + (b & 0x3FFF); h = 1 + ((b >> 14) & 0x3FFF)
        else:
            w, h = struct.unpack('<HH', d[26:30]); w &= 0x3FFF; h &= 0x3FFF
        return ('webp', w, h, None)
    if d[:2] == b'\xff\xd8':
        i = 2
        with open(path, 'rb') as f:
            d = f.read(4 << 20)
        while i + 9 < len(d):
            if d[i] != 0xFF:
                return None
            m = d[i + 1]
            if m in (0xD8, 0x01) or 0xD0 <= m <= 0xD7 or m == 0xFF:
                i += 1 if m == 0xFF else 2
                continue
            n = struct.unpack('>H', d[i + 2:i + 4])[0]
            if m in (0xC0, 0xC1, 0xC2, 0xC3, 0xC9, 0xCA, 0xCB):
                h, w = struct.unpack('>HH', d[i + 5:i + 9])
                return ('jpeg', w, h, (m, d[i + 9]))
            i += 2 + n
        return None
    return None


def run(cmd):
    r = subprocess.run(cmd, shell=True, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    return r.returncode == 0


def parallel(fn, items):
    with ThreadPoolExecutor(jobs) as ex:
        return list(ex.map(fn, items))


def readable(path):
    # A full decode: the packages ship a few deliberately broken test files.
    return run(f"/usr/bin/identify -regard-warnings '{path}' >/dev/null 2>&1")


# ---- inventory of every raster picture the packages ship
inv = []
for pkg in sorted(os.listdir(X)):
    for root, dirs, files in os.walk(os.path.join(X, pkg)):
        dirs.sort()
        for name in sorted(files):
            if name.lower().rsplit('.', 1)[-1] not in ('png', 'jpg', 'jpeg', 'gif', 'bmp', 'tif', 'tiff', 'webp'):
                continue
            p = os.path.join(root, name)
            if os.path.islink(p):
                continue
            h = header(p)
            if not h:
                continue
            kind, w, hh, detail = h
            if w < MIN_SIDE or hh < MIN_SIDE or w * hh > MAX_PIXELS:
                continue
            inv.append((pkg, p, kind, w, hh, detail))
print(f'{len(inv)} pictures in {len(os.listdir(X))} packages', flush=True)

WALL = {'plasma-workspace-wallpapers', 'gnome-backgrounds', 'desktop-base', 'mate-backgrounds',
        'ukui-wallpapers', 'lomiri-wallpapers-20.04', 'python3-skimage'}


def dedupe_largest(items):
    """A wallpaper ships one picture at many sizes in one folder: keep the largest."""
    best = {}
    for it in items:
        key = os.path.dirname(it[1]) if it[0] == 'plasma-workspace-wallpapers' else it[1]
        if key not in best or it[3] * it[4] > best[key][3] * best[key][4]:
            best[key] = it
    return sorted(best.values(), key=lambda t: t[1])


# ---- sources of tiles: photographs (JPEG wallpapers, the science photos, cameras' large files)
# and renders (PNG and WebP wallpapers, the game's large art)
big = [it for it in inv if it[3] * it[4] >= 300_000]
photo_src = dedupe_largest([it for it in big if it[0] in WALL and it[2] == 'jpeg'] +
                           [it for it in big if it[0] == 'python3-skimage' and it[2] == 'png'])
render_src = dedupe_largest([it for it in big if it[0] in WALL and it[2] in ('png', 'webp')
                             and it[0] != 'python3-skimage'] +
                            [it for it in big if it[0] == 'wesnoth-1.16-data'])
exiv2 = []
for root, dirs, files in os.walk(os.path.join(work, 'src', 'exiv2')):
    for name in sorted(files):
        p = os.path.join(root, name)
        h = header(p)
        # Cameras' own files only: exiv2's test data also holds constructed and hostile files
        # (IPTC layouts, crash reproducers, extracted previews).
        camera = re.fullmatch(r'exiv2-(canon|nikon|fujifilm|kodak|olympus|panasonic|pentax|sigma|sony)-[a-z0-9-]+\.jpg', name) \
            or re.fullmatch(r'(DSC_\d+|FurnaceCreekInn\d?|Reagan(LargeJpg)?)\.jpg', name)
        if camera and 'preview' not in name and h and h[0] == 'jpeg' and h[1] >= MIN_SIDE and h[2] >= MIN_SIDE:
            exiv2.append(p)
exiv2.sort()
photo_src = [it for it, ok in zip(photo_src, parallel(lambda it: readable(it[1]), photo_src)) if ok]
render_src = [it for it, ok in zip(render_src, parallel(lambda it: readable(it[1]), render_src)) if ok]
print(f'{len(photo_src)} photographs and {len(render_src)} renders to cut tiles from', flush=True)

SIZES = [(512, 512), (640, 480), (384, 384), (800, 600), (480, 640), (256, 256), (1024, 768), (320, 240)]


def cut(arg):
    """Tiles of one source at three scales, on a fixed grid: PPM files (8-bit) in T."""
    idx, (pkg, path, kind, w, h, detail), tag = arg
    res = []
    base = os.path.join(T, f'{tag}{idx:03d}')
    scales = [sc for sc in (100, 70, 50, 30) if w * sc // 100 >= 256 and h * sc // 100 >= 256]
    # One decode of the source, every scale cut from it.
    chain = ' '.join(f"\\( +clone -resize {sc}% -write ppm:'{base}-s{sc}.ppm' +delete \\)" for sc in scales)
    if not scales or not run(f"{IM} '{path}[0]' -auto-orient -strip -background white -alpha remove "
                             f"-type TrueColor -depth 8 {chain} null:"):
        return res
    for si, scale in enumerate(scales):
        ppm = f'{base}-s{scale}.ppm'
        if not os.path.exists(ppm):
            continue
        with open(ppm, 'rb') as f:
            data = f.read()
        # P6 header: magic, width, height, maxval, each ended by one whitespace byte (the pixels
        # may begin with bytes that look like whitespace, so no split of the whole).
        fields, at = [], 0
        while len(fields) < 4:
            while data[at:at + 1].isspace():
                at += 1
            end = at
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[at:end])
            at = end + 1
        pw, ph = int(fields[1]), int(fields[2])
        px = data[at:]
        n = 0
        tw, th = SIZES[(idx + si) % len(SIZES)]
        y = (ph % th) // 2
        while y + th <= ph and n < 24:
            x = (pw % tw) // 2
            while x + tw <= pw and n < 24:
                rows = b''.join(px[(y + r) * pw * 3 + x * 3:(y + r) * pw * 3 + (x + tw) * 3] for r in range(th))
                name = f'{base}-s{scale}-{x}-{y}.ppm'
                with open(name, 'wb') as f:
                    f.write(b'P6\n%d %d\n255\n' % (tw, th) + rows)
                res.append((name, path, scale, x, y, tw, th))
                n += 1
                x += tw
            y += th
        os.remove(ppm)
    return res


photo_tiles = parallel(cut, [(i, s, 'p') for i, s in enumerate(photo_src)])
render_tiles = parallel(cut, [(i, s, 'r') for i, s in enumerate(render_src)])
photo_tiles = interleave(photo_tiles)
render_tiles = interleave(render_tiles)
print(f'{len(photo_tiles)} photo tiles, {len(render_tiles)} render tiles', flush=True)


class Pool:
    """Hands out tiles in order so that no tile serves twice."""
    def __init__(self, tiles):
        self.tiles, self.at = tiles, 0

    def take(self, k):
        got = self.tiles[self.at:self.at + k]
        self.at += len(got)
        return got


photos, renders = Pool(photo_tiles), Pool(render_tiles)
tasks = []        # (kind, output name, shell command with {o} for the output path)
copies = []       # (kind, output name, source path)


def stem(tile):
    name, src, scale, x, y, tw, th = tile
    # Sources share names (a wallpaper's sizes are named WxH in every theme): the tile's source
    # number keeps the names apart.
    s = os.path.splitext(os.path.basename(src))[0].replace(' ', '_').replace("'", '')
    return f"{os.path.basename(name).split('-')[0]}-{s}-s{scale}-{x}x{y}"


def add(kind, tiles, ext, make):
    for i, t in enumerate(tiles):
        cmd, tag = make(i, t)
        tasks.append((kind, f'{stem(t)}{tag}.{ext}', cmd))


def src_crop(t, extra=''):
    """The tile cut again from its source at 16 bits per sample (ImageMagick works in 16 bits, so
    the scaled pixels keep their fractional part)."""
    name, src, scale, x, y, tw, th = t
    return (f"{IM} '{src}[0]' -auto-orient -strip -background white -alpha remove -resize {scale}% "
            f"-crop {tw}x{th}+{x}+{y} +repage {extra}")


# ---- lossless kinds made from tiles
add('png-photo', photos.take(250), 'png', lambda i, t: (f"{IM} '{t[0]}' PNG24:{{o}}", ''))
add('png-render', renders.take(150), 'png', lambda i, t: (f"{IM} '{t[0]}' PNG24:{{o}}", ''))
add('png-grey', photos.take(60) + renders.take(90), 'png',
    lambda i, t: (f"{IM} '{t[0]}' -colorspace Gray -depth 8 -define png:color-type=0 PNG:{{o}}", ''))
add('png16', photos.take(80) + renders.take(30), 'png', lambda i, t: (
    src_crop(t, '-depth 16 ' + ('-colorspace Gray -define png:color-type=0 PNG:{o}' if i % 4 == 3 else 'PNG48:{o}')), ''))
add('png-palette', renders.take(130) + photos.take(30), 'png', lambda i, t: (
    f"{IM} '{t[0]}' {'+dither ' if i % 2 else ''}-colors {(256, 64, 16, 200)[i % 4]} PNG8:{{o}}",
    f'-c{(256, 64, 16, 200)[i % 4]}{"n" if i % 2 else "d"}'))
add('gif', renders.take(140) + photos.take(40), 'gif', lambda i, t: (
    f"{IM} '{t[0]}' {'+dither ' if i % 3 == 0 else ''}-colors {(256, 128, 32)[i % 3]} GIF:- | gifsicle -O2 > {{o}}",
    ''))
add('bmp', photos.take(80) + renders.take(90), 'bmp', lambda i, t: (
    f"{IM} '{t[0]}' " + ("-colors 256 -type Palette BMP3:{o}" if i % 5 == 4 else "-type TrueColor BMP3:{o}"),
    '-8' if i % 5 == 4 else '-24'))
add('tiff', photos.take(80) + renders.take(80), 'tif', lambda i, t: (
    (src_crop(t, '-depth 16 -compress Zip TIFF:{o}') if i % 6 == 5 else
     f"{IM} '{t[0]}' {'-colorspace Gray ' if i % 6 == 4 else ''}-compress {('None', 'LZW', 'Zip', 'None', 'LZW')[i % 6 % 5]} TIFF:{{o}}"),
    ('-none', '-lzw', '-zip', '-none', '-grey', '-16')[i % 6]))
add('webp', photos.take(80) + renders.take(90), 'webp', lambda i, t: (
    f"cwebp -quiet {'-lossless' if i % 2 else '-q ' + str(75 + 5 * (i % 5))} '{t[0]}' -o {{o}}",
    '-ll' if i % 2 else f'-q{75 + 5 * (i % 5)}'))

# ---- JPEG kinds made from tiles
def cj(i, t, q, extra=''):
    return f"cjpeg -quality {q} {extra} '{t[0]}' > {{o}}"


add('jpeg-baseline', photos.take(180) + renders.take(70), 'jpg', lambda i, t: (
    cj(i, t, 70 + 2 * (i % 12), '-sample 1x1' if i % 3 == 2 else ''), f'-q{70 + 2 * (i % 12)}'))
add('jpeg-q95-100', photos.take(150) + renders.take(50), 'jpg', lambda i, t: (
    cj(i, t, 95 + i % 6) if i % 2 == 0 else f"{IM} '{t[0]}' -quality {95 + i % 6} JPEG:{{o}}",
    f'-q{95 + i % 6}'))
TWICE = [(75, 95), (80, 90), (70, 85), (85, 95), (90, 98), (75, 90), (60, 80), (95, 85)]
add('jpeg-twice', photos.take(150) + renders.take(50), 'jpg', lambda i, t: (
    f"cjpeg -quality {TWICE[i % 8][0]} '{t[0]}' | djpeg | " +
    (f"cjpeg -quality {TWICE[i % 8][1]} > {{o}}" if i % 3 else f"{IM} ppm:- -quality {TWICE[i % 8][1]} JPEG:{{o}}"),
    f'-q{TWICE[i % 8][0]}-{TWICE[i % 8][1]}'))
add('jpeg-progressive', photos.take(110) + renders.take(40), 'jpg', lambda i, t: (
    cj(i, t, 75 + 3 * (i % 7), '-progressive'), f'-q{75 + 3 * (i % 7)}'))
add('jpeg-grey', photos.take(100) + renders.take(50), 'jpg', lambda i, t: (
    cj(i, t, 70 + 4 * (i % 8), '-grayscale' + (' -progressive' if i % 5 == 4 else '')), f'-q{70 + 4 * (i % 8)}'))

# Camera files: a tile encoded as a camera does (4:2:2 or 4:2:0, quality 85 to 97) carrying the
# whole EXIF of one maker's sample (maker notes, GPS, thumbnails).
donors = []
for root, dirs, files in os.walk(os.path.join(work, 'src', 'exiftool')):
    for name in files:
        if name[:-4] in ('Apple', 'Canon', 'Canon1DmkIII', 'Casio', 'Casio2', 'FujiFilm', 'GE', 'GoPro',
                         'GPS', 'JVC', 'Kodak', 'Minolta', 'Motorola', 'Nikon', 'NikonD2Hs', 'NikonD70',
                         'Olympus', 'Olympus2', 'OlympusE1', 'Panasonic', 'Pentax', 'Ricoh', 'Sanyo',
                         'Sigma', 'Sony') and name.endswith('.jpg'):
            donors.append(os.path.join(root, name))
donors.sort()
if donors:
    add('jpeg-camera', photos.take(180), 'jpg', lambda i, t: (
        cj(i, t, 85 + 2 * (i % 7), '-sample 2x1' if i % 2 else '') +
        f" && exiftool -q -q -overwrite_original -TagsFromFile '{donors[i % len(donors)]}' -all:all -unsafe {{o}}",
        '-' + os.path.basename(donors[i % len(donors)])[:-4]))
for p in exiv2:
    copies.append(('jpeg-camera', 'exiv2-' + os.path.basename(p).replace('exiv2-', ''), p))

# ---- originals, byte for byte
def orig(items, kind, k):
    for pkg, p, *_ in pick(items, k):
        copies.append((kind, f'{pkg}--{os.path.basename(p)}', p))


def by_pkg(items, k_each):
    groups = {}
    for it in items:
        groups.setdefault(it[0], []).append(it)
    res = []
    for g in sorted(groups):
        res += pick(groups[g], k_each)
    return res


bigcount = 0


def cap_big(items):
    global bigcount
    res = []
    for it in items:
        if it[3] * it[4] > BIG:
            if bigcount >= BIG_CAP:
                continue
            bigcount += 1
        res.append(it)
    return res


small = [it for it in inv if it[3] * it[4] < SMALL]
large = [it for it in inv if it[3] * it[4] >= SMALL]
pngs = [it for it in large if it[2] == 'png']
alpha = [it for it in pngs if it[5][1] in (4, 6) or (it[5][1] in (2, 3) and it[5][2])]
palette = [it for it in pngs if it[5][1] == 3]
grey = [it for it in pngs if it[5][1] in (0, 4)]
deep = [it for it in pngs if it[5][0] == 16]
opaque = [it for it in pngs if it[5][1] == 2 and not it[5][2] and it[5][0] == 8]
jpegs = [it for it in large if it[2] == 'jpeg']
orig(by_pkg(small, 40), 'small-figures', 320)
orig(cap_big(by_pkg(alpha, 60)), 'png-alpha', 320)
orig(by_pkg(palette, 40), 'png-palette', 60)
orig(by_pkg(grey, 30), 'png-grey', 50)
orig(deep, 'png16', 40)
orig(cap_big(by_pkg(opaque, 40)), 'png-render', 150)
orig(cap_big(by_pkg([it for it in large if it[2] == 'webp'], 20)), 'webp', 20)
orig(cap_big(by_pkg([it for it in large if it[2] in ('gif', 'bmp')], 20)), 'gif', 20)
orig(cap_big(by_pkg(jpegs, 60)), 'jpeg-other', 200)
# Progressive copies of the shipped JPEGs, lossless (jpegtran keeps every coefficient).
prog = [it for it in jpegs if it[5][0] == 0xC0 and it[3] * it[4] <= BIG]
for i, (pkg, p, *_) in enumerate(pick(prog, 60)):
    tasks.append(('jpeg-progressive', f'{pkg}--tran{i:02d}-{os.path.basename(p)}',
                  f"jpegtran -copy all -progressive '{p}' > {{o}}"))
# Small figures cut from renders: labels and icons of odd sizes (a 384 x 54 label, a 70 x 46 icon).
FIG = [(384, 54), (70, 46), (120, 90), (200, 150), (64, 64), (160, 32), (96, 128), (48, 40)]
add('small-figures', renders.take(80), 'png', lambda i, t: (
    f"{IM} '{t[0]}' -gravity center -crop {FIG[i % 8][0]}x{FIG[i % 8][1]}+0+0 +repage "
    + ("-colors 16 PNG8:{o}" if i % 4 == 3 else "PNG24:{o}"), f'-{FIG[i % 8][0]}x{FIG[i % 8][1]}'))

# Packages ship a few deliberately broken test files: an original must decode in full.
copies = [c for c, ok in zip(copies, parallel(lambda c: readable(c[2]), copies)) if ok]
for kind in {k for k, *_ in tasks} | {k for k, *_ in copies}:
    os.makedirs(os.path.join(out, kind), exist_ok=True)
for kind, name, src in copies:
    dst = os.path.join(out, kind, name)
    n = 1
    while os.path.exists(dst):
        # Packages ship many files of one name in different folders.
        n += 1
        dst = os.path.join(out, kind, f'{os.path.splitext(name)[0]}-{n}{os.path.splitext(name)[1]}')
    shutil.copyfile(src, dst)


def do(task):
    kind, name, cmd = task
    o = os.path.join(out, kind, name)
    if not run(cmd.replace('{o}', f"'{o}'")):
        if os.path.exists(o):
            os.remove(o)
        return f'failed: {kind}/{name}'
    return None


fails = [f for f in parallel(do, tasks) if f]
for f in fails[:10]:
    print(f, file=sys.stderr)
print(f'{len(fails)} conversions failed', flush=True)

total = 0
print('kind\tfiles\tMB')
for kind in sorted(os.listdir(out)):
    d = os.path.join(out, kind)
    if not os.path.isdir(d):
        continue
    names = os.listdir(d)
    size = sum(os.path.getsize(os.path.join(d, n)) for n in names)
    total += len(names)
    print(f'{kind}\t{len(names)}\t{size / 1e6:.1f}')
print(f'total\t{total}')
PY
date -u +%FT%TZ >"$out/READY"
