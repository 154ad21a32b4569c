#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks for building Vantrel; installs nothing twice.
set -euo pipefail
packages=(cmake g++ make ccache pkg-config qt6-base-dev libfreeimage-dev libgtest-dev
          libbenchmark-dev libjxr-dev libtbb-dev libboost-dev libssl-dev libmagic-dev zlib1g-dev
          libjpeg62-turbo-dev libexiv2-dev
          fonts-dejavu-core desktop-file-utils appstream man-db
          chromium) # the HTML report's test opens the page in a real browser
# Only for remaking tests/data, the calibration corpus and its stegos (tools/make_*.sh: the real
# tools that make the stegos and planted files) and for fuzzing (fuzz/run.sh):
# bash tools/setup.sh --dev
if [ "${1:-}" = "--dev" ]; then
    packages+=(imagemagick libjxr-tools clang libjpeg-turbo-progs steghide outguess gifshuffle
               stepic stegosuite libimage-exiftool-perl gifsicle webp zip p7zip-full xvfb xauth)
    # A machine that already has node's own npm must keep it: Debian's npm conflicts with it.
    command -v npm >/dev/null 2>&1 || packages+=(npm)
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""
    [ "$(id -u)" -eq 0 ] || SUDO=sudo
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
