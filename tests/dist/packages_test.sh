#!/usr/bin/env bash
# The Windows packages, built as `make dist` builds them, and what is in them:
#
#   packages_test.sh build      scripts/dist/make-dist.sh from this tree and
#                               the win32 tree into PAVIX_DIST_DIR
#   packages_test.sh contents   each package read back with 7z: the files
#                               each must hold, every executable of the kind
#                               its package is for (PE32+ x86-64 or PE32
#                               i386), and the version records of the
#                               program, the filters and the installers as
#                               Windows reads them (under Wine)
#
# Environment (set by CTest): PAVIX_DIST_DIR, PAVIX_WIN64_TREE,
# PAVIX_WIN32_TREE, PAVIX_VERSION_HEADER, PAVIX_VERSION_READ, PAVIX_TEST_DIR.
# Runs inside the test run's network namespace (ctest under in-netns.sh).
set -uo pipefail

readonly case_name=${1:?usage: packages_test.sh build|contents}
here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(cd "$here/../.." && pwd)
pe_machine=$source_dir/scripts/dist/pe_machine.py

. "$(dirname "$0")/../support/checks.sh"
fail() { echo "FAIL: $*" >&2; exit 1; }

define() { sed -n "s/^#define $1 \"\\(.*\\)\"\$/\\1/p" "$PAVIX_VERSION_HEADER"; }
version=$(define PAVIX_VERSION_TEXT)
quad=$(define PAVIX_VERSION_QUAD_TEXT)
copyright=$(define PAVIX_COPYRIGHT)
[ -n "$version" ] || fail "no version in $PAVIX_VERSION_HEADER"
x64_setup=$PAVIX_DIST_DIR/Pavix-$version-setup-x64.exe
x86_setup=$PAVIX_DIST_DIR/Pavix-$version-setup-x86.exe
portable=$PAVIX_DIST_DIR/Pavix-$version-portable-x64.zip

case_build() {
  [ -f "$PAVIX_WIN32_TREE/build.ninja" ] ||
    fail "no win32 tree at $PAVIX_WIN32_TREE: the x86 installer is built from it (make build)"
  rm -rf "$PAVIX_DIST_DIR"
  "$source_dir/scripts/dist/make-dist.sh" "$PAVIX_WIN64_TREE" "$PAVIX_WIN32_TREE" "$PAVIX_DIST_DIR" ||
    fail "make-dist.sh failed"
  local f
  for f in "$x64_setup" "$x86_setup" "$portable"; do
    check "$(basename "$f") is built ($(stat -c %s "$f" 2>/dev/null) bytes)" test -s "$f"
  done
}

# The names a package holds (7z's listing, folders left out), sorted.
listing() {
  7z l -slt "$1" | awk '
    /^Path = / { path = substr($0, 8) }
    /^Folder = / { folder = substr($0, 10) }
    /^$/ && path != "" { if (folder != "+") print path; path = ""; folder = "" }
    END { if (path != "" && folder != "+") print path }' | tail -n +2 | sort
}

# What 7z says of an installer's kind ("NSIS-3 Unicode 64-bit").
subtype() { 7z l "$1" | sed -n 's/^SubType = //p'; }

# expect_kind KIND FILE...: each file is an executable of KIND.
expect_kind() {
  local kind=$1
  shift
  local out
  out=$("$pe_machine" --expect "$kind" "$@")
  local rc=$?
  sed 's|^.*/unpacked/|  |' <<<"$out"
  return $rc
}

# version_read FILE: FILE's version record as Windows reads it, in the
# tree's Wine prefix.
version_read() {
  "$source_dir/scripts/wine-exec.sh" --prefix "$PAVIX_WIN64_TREE/wineprefix" \
    "$PAVIX_VERSION_READ" "Z:${1//\//\\}" 2>/dev/null | tr -d '\r'
}

