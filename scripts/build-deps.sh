#!/usr/bin/env bash
# Cross-builds the static libraries the Windows programs link, from Debian's
# source packages, into a per-machine cache outside the repository:
#
#   scripts/build-deps.sh x86_64-w64-mingw32|i686-w64-mingw32
#
#   ${PAVIX_DEPS_DIR:-$HOME/.cache/pavix-deps}/
#     src/                  downloaded .dsc/.tar files and unpacked trees (shared)
#     build/<triplet>/      build trees and one log per dependency
#     <triplet>/            install prefix: include/, lib/, lib/cmake/
#     <triplet>/share/pavix-deps/<dep>.stamp   what is installed, and how
#
# Built:  libjpeg-turbo (libjpeg 6b API, static, SIMD with nasm),
#         libyuv (the picture scaler; static library and headers only),
#         protobuf runtime, lite library only (static),
#         GoogleTest + GoogleMock from /usr/src/googletest (the 32-bit tree
#         compiles and links its test programs too, though they never run here),
#         x86_64 only: ffmpeg.exe (bin/), a third-party DirectShow capture
#         client the tests and benchmarks drive the camera with.
# Versions follow the native Debian packages (libjpeg62-turbo-dev, libyuv-dev,
# libprotobuf-dev, googletest, ffmpeg), so the cross protobuf runtime always matches
# the native protoc that generates the code.
#
# Each dependency is rebuilt only when its source version or the recipe below
# (RECIPE, the toolchain files) changes; otherwise the script is a no-op.
# Trees for different triplets may run it at the same time.
set -euo pipefail

# Bump when a build step or option below changes: forces a rebuild.
readonly RECIPE=1

die() { echo "build-deps: $*" >&2; exit 1; }

[ $# -eq 1 ] || die "usage: $0 x86_64-w64-mingw32|i686-w64-mingw32"
readonly triplet=$1
case "$triplet" in
  x86_64-w64-mingw32|i686-w64-mingw32) ;;
  *) die "unknown triplet '$triplet' (want x86_64-w64-mingw32 or i686-w64-mingw32)" ;;
esac

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
readonly repo
readonly toolchain="$repo/cmake/toolchain-$triplet.cmake"
[ -f "$toolchain" ] || die "missing $toolchain"

deps_dir=${PAVIX_DEPS_DIR:-${HOME:?}/.cache/pavix-deps}
mkdir -p "$deps_dir"
deps_dir=$(cd "$deps_dir" && pwd)
readonly deps_dir
readonly src_dir="$deps_dir/src"
readonly build_root="$deps_dir/build/$triplet"
readonly prefix="$deps_dir/$triplet"
readonly stamp_dir="$prefix/share/pavix-deps"

# --- what should be installed -----------------------------------------------

# Source package version of an installed native package, e.g. "1:2.1.5-2".
native_source_version() {
  local v
  v=$(dpkg-query -W -f='${source:Version}' "$1" 2>/dev/null) || v=
  [ -n "$v" ] || die "package $1 is not installed; run scripts/install-packages.sh"
  printf '%s' "$v"
}

recipe_id=$RECIPE-$(cat "$repo/cmake/toolchain-mingw-common.cmake" "$toolchain" |
                    sha256sum | cut -c1-12)
readonly recipe_id

deps=(libjpeg-turbo libyuv protobuf googletest)
# Only the 64-bit tests run (no 32-bit execution here): ffmpeg for x86_64 only.
[ "$triplet" = x86_64-w64-mingw32 ] && deps+=(ffmpeg)

# ffmpeg with only what capturing from a DirectShow camera into raw frames,
# BMP pictures or nothing needs; static, so it imports only system DLLs.
# Part of its stamp: changing a line here rebuilds ffmpeg alone.
readonly ffmpeg_options=(
  --target-os=mingw32 --arch=x86_64 --enable-cross-compile
  --disable-everything --disable-network --disable-autodetect
  --disable-doc --disable-debug --disable-ffplay --disable-ffprobe
  --enable-indev=dshow --enable-decoder=rawvideo
  --enable-encoder=rawvideo,bmp --enable-muxer=image2,rawvideo,null
  --enable-protocol=file,pipe --enable-filter=scale,null,format
  --extra-ldflags=-static
)

declare -A version
version[libjpeg-turbo]=$(native_source_version libjpeg62-turbo-dev)
version[libyuv]=$(native_source_version libyuv-dev)
version[protobuf]=$(native_source_version libprotobuf-dev)
version[googletest]=$(native_source_version googletest)
version[ffmpeg]=$(native_source_version ffmpeg)

declare -A recipe_of
for d in "${deps[@]}"; do recipe_of[$d]=$recipe_id; done
recipe_of[ffmpeg]=$recipe_id-$(printf '%s\n' "${ffmpeg_options[@]}" | sha256sum | cut -c1-12)

