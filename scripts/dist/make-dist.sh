#!/usr/bin/env bash
# Builds the Windows packages from the built win64 and win32 trees:
#
#   make-dist.sh WIN64_TREE WIN32_TREE OUT_DIR
#
# OUT_DIR then holds, named after the build's version (the trees'
# generated/pavix_version.h, from the project's VERSION):
#   Pavix-<version>-setup-x64.exe     64-bit installer: 64-bit pavix.exe, both
#                                     camera filters (x64\, x86\), the Windows
#                                     11 camera's media source (x64\)
#   Pavix-<version>-setup-x86.exe     32-bit installer: the 32-bit build
#   Pavix-<version>-portable-x64.zip  the x64 files in a folder Pavix-<version>,
#                                     with README.txt on registering by hand
# Every executable is checked for its machine type and, once staged, for
# the DLLs it imports before it is packed, and packed stripped of its
# symbol table. Needs makensis (nsis) and 7z
# (p7zip-full).
set -euo pipefail

[ $# -eq 3 ] || { echo "usage: make-dist.sh WIN64_TREE WIN32_TREE OUT_DIR" >&2; exit 2; }
win64=$(cd "$1" && pwd)
win32=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)

die() { echo "make-dist: $*" >&2; exit 1; }

for tool in makensis 7z x86_64-w64-mingw32-strip i686-w64-mingw32-strip; do
  command -v "$tool" >/dev/null || die "$tool is missing (scripts/install-packages.sh installs it)"
done

# version_of TREE NAME: a definition of the tree's generated version header.
version_of() {
  local header=$1/generated/pavix_version.h
  [ -f "$header" ] || die "$header is missing: configure the tree first"
  sed -n "s/^#define $2 \"\\(.*\\)\"\$/\\1/p" "$header"
}
version=$(version_of "$win64" PAVIX_VERSION_TEXT)
quad=$(version_of "$win64" PAVIX_VERSION_QUAD_TEXT)
copyright=$(version_of "$win64" PAVIX_COPYRIGHT)
[ -n "$version" ] && [ -n "$quad" ] || die "no version in $win64/generated/pavix_version.h"
[ "$(version_of "$win32" PAVIX_VERSION_TEXT)" = "$version" ] ||
  die "the trees were configured with different versions: $version ($win64), $(version_of "$win32" PAVIX_VERSION_TEXT) ($win32)"

# The built files, each of the kind its package needs.
x64_exe=$win64/app/pavix.exe
x64_filter=$win64/filter/RovoFilter.ax
x64_media_source=$win64/mfcamera/PavixMediaSource.dll
x86_exe=$win32/app/pavix.exe
x86_filter=$win32/filter/RovoFilter.ax
for f in "$x64_exe" "$x64_filter" "$x64_media_source" "$x86_exe" "$x86_filter"; do
  [ -f "$f" ] || die "$f is missing: build the tree first"
done
"$here/pe_machine.py" --expect "PE32+ x86-64" "$x64_exe" "$x64_filter" "$x64_media_source" >/dev/null ||
  die "not 64-bit: $("$here/pe_machine.py" "$x64_exe" "$x64_filter" "$x64_media_source")"
"$here/pe_machine.py" --expect "PE32 i386" "$x86_exe" "$x86_filter" >/dev/null ||
  die "not 32-bit: $("$here/pe_machine.py" "$x86_exe" "$x86_filter")"

stage=$out/.stage
rm -rf "$stage"
trap 'rm -rf "$stage"' EXIT

# stage_tree DIR ARCH: the installed layout of ARCH's package in DIR.
stage_tree() {
  local dir=$1 arch=$2
  mkdir -p "$dir/x86" "$dir/docs/images"
  if [ "$arch" = x64 ]; then
    mkdir -p "$dir/x64"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$dir/pavix.exe" "$x64_exe"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$dir/x64/RovoFilter.ax" "$x64_filter"
    x86_64-w64-mingw32-strip --strip-unneeded -o "$dir/x64/PavixMediaSource.dll" "$x64_media_source"
  else
    i686-w64-mingw32-strip --strip-unneeded -o "$dir/pavix.exe" "$x86_exe"
  fi
  i686-w64-mingw32-strip --strip-unneeded -o "$dir/x86/RovoFilter.ax" "$x86_filter"
  # Text for Notepad: UTF-8 with its byte-order mark, CR LF line ends.
  { printf '\357\273\277'; sed "s/@VERSION@/$version/g; s/\$/\r/" "$source_dir/docs/package-readme.txt"; } \
    >"$dir/README.txt"
  cp "$source_dir/docs/guide.zh-CN.md" "$source_dir/docs/guide.en.md" "$dir/docs/"
  cp "$source_dir"/docs/images/*.png "$dir/docs/images/"
}

# shipped_imports DIR: the staged programs import only DLLs that Windows
# never takes from beside them (scripts/check-imports.sh).
shipped_imports() {
  local files=("$1/pavix.exe" "$1/x86/RovoFilter.ax")
  [ -f "$1/x64/RovoFilter.ax" ] && files+=("$1/x64/RovoFilter.ax")
  "$source_dir/scripts/check-imports.sh" x86_64-w64-mingw32-objdump "$1" "${files[@]}" >"$out/.imports.log" ||
    die "$(grep -v '^checked' "$out/.imports.log")"
  rm -f "$out/.imports.log"
}

installer() {  # installer ARCH
  local arch=$1 name="Pavix-$version-setup-$1.exe"
  stage_tree "$stage/$arch" "$arch"
  shipped_imports "$stage/$arch"
  rm -f "$out/$name"
  makensis -V2 -INPUTCHARSET UTF8 -NOCD \
    "-DARCH=$arch" "-DVERSION=$version" "-DVERSION_QUAD=$quad" "-DCOPYRIGHT=$copyright" \
    "-DSTAGE=$stage/$arch" "-DICON=$source_dir/ui/res/app.ico" "-DOUTFILE=$out/$name" \
    "$here/pavix.nsi" || die "makensis failed for $name"
  echo "make-dist: $out/$name ($(stat -c %s "$out/$name") bytes)"
}

installer x64
installer x86

zip_name="Pavix-$version-portable-x64.zip"
folder=$stage/zip/Pavix-$version
mkdir -p "$folder"
cp -r "$stage/x64/." "$folder/"
rm -f "$out/$zip_name"
(cd "$stage/zip" && 7z a -tzip -mx=9 -bd "$out/$zip_name" "Pavix-$version" >/dev/null) ||
  die "7z failed for $zip_name"
echo "make-dist: $out/$zip_name ($(stat -c %s "$out/$zip_name") bytes)"
