#!/usr/bin/env bash
# Makes the tiny image files of tests/data with ImageMagick. Run once; the files are committed.
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
