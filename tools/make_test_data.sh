#!/usr/bin/env bash
# Makes the tiny image files of tests/data with ImageMagick and JxrEncApp (bash tools/setup.sh
# --dev installs them). Run once; the files are committed.
set -euo pipefail
cd "$(dirname "$0")/../tests/data"

# A 4 x 3 pattern with known colours, top row first.
cat > pattern.ppm <<'PPM'
P3
4 3
255
255 0 0    0 255 0    0 0 255    255 255 255
0 0 0      128 64 32  1 2 3      254 253 252
17 34 51   200 100 50 7 7 7      129 0 255
PPM
convert pattern.ppm PNG24:pattern24.png
convert pattern.ppm BMP3:pattern.bmp
convert pattern.ppm pattern-v5.bmp
convert pattern.ppm +dither -colors 16 pattern.gif
for ext in png tif psd webp; do
    convert pattern.ppm -define webp:lossless=true "pattern.$ext"
done
convert pattern.ppm -quality 100 pattern.jpg
convert pattern.ppm pattern.jp2
convert pattern.ppm -define jp2:quality=0 J2K:pattern.j2k
# Known bad inputs: empty, truncated, text with an image name.
: > empty.png
head -c 40 pattern.png > truncated.png
echo "this is not an image" > text.png
cp pattern.png png-with-jpeg-extension.jpg
cp pattern.png photo.Png
cp pattern.tif scan.TIFF
convert pattern.ppm -set comment 'hidden note' -define png:exclude-chunks=date,time png:commented.png
# A valid PNG signature and header that claims 100000 x 100000 pixels, and nothing after it.
python3 - <<'PY'
import struct, zlib
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
ihdr = struct.pack('>IIBBBBB', 100000, 100000, 8, 2, 0, 0, 0)
open('huge-header.png', 'wb').write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', ihdr) + chunk(b'IEND', b''))
PY
rm pattern.ppm

# Files this FreeImage cannot read by itself (the decoder falls back to Qt and libjxr for them),
# and a PSD whose truncation crashes FreeImage's PSD reader.
convert pattern.png pattern.ppm
convert pattern.ppm +dither -colors 256 -compress RLE BMP3:pattern-rle8.bmp
# ImageMagick writes BMPs with the 124-byte (v5) header only; the 108-byte (v4) header is the
# same header without its last 16 bytes (colour profile fields).
python3 - <<'PY'
import struct
data = bytearray(open('pattern-v5.bmp', 'rb').read())
assert struct.unpack_from('<I', data, 14)[0] == 124
out = data[:14] + data[14:14 + 108] + data[14 + 124:]
struct.pack_into('<I', out, 14, 108)
struct.pack_into('<I', out, 10, struct.unpack_from('<I', data, 10)[0] - 16)
struct.pack_into('<I', out, 2, len(out))
open('pattern-v4.bmp', 'wb').write(out)
PY
convert pattern.ppm BMP3:pattern-for-jxr.bmp
JxrEncApp -i pattern-for-jxr.bmp -o pattern.jxr -q 1 > /dev/null
rm pattern-for-jxr.bmp
convert -size 16x12 gradient:red-blue -compress RLE gradient.psd
head -c $(( $(stat -c %s gradient.psd) - 10 )) gradient.psd > truncated.psd
rm pattern.ppm

# The hostile corpus: every format truncated, bit-flipped and with a forged size in its header.
rm -rf hostile && mkdir hostile
python3 - <<'PY'
import random, struct, zlib
sources = ['pattern.png', 'pattern.bmp', 'pattern-v5.bmp', 'pattern-v4.bmp', 'pattern-rle8.bmp',
           'pattern.jpg', 'pattern.jp2', 'pattern.j2k', 'pattern.jxr', 'pattern.tif',
           'pattern.webp', 'pattern.gif', 'pattern.psd', 'gradient.psd']
rng = random.Random(20240611)

def forge_png(d):
    struct.pack_into('>II', d, 16, 20000, 20000)
    struct.pack_into('>I', d, 29, zlib.crc32(bytes(d[12:29])))
def forge_bmp(d):
    struct.pack_into('<ii', d, 18, 20000, 20000)
def forge_gif(d):
    struct.pack_into('<HH', d, 6, 65535, 65535)
def forge_psd(d):
    struct.pack_into('>II', d, 14, 30000, 30000)
def forge_jpg(d):
    at = next(i for i in range(len(d) - 1) if d[i] == 0xFF and d[i + 1] in (0xC0, 0xC2))
    struct.pack_into('>HH', d, at + 5, 20000, 20000)
def forge_jp2(d):
    at = d.index(b'ihdr')
    struct.pack_into('>II', d, at + 4, 20000, 20000)
def forge_j2k(d):
    struct.pack_into('>II', d, 8, 20000, 20000)
def forge_tif(d):
    ifd = struct.unpack_from('<I', d, 4)[0]
    for i in range(struct.unpack_from('<H', d, ifd)[0]):
        entry = ifd + 2 + 12 * i
        tag, kind = struct.unpack_from('<HH', d, entry)
        if tag in (256, 257):
            struct.pack_into('<H' if kind == 3 else '<I', d, entry + 8, 20000)
forgers = {'png': forge_png, 'bmp': forge_bmp, 'gif': forge_gif, 'psd': forge_psd,
           'jpg': forge_jpg, 'jp2': forge_jp2, 'j2k': forge_j2k, 'tif': forge_tif}

for name in sources:
    data = open(name, 'rb').read()
    stem, ext = name.rsplit('.', 1)
    open(f'hostile/{stem}-truncated.{ext}', 'wb').write(data[:len(data) // 2])
    for n in range(3):
        flipped = bytearray(data)
        for _ in range(4):
            at = rng.randrange(8, len(flipped))
            flipped[at] ^= 1 << rng.randrange(8)
        open(f'hostile/{stem}-flipped{n}.{ext}', 'wb').write(flipped)
    if ext in forgers and name != 'gradient.psd':
        forged = bytearray(data)
        forgers[ext](forged)
        open(f'hostile/{stem}-forged.{ext}', 'wb').write(forged)
PY
rm gradient.psd
