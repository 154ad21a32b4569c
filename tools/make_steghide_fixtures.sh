#!/bin/sh
# Stegos made by the real steghide 0.5.1 for the steghide reader's tests, and the clean covers they
# were made from. steghide embed draws its IV and padding from /dev/urandom, so every run gives
# other bytes: the committed files are the ones the tests were written against, and this script is
# how more are made (into a scratch folder by default, never over the committed ones by accident).
#
#   tools/make_steghide_fixtures.sh [OUTDIR]     (default /tmp/steghide-fixtures)
#
# Covers come from ImageMagick's built-in "rose:" photograph (shipped in libmagickcore), so no
# file outside Debian's packages is needed.
set -eu
out=${1:-/tmp/steghide-fixtures}
mkdir -p "$out"
cd "$out"

convert rose: -resize 160x120! -quality 80 cover.jpg
convert rose: -resize 64x48! -type truecolor -compress None BMP3:cover24.bmp
convert rose: -resize 64x48! -colorspace gray -type Palette -colors 256 -compress None \
    BMP3:cover8.bmp
# Odd widths, so rows carry padding and end inside a byte.
convert rose: -resize 90x64! -colors 16 -type Palette -compress None BMP3:cover4.bmp
convert rose: -resize 90x64! -monochrome -compress None BMP3:cover1.bmp
# Depths steghide refuses ("format that is not supported (biBitCount: 16)", and 32). There is no
# top-down stego: given one (cover24.bmp with its height negated and rows reversed), steghide embed
# and info both abort with std::bad_alloc, the height taken as unsigned; the tests flip a header.
convert rose: -resize 16x12! -define bmp:subtype=RGB565 BMP3:cover16.bmp
convert rose: -resize 16x12! -alpha set -define bmp3:alpha=true BMP3:cover32.bmp
printf 'The quick brown fox jumps over the lazy dog.\n' > msg.txt

# embed COVER STEGO PASSPHRASE [steghide options...]
embed() {
    cover=$1 stego=$2 pass=$3
    shift 3
    steghide embed -q -f -cf "$cover" -ef msg.txt -sf "$stego" -p "$pass" "$@"
}

# The default (rijndael-128 cbc, compression 9, checksum) on every cover format.
embed cover.jpg jpeg-default.jpg vantrel
embed cover24.bmp bmp24-default.bmp rosebud
embed cover8.bmp bmp8-default.bmp greyhound
# No encryption: a seed alone reads these out.
embed cover.jpg jpeg-none.jpg secret -e none
embed cover.jpg jpeg-none-uncompressed.jpg plainly -e none -Z
embed cover24.bmp bmp24-none.bmp opensesame -e none -Z
embed cover8.bmp bmp8-none.bmp swordfish -e none -z 1
embed cover4.bmp bmp4-none.bmp sixteen -e none
embed cover1.bmp bmp1-default.bmp monochrome
# Compression levels and no checksum.
embed cover.jpg jpeg-z1.jpg level-one -z 1
embed cover.jpg jpeg-nocrc.jpg unchecked -K
# Every mode steghide offers for rijndael-128 (cbc is the default above).
for mode in ecb cfb ofb ncfb nofb ctr; do
    embed cover.jpg "jpeg-rijndael-$mode.jpg" "mode-$mode" -e rijndael-128 "$mode"
done
embed cover.jpg jpeg-tripledes.jpg triple -e tripledes cbc
# The ones libcrypto keeps in its legacy provider.
for algorithm in des cast-128 blowfish rc2; do
    embed cover.jpg "jpeg-$algorithm.jpg" "algo-$algorithm" -e "$algorithm" cbc
done
# An algorithm libcrypto does not have, to be refused by name.
embed cover.jpg jpeg-twofish.jpg twofish -e twofish cbc
rm -f msg.txt
