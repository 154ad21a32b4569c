#!/bin/sh
# Stegos made by the real outguess 0.4, gifshuffle 2.0 and stegosuite 0.9 for the password
# readers' tests, with the covers they came from. outguess picks its embedding by statistics of the cover and gifshuffle by
# the password alone, so reruns give the same files as long as the tools and ImageMagick do; the
# committed files are the ones the tests were written against.
#
#   tools/make_password_fixtures.sh [OUTDIR]     (default /tmp/password-fixtures)
#
# Needs: apt-get install outguess gifshuffle stegosuite xvfb imagemagick nodejs npm; f5stegojs comes from npm into
# a folder of its own (F5STEGO_PREFIX, default /tmp/f5stegojs). Covers come from ImageMagick's built-in
# "rose:" photograph, so no file outside Debian's packages is needed.
set -eu
out=${1:-/tmp/password-fixtures}
mkdir -p "$out"
cd "$out"

convert rose: -resize 240x180! -quality 90 cover.jpg
convert rose: -resize 64x48! -depth 8 cover.ppm
convert rose: -resize 64x48! -colorspace gray -depth 8 pgm:cover-grey.pnm
# 64 distinct colours: 295 bits of colour-table order.
convert rose: -resize 40x30! -colors 64 cover.gif
printf 'The quick brown fox jumps over the lazy dog.\n' > msg.txt
# A payload the text checks cannot recognise: only a header that fits speaks for its password.
printf '\223\017\347\021\376\002\201\177\063\310\044\252\031\340\105\266' > msg.bin

# outguess: the default, a password with spaces, a payload no check recognises, and the pixels of
# a PPM and a PGM, also stored losslessly as PNG and BMP. Neither error correction (-e) nor a second
# data set (-K/-D) can be made: Debian's outguess 0.4 aborts on every -e embedding ("stack
# smashing") and finds no embedding for any second data set.
outguess -k vantrel -d msg.txt cover.jpg og-default.jpg 2>/dev/null
outguess -k 'two words' -d msg.txt cover.jpg og-two.jpg 2>/dev/null
outguess -k noise -d msg.bin cover.jpg og-binary.jpg 2>/dev/null
outguess -k pixels -d msg.txt cover.ppm og-pixels.ppm 2>/dev/null
outguess -k greyish -d msg.txt cover-grey.pnm og-grey.pnm 2>/dev/null
convert og-pixels.ppm og-pixels.png
convert og-pixels.ppm -type truecolor BMP3:og-pixels.bmp

# gifshuffle: plain, -C (its Huffman compression), -p (ICE, colour order by encrypted colour),
# -p -1 (ICE, natural colour order) and -C -p together.
gifshuffle -Q -m 'meet me at six' cover.gif gs-plain.gif
gifshuffle -Q -C -m 'meet me at six by the old mill' cover.gif gs-compressed.gif
gifshuffle -Q -p swordfish -m 'meet me at six' cover.gif gs-ice.gif
gifshuffle -Q -1 -p oldstyle -m 'meet me at six' cover.gif gs-ice-v1.gif
gifshuffle -Q -C -p hushhush -m 'meet me at six by the old mill' cover.gif gs-both.gif

# f5stegojs: a 4:2:0 colour cover whose luminance fills whole MCUs (the decoder keeps no padding
# blocks), a grey one, and a payload no check recognises. f5stegojs picks its matrix code by the
# cover's counts, so the three stegos use three codes.
f5prefix=${F5STEGO_PREFIX:-/tmp/f5stegojs}
[ -x "$f5prefix/node_modules/.bin/f5stego" ] || npm install --prefix "$f5prefix" f5stegojs >/dev/null
f5stego="$f5prefix/node_modules/.bin/f5stego"
convert rose: -resize 96x64! -sampling-factor 2x2 -quality 90 f5-cover.jpg
convert rose: -resize 64x48! -colorspace gray -quality 90 f5-cover-grey.jpg
"$f5stego" -e -p vantrel f5-cover.jpg msg.txt f5-colour.jpg >/dev/null
"$f5stego" -e -p 'two words' f5-cover-grey.jpg msg.txt f5-grey.jpg >/dev/null
"$f5stego" -e -p noise f5-cover.jpg msg.bin f5-binary.jpg >/dev/null
# 84x52 in 4:2:0: 11 luminance blocks a row padded to 12 and 7 rows to 8, blocks the interleaved
# scan codes and f5stegojs shuffles with the rest.
convert rose: -resize 84x52! -sampling-factor 2x2 -quality 90 f5-padded-cover.jpg
"$f5stego" -e -p padded f5-padded-cover.jpg msg.txt f5-padded.jpg >/dev/null

# stegosuite 0.9 (Debian, Java): a message in a PNG and a file in a BMP, a GIF and a JPEG. The grey square makes a
# flat area its noise detection leaves out, so the walk's pixel list is the filtered one. Its salt
# is random: reruns give other files that read the same.
convert rose: -resize 64x48! \( -size 20x20 xc:'#808080' \) -geometry +5+5 -composite \
    -type truecolor ss-cover.png
convert ss-cover.png -type truecolor BMP3:ss-cover.bmp
stegosuite embed -k 'suite spot' -m 'meet me at six' -o ss-message.png ss-cover.png >/dev/null 2>&1
stegosuite embed -k suitcase -f msg.txt -o ss-file.bmp ss-cover.bmp >/dev/null 2>&1
# Its GIF embedding, on the same picture in 64 colours (the square stays flat).
convert ss-cover.png -colors 64 ss-cover.gif
stegosuite embed -k 'gif suite' -f msg.txt -o ss-file.gif ss-cover.gif >/dev/null 2>&1
# Its JPEG embedding (F5 in its own encoder, which needs a display and writes COVER_embed.jpg).
convert rose: -resize 96x64! -quality 90 ss-cover.jpg
xvfb-run -a stegosuite embed -k 'jpeg suite' -f msg.txt ss-cover.jpg >/dev/null 2>&1
mv ss-cover_embed.jpg ss-file.jpg

# What the tools themselves read back, for the tests to compare with byte for byte.
outguess -k vantrel -r og-default.jpg og-default.out 2>/dev/null
outguess -k greyish -r og-grey.pnm og-grey.out 2>/dev/null
outguess -k noise -r og-binary.jpg og-binary.out 2>/dev/null
gifshuffle -Q -C -p hushhush gs-both.gif > gs-both.out
"$f5stego" -x -p noise f5-binary.jpg f5-binary.out >/dev/null
printf 'wrong\nvantrel\ntwo words\nnoise\npixels\ngreyish\nswordfish\noldstyle\nhushhush\nsuite spot\nsuitcase\ngif suite\njpeg suite\npadded\n' > words.txt
