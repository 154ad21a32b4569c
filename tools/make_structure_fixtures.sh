#!/usr/bin/env bash
# Remakes tests/data/structure: clean files of every format the structure walk reads, and
# planted cases made with the real tools (cat, zip -A, exiftool, ImageMagick, wrjpgcom,
# gifsicle, webpmux) or, where no tool makes them, by a few lines of Python. Every file is
# tiny. Needs: bash tools/setup.sh --dev. Usage: tools/make_structure_fixtures.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out="$root/tests/data/structure"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
rm -f "$out"/*
cd "$work"
im=/usr/bin/convert # ImageMagick itself, whatever else a PATH puts first

# --- covers and the payload ------------------------------------------------------------------
$im -seed 7 -size 24x16 plasma:red-blue -depth 8 cover.ppm
$im -seed 9 -size 24x16 plasma:green-yellow -depth 8 other.ppm
printf 'Meet at the north gate at dawn; bring the blue folder.\n' >secret.txt
TZ=UTC touch -d 2024-01-01T00:00:00 secret.txt
zip -q -X secret.zip secret.txt
cp secret.zip "$out/secret.zip"

# --- clean files -----------------------------------------------------------------------------
# ImageMagick writes its tEXt date chunks after IDAT.
$im cover.ppm -set comment 'a plain comment' "$out/clean-im.png"
$im cover.ppm -colors 16 -define png:format=png8 "$out/clean-palette.png"
$im cover.ppm -interlace PNG "$out/clean-interlaced.png"
$im cover.ppm -quality 85 "$out/clean.jpg"
# Camera-like: EXIF with maker, model, GPS, a user comment and a thumbnail of the same picture.
$im cover.ppm -resize 12x8 thumb.jpg
$im cover.ppm -quality 90 camera.jpg
exiftool -q -overwrite_original -Make=Canon -Model='Canon EOS 5D' -Software='Firmware 1.1' \
    -GPSLatitude=48.8583 -GPSLatitudeRef=N -GPSLongitude=2.2945 -GPSLongitudeRef=E \
    -UserComment='holiday snapshot' -Artist='A. Photographer' '-ThumbnailImage<=thumb.jpg' \
    -XMP:CreatorTool='Editor 5.0' -XMP:Description='harbour at dusk' \
    -IPTC:Caption-Abstract='harbour' -IPTC:By-line='A. Photographer' camera.jpg
cp camera.jpg "$out/clean-camera.jpg"
# A fixed-size thumbnail (4:3) of a 3:2 picture, with black bars as cameras make it.
$im cover.ppm -resize 16x12 -background black -gravity center -extent 16x12 letterbox.jpg
exiftool -q '-ThumbnailImage<=letterbox.jpg' -Make=Nikon camera.jpg -o "$out/clean-letterbox.jpg"
# An ICC profile: a minimal grey display profile (white point and an identity curve), since
# Debian ships no sRGB profile file outside colour-management packages.
python3 - <<'PY'
import struct
tags = [(b'wtpt', b'XYZ \0\0\0\0' + struct.pack('>iii', 63190, 65536, 54061)),
        (b'kTRC', b'curv\0\0\0\0' + struct.pack('>I', 0))]
table, body, at = b'', b'', 128 + 4 + 12 * len(tags)
for sig, data in tags:
    table += sig + struct.pack('>II', at + len(body), len(data))
    body += data + b'\0' * (-len(data) % 4)
size = at + len(body)
header = struct.pack('>I4sI4s4s4s', size, b'none', 0x02100000, b'mntr', b'GRAY', b'XYZ ')
header += b'\0' * 12 + b'acsp' + b'\0' * 4 + struct.pack('>I', 0) + b'\0' * 24
header += struct.pack('>iii', 63190, 65536, 54061) + b'\0' * 4
header += b'\0' * (128 - len(header))
open('icc.bin', 'wb').write(header + struct.pack('>I', len(tags)) + table + body)
PY
exiftool -q '-ICC_Profile<=icc.bin' "$out/clean.jpg" -o "$out/clean-icc.jpg"
$im cover.ppm -colorspace CMYK "$out/clean-cmyk.jpg"
$im cover.ppm -colors 8 "$out/clean.gif"
gifsicle --loopcount=forever --delay 10 "$out/clean.gif" "$out/clean.gif" >"$out/clean-anim.gif"
# Old writers padded GIFs to a block with 0x1A (the CP/M end-of-file byte).
cp "$out/clean.gif" "$out/clean-padded.gif"
printf '\x1a\x1a\x1a\x1a\x1a' >>"$out/clean-padded.gif"
$im cover.ppm "$out/clean.bmp"
$im cover.ppm -colors 16 -type Palette "$out/clean-palette.bmp"
$im cover.ppm -define bmp:format=bmp3 "$out/clean-v3.bmp"
cwebp -quiet cover.ppm -o plain.webp 2>/dev/null || $im cover.ppm plain.webp
cp plain.webp "$out/clean.webp"
exiftool -q -b -Exif camera.jpg >exif.bin
exiftool -q -b -XMP camera.jpg >xmp.bin
$im cover.ppm -define webp:lossless=true lossless.webp
webpmux -set exif exif.bin lossless.webp -o step.webp
webpmux -set xmp xmp.bin step.webp -o step2.webp
webpmux -set icc icc.bin step2.webp -o "$out/clean-meta.webp"
$im cover.ppm "$out/clean.tif"
$im cover.ppm other.ppm "$out/clean-multipage.tif"
$im cover.ppm "$out/clean-ascii.ppm" && $im cover.ppm -compress none "$out/clean-ascii.ppm"
$im cover.ppm -set comment 'made by a scanner' "$out/clean-binary.ppm"
$im cover.ppm "$out/clean.psd"
$im cover.ppm "$out/clean.jp2"

python3 - "$out" <<'PY'
import struct, sys, zlib
out = sys.argv[1]

def tiff_orphan(src, dst):
    # An editor that rewrites a directory in place appends the new one and leaves the old.
    data = bytearray(open(src, 'rb').read())
    little = data[:2] == b'II'
    e = '<' if little else '>'
    first = struct.unpack(e + 'I', data[4:8])[0]
    count = struct.unpack(e + 'H', data[first:first + 2])[0]
    ifd = data[first:first + 2 + 12 * count + 4]
    if len(data) % 2:
        data += b'\0'
    new = len(data)
    data += ifd
    data[4:8] = struct.pack(e + 'I', new)
    open(dst, 'wb').write(data)
tiff_orphan(f'{out}/clean.tif', f'{out}/clean-orphan-ifd.tif')

def photo_mechanic(src, dst):
    iptc = b'\x1c\x02\x78' + struct.pack('>H', 7) + b'harbour'
    open(dst, 'wb').write(open(src, 'rb').read() + iptc + struct.pack('>I', len(iptc)) + b'cbipcbbl')
photo_mechanic(f'{out}/clean.psd', f'{out}/clean-photomechanic.psd')

def mpf(src, second, dst):
    # A camera's two-image file: an APP2 MPF segment listing the second JPEG after the first EOI.
    a, b = open(src, 'rb').read(), open(second, 'rb').read()
    def segment(first_size, second_offset):
        entries = struct.pack('>IIIHH', 0x20030000, first_size, 0, 0, 0)
        entries += struct.pack('>IIIHH', 0x00020002, len(b), second_offset, 0, 0)
        ifd = struct.pack('>H', 3)
        ifd += struct.pack('>HHI4s', 0xB000, 7, 4, b'0100')
        ifd += struct.pack('>HHII', 0xB001, 4, 1, 2)
        ifd += struct.pack('>HHII', 0xB002, 7, len(entries), 8 + 2 + 36 + 4)
        ifd += struct.pack('>I', 0)
        body = b'MPF\0' + b'MM\0*' + struct.pack('>I', 8) + ifd + entries
        return b'\xff\xe2' + struct.pack('>H', len(body) + 2) + body
    size = len(segment(0, 0))
    tiff_at = 2 + 4 + 4 # SOI, marker and length, 'MPF\0'
    first = len(a) + size
    seg = segment(first, first - tiff_at)
    open(dst, 'wb').write(a[:2] + seg + a[2:] + b)
mpf(f'{out}/clean.jpg', f'{out}/clean-cmyk.jpg', f'{out}/clean-mpf.jpg')
PY

# --- planted cases ---------------------------------------------------------------------------
cover_png="$out/clean-im.png"
cat "$cover_png" secret.zip >"$out/appended-zip.png"
cat "$cover_png" secret.zip >sfx.png && zip -q -A sfx.png && cp sfx.png "$out/zip-a.png"
cat "$out/clean.jpg" secret.zip >"$out/appended-zip.jpg"
cat "$out/clean.gif" secret.zip >"$out/appended-zip.gif"
cat "$out/clean.bmp" secret.zip >"$out/appended-zip.bmp"
cat "$out/clean.webp" secret.zip >"$out/appended-zip.webp"
cat "$out/clean.tif" secret.zip >"$out/appended-zip.tif"
cat "$out/clean.psd" secret.zip >"$out/appended-zip.psd"
cat "$out/clean.jp2" secret.zip >"$out/appended-zip.jp2"
cat "$out/clean-binary.ppm" secret.zip >"$out/appended-zip.ppm"
cp "$out/clean-mpf.jpg" mpf-zip.jpg && cat secret.zip >>mpf-zip.jpg && cp mpf-zip.jpg "$out/appended-zip-mpf.jpg"
printf 'secret text after the end of the image\n' >tail.txt
cat "$out/clean.jpg" tail.txt >"$out/appended-text.jpg"
# Metadata comments: listed as texts, never flagged by themselves.
wrjpgcom -comment 'the key is under the mat' "$out/clean.jpg" >"$out/comment.jpg"
exiftool -q -ImageDescription='the key is under the mat' \
    -XMP:Description='meet at noon' -IPTC:Caption-Abstract='bring the folder' \
    "$out/clean.jpg" -o "$out/exif-comment.jpg"
# A whole file inside a comment, and a replaced thumbnail.
exiftool -q "-Comment<=secret.zip" "$out/clean.jpg" -o "$out/comment-zip.jpg"
$im other.ppm -resize 12x8 other-thumb.jpg
exiftool -q '-ThumbnailImage<=other-thumb.jpg' "$out/clean-camera.jpg" -o "$out/thumbnail-replaced.jpg"
gifsicle --comment 'the key is under the mat' "$out/clean.gif" >"$out/comment.gif"
$im cover.ppm -set comment 'the key is under the mat' "$out/comment.png"

python3 - "$out" "$work/secret.zip" <<'PY'
import struct, sys, zlib
out, secret = sys.argv[1], open(sys.argv[2], 'rb').read()

def chunks(data):
    pos, result = 8, []
    while pos < len(data):
        length = struct.unpack('>I', data[pos:pos + 4])[0]
        result.append((data[pos + 4:pos + 8], data[pos + 8:pos + 8 + length]))
        pos += 12 + length
    return result

def chunk(kind, body):
    return struct.pack('>I', len(body)) + kind + body + struct.pack('>I', zlib.crc32(kind + body))

def write(name, parts):
    open(f'{out}/{name}', 'wb').write(b'\x89PNG\r\n\x1a\n' + b''.join(chunk(k, b) for k, b in parts))

cover = chunks(open(f'{out}/clean-im.png', 'rb').read())
# A private chunk holding the archive, before IEND.
write('private-chunk.png', cover[:-1] + [(b'stEg', secret)] + cover[-1:])
# Bytes after the zlib stream inside the last IDAT.
idat = [i for i, (k, _) in enumerate(cover) if k == b'IDAT'][-1]
planted = list(cover)
planted[idat] = (b'IDAT', cover[idat][1] + secret)
write('idat-trailer.png', planted)
# A cut IHDR: half the height, the CRC left stale, or recomputed.
ihdr = cover[0][1]
w, h = struct.unpack('>II', ihdr[:8])
cut = ihdr[:4] + struct.pack('>I', h // 2) + ihdr[8:]
write('cut-recomputed.png', [(b'IHDR', cut)] + cover[1:])
data = bytearray(open(f'{out}/cut-recomputed.png', 'rb').read())
data[29:33] = struct.pack('>I', zlib.crc32(b'IHDR' + ihdr))
open(f'{out}/cut-stale.png', 'wb').write(data)
# A palette image that uses 4 colours of 256; the rest of the table carries text.
message = b'the key is under the mat, behind the blue door, at noon on Friday. '
table = bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255]) + (message * 4)[:756]
rows = b''.join(b'\0' + bytes((x + y) % 4 for x in range(16)) for y in range(8))
write('palette-text.png', [(b'IHDR', struct.pack('>IIBBBBB', 16, 8, 8, 3, 0, 0, 0)),
                           (b'PLTE', table), (b'IDAT', zlib.compress(rows)), (b'IEND', b'')])
# JPEG: an APP15 segment holding the archive, and an Exif segment that holds no TIFF.
jpeg = open(f'{out}/clean.jpg', 'rb').read()
def segment(marker, body):
    return bytes([0xFF, marker]) + struct.pack('>H', len(body) + 2) + body
open(f'{out}/app15-zip.jpg', 'wb').write(jpeg[:2] + segment(0xEF, secret) + jpeg[2:])
open(f'{out}/bad-exif.jpg', 'wb').write(jpeg[:2] + segment(0xE1, b'Exif\0\0' + b'not a tiff at all' * 3) + jpeg[2:])

# GIF: an application extension of no common writer, holding the archive in sub-blocks.
gif = open(f'{out}/clean.gif', 'rb').read()
blocks = b''.join(bytes([len(secret[i:i + 255])]) + secret[i:i + 255] for i in range(0, len(secret), 255))
ext = b'\x21\xff\x0bSTEGHIDE1.0' + blocks + b'\0'
open(f'{out}/app-extension.gif', 'wb').write(gif[:-1] + ext + gif[-1:])

# BMP: the archive between the headers and the pixel array, the offset moved past it.
bmp = bytearray(open(f'{out}/clean-v3.bmp', 'rb').read())
offset = struct.unpack('<I', bmp[10:14])[0]
planted = bmp[:offset] + secret + bmp[offset:]
planted[2:6] = struct.pack('<I', len(planted))
planted[10:14] = struct.pack('<I', offset + len(secret))
open(f'{out}/gap.bmp', 'wb').write(planted)

# WebP: a chunk of no common writer holding the archive, the RIFF size grown to take it.
webp = bytearray(open(f'{out}/clean.webp', 'rb').read())
body = secret + (b'\0' if len(secret) % 2 else b'')
planted = webp + b'sTeG' + struct.pack('<I', len(secret)) + body
planted[4:8] = struct.pack('<I', len(planted) - 8)
open(f'{out}/private-chunk.webp', 'wb').write(planted)

# TIFF: a directory chain that loops back on itself.
tif = bytearray(open(f'{out}/clean-multipage.tif', 'rb').read())
little = tif[:2] == b'II'
e = '<' if little else '>'
first = struct.unpack(e + 'I', tif[4:8])[0]
pos = first
while True:
    count = struct.unpack(e + 'H', tif[pos:pos + 2])[0]
    next_at = pos + 2 + 12 * count
    following = struct.unpack(e + 'I', tif[next_at:next_at + 4])[0]
    if following == 0:
        tif[next_at:next_at + 4] = struct.pack(e + 'I', first)
        break
    pos = following
open(f'{out}/ifd-loop.tif', 'wb').write(tif)
PY
# --- padding, maker notes, GIF texts and frames ----------------------------------------------
# Fill after the end is quiet; what follows the fill is not.
head -c 2000 /dev/zero | cat "$out/clean.jpg" - >"$out/zero-padded.jpg"
head -c 300 /dev/zero | tr '\0' '\377' | cat "$out/clean-im.png" - >"$out/ff-padded.png"
head -c 600 /dev/zero | cat "$out/clean.jpg" - secret.zip >"$out/padded-zip.jpg"
# Camera files with their makers' notes, from ExifTool's own test images (Debian source, same
# terms as Perl); their placeholder thumbnails are dropped, the notes kept as the cameras wrote.
(apt-get source --download-only -qq libimage-exiftool-perl >/dev/null 2>&1 || true)
tar xf libimage-exiftool-perl_*.orig.tar.* --wildcards '*/t/images/*.jpg'
for maker in NikonD70 Canon FujiFilm Olympus2 Sony Panasonic GPS; do
    exiftool -q -ThumbnailImage= Image-ExifTool-*/t/images/$maker.jpg -o "$out/maker-$maker.jpg"
