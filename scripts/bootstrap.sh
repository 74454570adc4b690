#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the benchmarks need.
# Non-interactive and idempotent: packages already present are left alone.
set -euo pipefail

PACKAGES=(
  # toolchain and test frameworks
  build-essential cmake ninja-build ccache pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev libffi-dev
  clang libclang-rt-14-dev python3
  # platform layer
  libcairo2-dev fontconfig libfontconfig-dev libfreetype-dev fonts-nanum fonts-dejavu-core
  libstb-dev libpoco-dev libsdl2-dev libpng-dev
  # the desktop window's test: a private X server, and Xlib to look into it
  xvfb libx11-dev libxtst-dev
  # the panel console's JSON protocol, and the Python client's tests
  nlohmann-json3-dev python3-pytest
  # media and camera: decoding, rendering, test scenes (the camera scene's label:
  # textoverlay, in gstreamer1.0-x), JPEG stills, H.264
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev gstreamer1.0-plugins-base
  gstreamer1.0-plugins-good gstreamer1.0-libav gstreamer1.0-tools gstreamer1.0-x
  libturbojpeg0-dev libopenh264-dev libyuv-dev
  # x264enc for the H.264 test clips and the player benchmark's clip
  gstreamer1.0-plugins-ugly
  # test peers
  python3-pyftpdlib vsftpd curl ffmpeg
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