# check_version FILE NAME TYPE: the version record of FILE (a Windows path
# under Z:) as version_read prints it: the build's version in the fixed
# part and in both translations, with the product name, the copyright line,
# a description, and NAME as the original file name.
check_version() {
  local file=$1 name=$2 type=$3 out
  out=$(version_read "$file")
  local label=${file#"$work"/unpacked/}
  if ! grep -qxF "fixed $quad $quad type=$type" <<<"$out"; then
    echo "  $label: $(grep -E '^(fixed|error)' <<<"$out")"
    return 1
  fi
  local translation bad=0
  for translation in 0804-04b0 0409-04b0; do
    grep -qxF "translation $translation" <<<"$out" || { echo "  $label: no translation $translation"; bad=1; }
    local field
    for field in "ProductName=Pavix" "ProductVersion=$version" "FileVersion=$version" \
                 "LegalCopyright=$copyright" "OriginalFilename=$name"; do
      grep -qxF "$translation $field" <<<"$out" || { echo "  $label: no $translation $field"; bad=1; }
    done
    grep -q "^$translation FileDescription=..*" <<<"$out" || { echo "  $label: no $translation description"; bad=1; }
  done
  [ $bad -eq 0 ] && echo "  $label: $(grep '0804-04b0 FileDescription=' <<<"$out" | cut -d= -f2-), $version"
  return $bad
}

case_contents() {
  for f in "$x64_setup" "$x86_setup" "$portable"; do
    [ -s "$f" ] || fail "$f is missing (the dist_packages test builds it)"
  done
  work=$PAVIX_TEST_DIR/contents
  rm -rf "$work"
  mkdir -p "$work/unpacked"

  # What each package holds (the installers' own plugins aside).
  local common="README.txt docs/guide.en.md docs/guide.zh-CN.md"
  local images
  images=$(cd "$source_dir/docs" && ls images/*.png | sed 's|^|docs/|' | tr '\n' ' ')
  local want_x64 want_x86 want_zip
  want_x64=$(printf '%s\n' pavix.exe uninstall.exe x64/RovoFilter.ax x64/PavixMediaSource.dll \
    x86/RovoFilter.ax $common $images | sort)
  want_x86=$(printf '%s\n' pavix.exe uninstall.exe x86/RovoFilter.ax $common $images | sort)
  want_zip=$(printf "Pavix-$version/%s\n" pavix.exe x64/RovoFilter.ax x64/PavixMediaSource.dll \
    x86/RovoFilter.ax $common $images | sort)
  # The installers hold each program file a second time as NAME.new, for
  # Windows to put in place at a restart when the file is in use.
  local with_new='/^(pavix\.exe|x64\/RovoFilter\.ax|x64\/PavixMediaSource\.dll|x86\/RovoFilter\.ax)$/ { print; print $0 ".new"; next } { print }'
  check "the x64 installer holds the 64-bit program, both filters and the media source" \
    diff <(echo "$want_x64" | awk "$with_new" | sort) <(listing "$x64_setup" | grep -v '^\$PLUGINSDIR/')
  check "the x86 installer holds the 32-bit program and filter" \
    diff <(echo "$want_x86" | awk "$with_new" | sort) <(listing "$x86_setup" | grep -v '^\$PLUGINSDIR/')
  check "the zip holds the x64 files in one folder" diff <(echo "$want_zip") <(listing "$portable")
  check "the x64 installer is a 64-bit NSIS installer ($(subtype "$x64_setup"))" \
    test "$(subtype "$x64_setup")" = "NSIS-3 Unicode 64-bit"
  check "the x86 installer is a 32-bit NSIS installer ($(subtype "$x86_setup"))" \
    test "$(subtype "$x86_setup")" = "NSIS-3 Unicode"

  local kind
  for kind in x64 x86 zip; do
    local package=$x64_setup
    [ $kind = x86 ] && package=$x86_setup
    [ $kind = zip ] && package=$portable
    7z x -y -bd "-o$work/unpacked/$kind" "$package" >"$work/7z-$kind.log" 2>&1 ||
      fail "7z cannot unpack $package: $(cat "$work/7z-$kind.log")"
  done
  local u=$work/unpacked z=$work/unpacked/zip/Pavix-$version
  # The installers themselves, and everything that runs in them (plugins)
  # or from them.
  check "x64 installer: installer, plugins, program, 64-bit filter and media source are PE32+" \
    expect_kind "PE32+ x86-64" "$x64_setup" "$u"/x64/\$PLUGINSDIR/*.dll "$u/x64/pavix.exe" "$u/x64/x64/RovoFilter.ax" \
      "$u/x64/x64/PavixMediaSource.dll"
  check "x64 installer: the filter for 32-bit applications is PE32" \
    expect_kind "PE32 i386" "$u/x64/x86/RovoFilter.ax"
  check "x86 installer: installer, plugins, program and filter are PE32" \
    expect_kind "PE32 i386" "$x86_setup" "$u"/x86/\$PLUGINSDIR/*.dll "$u/x86/pavix.exe" "$u/x86/x86/RovoFilter.ax"
  check "zip: program, 64-bit filter and media source PE32+" \
    expect_kind "PE32+ x86-64" "$z/pavix.exe" "$z/x64/RovoFilter.ax" "$z/x64/PavixMediaSource.dll"
  check "zip: the 32-bit filter is PE32" expect_kind "PE32 i386" "$z/x86/RovoFilter.ax"

  check "version records of the x64 installer's files" eval '
    check_version "$u/x64/pavix.exe" pavix.exe app &&
    check_version "$u/x64/x64/RovoFilter.ax" RovoFilter.ax dll &&
    check_version "$u/x64/x86/RovoFilter.ax" RovoFilter.ax dll'
  check "version records of the x86 installer's files" eval '
    check_version "$u/x86/pavix.exe" pavix.exe app &&
    check_version "$u/x86/x86/RovoFilter.ax" RovoFilter.ax dll'
  check "version records of the zip's files" eval '
    check_version "$z/pavix.exe" pavix.exe app &&
    check_version "$z/x64/RovoFilter.ax" RovoFilter.ax dll &&
    check_version "$z/x86/RovoFilter.ax" RovoFilter.ax dll'
  local setup out
  for setup in "$x64_setup" "$x86_setup"; do
    out=$(version_read "$setup")
    check "$(basename "$setup") carries version $version" eval \
      'grep -qxF "fixed $quad $quad type=app" <<<"$out" && grep -qxF "0409-04e4 ProductVersion=$version" <<<"$out"'
  done

  # The zip's text on registering by hand, for both bitnesses, and where
  # the debug bridge goes.
  local readme
  readme=$(tr -d '\r' <"$z/README.txt")
  check "README.txt names this version" grep -qF "Pavix $version" <<<"$readme"
  check "README.txt registers both filters by hand" eval \
    'grep -qF "regsvr32 \"C:\\Pavix\\x64\\RovoFilter.ax\"" <<<"$readme" &&
     grep -qF "SysWOW64\\regsvr32 \"C:\\Pavix\\x86\\RovoFilter.ax\"" <<<"$readme" &&
     grep -qF "regsvr32 /u \"C:\\Pavix\\x64\\RovoFilter.ax\"" <<<"$readme"'
  check "README.txt registers and unregisters the media source by hand" eval \
    'grep -qF "regsvr32 \"C:\\Pavix\\x64\\PavixMediaSource.dll\"" <<<"$readme" &&
     grep -qF "regsvr32 /u \"C:\\Pavix\\x64\\PavixMediaSource.dll\"" <<<"$readme"'
  check "README.txt says where adb.exe and its DLLs go" eval \
    'grep -qF "AdbWinApi.dll" <<<"$readme" && grep -qF "AdbWinUsbApi.dll" <<<"$readme"'
  check "README.txt is UTF-8 with a byte-order mark and CR LF lines" eval \
    '[ "$(head -c 3 "$z/README.txt" | od -An -tx1 | tr -d " ")" = efbbbf ] &&
     [ "$(grep -c $'"'"'\r$'"'"' "$z/README.txt")" -eq "$(wc -l <"$z/README.txt")" ]'
}

case "$case_name" in
  build) case_build ;;
  contents) case_contents ;;
  *) fail "unknown case $case_name" ;;
esac
end_checks
