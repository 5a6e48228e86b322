#!/usr/bin/env bash
# Installs everything Quorel needs to build, run, test, fuzz and benchmark on Debian 12.
# Idempotent: apt-get skips what is already there. Run as root (or through sudo).
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config clang libclang-rt-dev
  # engine
  libsdl2-dev libimgui-dev libpng-dev zlib1g-dev libogg-dev libvorbis-dev
  libfreetype-dev libfontconfig-dev fonts-ipafont-gothic fonts-ipafont-mincho
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev
  # tests and benchmarks
  libgtest-dev libbenchmark-dev liblua5.4-dev libpixman-1-dev
  xvfb xauth sox
  # install and package
  help2man appstream desktop-file-utils
  # self-voicing: libspeechd's header (the library is opened at run time)
  # and the speech server, to hear it
  libspeechd-dev speech-dispatcher
)

if [ "$(id -u)" -ne 0 ]; then
  exec sudo --preserve-env=DEBIAN_FRONTEND "$0" "$@"
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -eq 0 ]; then
  echo "setup: all packages present"
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update
apt-get install -y --no-install-recommends "${packages[@]}"
echo "setup: done"
