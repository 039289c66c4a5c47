#!/usr/bin/env bash
# Checks that the Windows programs and libraries of a build tree need nothing
# beside them but system DLLs (the C++ runtime, libgcc and winpthread are
# linked in statically):  check-imports.sh OBJDUMP TREE
# Wine prefixes inside the tree (their drive_c) and CMake's own probes are
# not ours and are skipped.
set -euo pipefail
objdump=$1
tree=$2
system='^(kernel32|user32|gdi32|advapi32|msvcrt|ws2_32|ole32|oleaut32|shell32|comctl32|comdlg32|gdiplus|shlwapi|winmm|version|strmiids|quartz|msvfw32|avifil32|api-ms-win-.*)\.dll$'
checked=0
bad=0
while IFS= read -r -d '' file; do
  checked=$((checked + 1))
  while read -r dll; do
    if ! printf '%s\n' "$dll" | tr 'A-Z' 'a-z' | grep -Eq "$system"; then
      echo "$file imports $dll"
      bad=1
    fi
  done < <("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
done < <(find "$tree" \( -name drive_c -o -name CMakeFiles \) -prune -o \
           \( -name '*.exe' -o -name '*.dll' -o -name '*.ax' \) -type f -print0)
echo "checked $checked Windows binaries"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