done
# An application extension of no common writer holding a message; a frame with no delay that
# the next, opaque frame covers whole.
$im cover.ppm -colors 8 text.gif
$im other.ppm -colors 8 other.gif
gifsicle --delay 0 other.gif --delay 50 text.gif >"$out/hidden-frame.gif"
python3 - "$out" <<'PY'
import sys
out = sys.argv[1]
gif = open(f'{out}/clean.gif', 'rb').read()
text = b'meet at the north gate at dawn'
ext = b'\x21\xff\x0bNOTEPAD1.00' + bytes([len(text)]) + text + b'\0'
open(f'{out}/app-text.gif', 'wb').write(gif[:-1] + ext + gif[-1:])
PY
# What a byte-exact carve must give: the palette entries no pixel uses, the replaced thumbnail.
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
png = open(f'{out}/palette-text.png', 'rb').read()
at = png.index(b'PLTE') + 4
length = struct.unpack('>I', png[at - 8:at - 4])[0]
open(f'{out}/palette-text.unused', 'wb').write(png[at + 12:at + length])
PY
exiftool -q -b -ThumbnailImage "$out/thumbnail-replaced.jpg" >"$out/thumbnail-replaced.thumb"

ls -l "$out" | awk '{s += $5} END {print s " bytes in all"}'
