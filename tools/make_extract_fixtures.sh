#!/bin/bash
# Makes the tiny tool fixtures of tests/data/extract with the real tools: stepic (Debian
# package), steggy-noencrypt and stegano (npm, installed into a scratch folder). Each cover is a
# small noisy gradient so that the files stay a few KB.
set -euo pipefail
out="$(cd "$(dirname "$0")/.." && pwd)/tests/data/extract"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

/usr/bin/python3 - "$work/cover.png" <<'PY'
import math, random, sys
from PIL import Image
random.seed(5)
w, h = 40, 30
image = Image.new("RGB", (w, h))
image.putdata([tuple(max(0, min(255, int(110 + 70 * math.sin(0.2 * x + c) * math.cos(0.15 * y - c)
                                         + random.gauss(0, 3)))) for c in range(3))
               for y in range(h) for x in range(w)])
image.save(sys.argv[1])
PY

printf 'Stepic hid this line; the ninth bit marks its end.' >"$work/stepic.txt"
stepic -e -i "$work/cover.png" -t "$work/stepic.txt" -o "$out/stepic.png"

(cd "$work" && npm init -y >/dev/null && npm install --silent steggy-noencrypt@2.0.3 stegano@1.0.0 >/dev/null)
cat >"$work/make.js" <<'JS'
const fs = require('fs')
const path = require('path')
const steggy = require('steggy-noencrypt')
const Jimp = require('jimp')
const { Encryptor } = require('stegano/lib/encryptor')
const [cover, out] = process.argv.slice(2)
fs.writeFileSync(path.join(out, 'steggy.png'),
  steggy.conceal(fs.readFileSync(cover), 'Meet at the north gate at dawn; bring the blue folder.'))
Jimp.read(cover).then(async image => {
  const secret = 'Stegano escapes \x02, \x17 and \x1b with depth 2.'
  const hidden = new Encryptor().encrypt(image, secret, 2)
  await hidden.writeAsync(path.join(out, 'stegano.png'))
  if (new Encryptor().decrypt(await Jimp.read(path.join(out, 'stegano.png'))) !== secret) {
    throw new Error('stegano did not read back its own message')
  }
})
JS
(cd "$work" && node make.js "$work/cover.png" "$out")
cp "$work/cover.png" "$out/cover.png"
ls -l "$out"