stamp_text() { printf 'source=%s %s\nrecipe=%s\n' "$1" "${version[$1]}" "${recipe_of[$1]}"; }
stamp_ok() { [ "$(cat "$stamp_dir/$1.stamp" 2>/dev/null)" = "$(stamp_text "$1")" ]; }

all_stamps_ok() {
  local d
  for d in "${deps[@]}"; do stamp_ok "$d" || return 1; done
}

if all_stamps_ok; then
  echo "build-deps: $triplet up to date in $prefix"
  exit 0
fi

# --- tools ------------------------------------------------------------------

for tool in cmake ninja make nasm flock dpkg-source apt-get \
            "$triplet-gcc-posix" "$triplet-g++-posix" "$triplet-windres"; do
  command -v "$tool" >/dev/null || die "$tool not found; run scripts/install-packages.sh"
done
jobs=$(nproc)
# The cache must not depend on whoever ran it first: no flags from the caller.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS ASM_NASMFLAGS

# Runs a command with its output appended to $log; on failure shows the tail.
log=
run() {
  if ! "$@" >>"$log" 2>&1; then
    echo >&2
    echo "build-deps: FAILED: $*" >&2
    echo "build-deps: last lines of $log:" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

# --- sources (shared between triplets, under a lock) -------------------------

has_deb_src() {
  grep -Eqs '^[[:space:]]*deb-src[[:space:]]' /etc/apt/sources.list /etc/apt/sources.list.d/*.list &&
    return 0
  grep -Eqs '^Types:.*[[:space:]]deb-src([[:space:]]|$)' /etc/apt/sources.list.d/*.sources
}

# Makes source packages visible to apt: adds a deb-src twin of Debian's
# binary entries if there is none, then refreshes the package lists once.
readonly pavix_src_list=/etc/apt/sources.list.d/pavix-deb-src.sources
refreshed=0
refresh_deb_src() {
  [ "$refreshed" = 0 ] || return 0
  refreshed=1
  [ "$(id -u)" -eq 0 ] ||
    die "apt knows no source packages; run as root once (adds $pavix_src_list)"
  if ! has_deb_src; then
    [ -f /etc/apt/sources.list.d/debian.sources ] ||
      die "no /etc/apt/sources.list.d/debian.sources to derive a deb-src entry from"
    echo "build-deps: adding $pavix_src_list"
    sed 's/^Types:.*$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      > "$pavix_src_list.tmp"
    mv "$pavix_src_list.tmp" "$pavix_src_list"
  fi
  echo "build-deps: apt-get update (source package lists)"
  if [ -f "$pavix_src_list" ]; then
    # Only the source lists: the binary ones are left as they are.
    run apt-get update -o Dir::Etc::sourcelist="$pavix_src_list" \
      -o Dir::Etc::sourceparts=- -o APT::Get::List-Cleanup=0
  else
    run apt-get update
  fi
}

# Unpacks source package $1 at version ${version[$1]}, downloading it first
# if needed, and records the tree in tree[$1].
declare -A tree
unpack_source() {
  local pkg=$1 ver=${version[$1]}
  local file_ver=${ver#*:}                   # file names carry no epoch
  local dsc="$src_dir/${pkg}_${file_ver}.dsc"
  tree[$pkg]="$src_dir/$pkg-$file_ver"
  [ -f "${tree[$pkg]}/.pavix-unpacked" ] && return 0
  if [ ! -f "$dsc" ]; then
    echo "build-deps: fetching source $pkg $ver"
    if ! (cd "$src_dir" && apt-get source --download-only "$pkg=$ver") >>"$log" 2>&1; then
      refresh_deb_src
      (cd "$src_dir" && run apt-get source --download-only "$pkg=$ver")
    fi
  fi
  rm -rf "${tree[$pkg]}"
  run dpkg-source -x "$dsc" "${tree[$pkg]}"
  touch "${tree[$pkg]}/.pavix-unpacked"
}

mkdir -p "$src_dir" "$build_root" "$stamp_dir"
exec 8>"$deps_dir/build/$triplet.lock"
flock 8                                      # one run per triplet at a time
all_stamps_ok && { echo "build-deps: $triplet up to date in $prefix"; exit 0; }

exec 9>"$src_dir/.lock"
flock 9                                      # src/ is shared by all triplets
log="$src_dir/fetch.log"
for d in "${deps[@]}"; do
  stamp_ok "$d" && continue
  case "$d" in
    googletest) tree[$d]=/usr/src/googletest ;;
    *)          unpack_source "$d" ;;
  esac
done
exec 9>&-

# --- builds ------------------------------------------------------------------

cmake_configure() {  # <source dir> <build dir> [cmake options...]
  local src=$1 bdir=$2
  shift 2
  rm -rf "$bdir"
  run cmake -G Ninja -S "$src" -B "$bdir" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPAVIX_DEPS_PREFIX="$prefix" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" "$@"
}

build_libjpeg_turbo() {  # <src> <build dir>
  cmake_configure "$1" "$2" -DENABLE_SHARED=OFF -DENABLE_STATIC=ON \
    -DWITH_TURBOJPEG=OFF -DWITH_SIMD=ON -DREQUIRE_SIMD=ON
  run cmake --build "$2" -j "$jobs"
  run cmake --install "$2"
}

build_libyuv() {  # <src> <build dir>
  # Its install rules also want the shared library and two tools, which a
  # static build for Windows does not need: the library and headers by hand,
  # with a manifest like CMake's so that a rebuild removes them again.
  cmake_configure "$1" "$2" -DCMAKE_DISABLE_FIND_PACKAGE_JPEG=ON -DTEST=OFF
  run cmake --build "$2" -j "$jobs" --target yuv
  run install -d "$prefix/lib" "$prefix/include/libyuv"
  run install -m 644 "$2/libyuv.a" "$prefix/lib/libyuv.a"
  run install -m 644 "$1/include/libyuv.h" "$prefix/include/libyuv.h"
  run install -m 644 "$1"/include/libyuv/*.h "$prefix/include/libyuv/"
  {
    echo "$prefix/lib/libyuv.a"
    echo "$prefix/include/libyuv.h"
    for h in "$1"/include/libyuv/*.h; do echo "$prefix/include/libyuv/${h##*/}"; done
  } >"$2/install_manifest.txt"
}

