#!/usr/bin/env bash
# Checks the DLLs the Windows binaries of a build tree import:
#
#   check-imports.sh OBJDUMP TREE [SHIPPED...]
#
# Every binary of TREE needs nothing beside it but system DLLs (the C++
# runtime, libgcc and winpthread are linked in statically). The SHIPPED
# binaries (pavix.exe, RovoFilter.ax) import only DLLs that Windows takes
# from its own folder whatever folder the program runs from: the KnownDLLs
# common to every Windows we support (7 to 11), the API sets, and
# comctl32.dll when the binary's own manifest binds Common Controls 6 (then
# it comes from the side-by-side store). Anything else they import would be
# looked up beside the program first, where anyone who can write to, say,
# Downloads can plant it for an elevated pavix.exe to run: such DLLs are
# loaded explicitly from the system folder (ui/gdiplus_api.h) instead.
# PavixMediaSource.dll (the Windows camera) imports mfplat.dll and is not
# among them: COM loads it by its full path with the altered search order,
# so mfplat.dll would be looked up in its own folder first, the x64 folder
# of the installation, which only administrators can write.
# Wine prefixes inside the tree (their drive_c) and CMake's own probes are
# not ours and are skipped.
set -euo pipefail
objdump=$1
tree=$2
shift 2
# Media Foundation's DLLs: the Windows 11 camera's source imports mfplat
# (the Frame Server loads it), its tests mfreadwrite; pavix.exe looks them
# up at run time.
system='^(kernel32|user32|gdi32|advapi32|msvcrt|ws2_32|ole32|oleaut32|shell32|comctl32|comdlg32|gdiplus|shlwapi|winmm|version|strmiids|quartz|msvfw32|avifil32|mfplat|mfreadwrite|mfsensorgroup|api-ms-win-.*)\.dll$'
# Windows 7's and Windows 10's KnownDLLs lists both hold these (gdiplus.dll
# is only on the later ones).
known='^(advapi32|clbcatq|comdlg32|difxapi|gdi32|imagehlp|imm32|kernel32|msctf|msvcrt|normaliz|nsi|ole32|oleaut32|psapi|rpcrt4|sechost|setupapi|shell32|shlwapi|user32|wldap32|ws2_32|api-ms-win-.*)\.dll$'
common_controls_6='name="Microsoft.Windows.Common-Controls" version="6.0.0.0"'

imports() { "$objdump" -p "$1" | sed -n 's/^[[:space:]]*DLL Name: //p' | tr 'A-Z' 'a-z'; }

checked=0
bad=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  while read -r dll; do
    if ! grep -Eq "$system" <<<"$dll"; then
      echo "$file imports $dll"
      bad=1
    fi
  done < <(imports "$file")
done < <(find "$tree" \( -name drive_c -o -name CMakeFiles \) -prune -o \
           \( -name '*.exe' -o -name '*.dll' -o -name '*.ax' \) -type f -print0)
echo "checked $checked Windows binaries"

for file in "$@"; do
  [ -f "$file" ] || { echo "$file is missing"; bad=1; continue; }
  while read -r dll; do
    grep -Eq "$known" <<<"$dll" && continue
    if [ "$dll" = comctl32.dll ] && grep -aqF "$common_controls_6" "$file"; then
      continue
    fi
    echo "$file imports $dll, which Windows would look for beside it first"
    bad=1
  done < <(imports "$file")
done
[ $# -eq 0 ] || echo "checked $# shipped binaries for DLLs found beside them"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
