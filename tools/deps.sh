#!/bin/bash
# Installs the Debian packages the build, the program and the tests need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config ccache git
  libgtest-dev libgmock-dev googletest
  libzip-dev zlib1g-dev libdeflate-dev libpugixml-dev libfreetype-dev libfontconfig-dev
  fonts-liberation2 fonts-dejavu-core fonts-noto-cjk fonts-crosextra-carlito fonts-crosextra-caladea
  apertium apertium-eng-spa lttoolbox-dev apertium-dev apertium-lex-tools-dev libxml2-dev libicu-dev
  zip unzip python3 xclip libfinal-dev libgpm-dev tmux librsvg2-bin imagemagick
  libcurl4-openssl-dev apertium-apy nlohmann-json3-dev libcli11-dev
)
# --fuzz: Debian's clang and its libFuzzer and sanitizer runtimes (the fuzz
# preset); --all: that, the Windows cross build and its installer, Wine and
# the render checks.
for arg in "$@"; do
  case $arg in
    --all) packages+=(g++-mingw-w64-x86-64-posix mingw-w64-tools wine wine64 libwine-dev xvfb libreoffice-impress
                      poppler-utils msitools wixl clang libclang-rt-dev) ;;
    --fuzz) packages+=(clang libclang-rt-dev) ;;
  esac
done
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