build_protobuf() {
  cmake_configure "$1" "$2" -Dprotobuf_BUILD_TESTS=OFF \
    -Dprotobuf_BUILD_PROTOC_BINARIES=OFF -Dprotobuf_BUILD_LIBPROTOC=OFF \
    -Dprotobuf_BUILD_SHARED_LIBS=OFF -Dprotobuf_WITH_ZLIB=OFF \
    -Dprotobuf_BUILD_EXAMPLES=OFF
  run cmake --build "$2" -j "$jobs" --target libprotobuf-lite
  # The lite library and the headers only (the full runtime is not built).
  run cmake --install "$2" --component libprotobuf-lite
  run cmake --install "$2" --component protobuf-headers
}

build_googletest() {
  # gtest_disable_pthreads: gtest then uses Win32 primitives, so its headers
  # need no extra definitions in the test programs. Tests may still use
  # std::thread (posix thread model).
  cmake_configure "$1" "$2" -DBUILD_GMOCK=ON -DINSTALL_GTEST=ON \
    -DBUILD_SHARED_LIBS=OFF -Dgtest_disable_pthreads=ON
  run cmake --build "$2" -j "$jobs"
  run cmake --install "$2"
}

build_ffmpeg() {  # <src> <build dir>
  # Its own configure script (no CMake): built out of tree, installed by hand
  # (the program only; no libraries or headers go into the prefix).
  rm -rf "$2"
  mkdir -p "$2"
  (cd "$2" && run "$1/configure" --prefix="$2/install" \
     --cross-prefix="$triplet-" --cc="$triplet-gcc-posix" --cxx="$triplet-g++-posix" \
     "${ffmpeg_options[@]}")
  run make -C "$2" -j "$jobs" ffmpeg.exe
  run install -d "$prefix/bin"
  run install -m 755 "$2/ffmpeg.exe" "$prefix/bin/ffmpeg.exe"
  echo "$prefix/bin/ffmpeg.exe" >"$2/install_manifest.txt"
}

for d in "${deps[@]}"; do
  stamp_ok "$d" && continue
  start=$SECONDS
  bdir="$build_root/$d"
  log="$build_root/$d.log"
  : >"$log"
  printf 'build-deps: %s: building %s %s ... ' "$triplet" "$d" "${version[$d]}"
  # Drop what an older build of this dependency installed.
  rm -f "$stamp_dir/$d.stamp"
  if [ -f "$stamp_dir/$d.files" ]; then
    while IFS= read -r f; do [ -z "$f" ] || rm -f -- "$f"; done <"$stamp_dir/$d.files"
  fi
  "build_${d//-/_}" "${tree[$d]}" "$bdir"
  for m in "$bdir"/install_manifest*.txt; do cat "$m"; echo; done >"$stamp_dir/$d.files"
  stamp_text "$d" >"$stamp_dir/$d.stamp"
  echo "done in $((SECONDS - start)) s (log: $log)"
done
echo "build-deps: $triplet ready in $prefix"
