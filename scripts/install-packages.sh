#!/usr/bin/env bash
# Installs every Debian package the build, the tests, the benchmarks and the
# demo need. Idempotent: packages already present are skipped, and nothing is
# fetched when everything is there. Run as root on Debian 12.
set -euo pipefail

packages=(
  # native build and tests
  build-essential cmake ninja-build pkg-config
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libjpeg62-turbo-dev libprotobuf-dev protobuf-compiler
  # the picture scaler (libyuv; its source package is cross-built too)
  libyuv-dev
  clang libclang-rt-14-dev
  # cross builds for Windows (posix thread model for std::thread)
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix mingw-w64-tools nasm
  # running the Windows build: 64-bit Wine only, a virtual display
  wine64 xvfb xauth xdotool imagemagick ffmpeg fonts-wqy-microhei
  # the fonts the program's art is drawn with (scripts/make-art.sh)
  fonts-dejavu-core
  # private network namespaces for the tests and the demo
  iproute2 util-linux
  # sources of the dependencies cross-built for Windows
  dpkg-dev
  # the installers (makensis) and a reader of their archives (7z)
  nsis p7zip-full
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-packages: all ${#packages[@]} packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "install-packages: missing ${missing[*]}; run as root to install them" >&2
  exit 1
fi

echo "install-packages: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "install-packages: done"
