#!/usr/bin/env bash
# scripts/check-imports.sh against small programs built for the purpose,
# each in a folder of its own outside the build tree (the tree's own check
# would count them): whether the check lets each through as a binary of the
# tree and as a shipped binary, and that a refusal names the DLL.
#
# Environment (set by CTest): PAVIX_CC, PAVIX_WINDRES, PAVIX_OBJDUMP (the
# tree's cross tools).
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
check_imports=$(cd "$here/../.." && pwd)/scripts/check-imports.sh
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/../support/checks.sh"

# A DLL of our own, for a program to import.
printf '__declspec(dllexport) int helper(void) { return 1; }\n' >"$work/helper.c"
"$PAVIX_CC" -shared -o "$work/helper.dll" "$work/helper.c" || { echo "FAIL: cannot build helper.dll"; exit 1; }

cat >"$work/app.manifest" <<'XML'
<?xml version="1.0" encoding="UTF-8" standalone="yes"?>
<assembly xmlns="urn:schemas-microsoft-com:asm.v1" manifestVersion="1.0">
  <dependency><dependentAssembly>
    <assemblyIdentity type="win32" name="Microsoft.Windows.Common-Controls" version="6.0.0.0"
                      processorArchitecture="*" publicKeyToken="6595b64144ccf1df" language="*"/>
  </dependentAssembly></dependency>
</assembly>
XML
printf '1 24 "app.manifest"\n' >"$work/app.rc"
(cd "$work" && "$PAVIX_WINDRES" -O coff -o manifest.o app.rc) || { echo "FAIL: windres"; exit 1; }

# name | main's call | libraries | manifest | as part of the tree | as shipped
# (ok, or the DLL the refusal names).
cases=(
  "system DLLs only|GetTickCount();||no|ok|ok"
  "GDI+ imported|GdiplusShutdown(0);|-lgdiplus|no|ok|gdiplus.dll"
  "version.dll imported|GetFileVersionInfoSizeW(L\"x\", 0);|-lversion|no|ok|version.dll"
  "comctl32 without a manifest|InitCommonControls();|-lcomctl32|no|ok|comctl32.dll"
  "comctl32 bound to Common Controls 6|InitCommonControls();|-lcomctl32|yes|ok|ok"
  "a DLL of our own beside it|helper();|helper.dll|no|helper.dll|helper.dll"
)

n=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name call libs manifest tree shipped <<<"$entry"
  n=$((n + 1))
  dir=$work/case$n
  mkdir -p "$dir"
  cat >"$dir/main.c" <<C
#include <windows.h>
#include <commctrl.h>
void __stdcall GdiplusShutdown(ULONG_PTR token);
__declspec(dllimport) int helper(void);
int main(void) { $call return 0; }
C
  objects=()
  [ "$manifest" = yes ] && objects=("$work/manifest.o")
  # shellcheck disable=SC2086
  if ! (cd "$work" && "$PAVIX_CC" -o "$dir/sample.exe" "$dir/main.c" "${objects[@]}" $libs 2>"$dir/cc.log"); then
    echo "FAIL  $name: cannot build the sample: $(cat "$dir/cc.log")"
    failures=$((failures + 1))
    continue
  fi
  [ "$libs" = helper.dll ] && cp "$work/helper.dll" "$dir/"

  for role in tree shipped; do
    args=()
    expected=$tree
    if [ $role = shipped ]; then
      args=("$dir/sample.exe")
      expected=$shipped
    fi
    out=$("$check_imports" "$PAVIX_OBJDUMP" "$dir" "${args[@]}" 2>&1)
    rc=$?
    if [ "$expected" = ok ]; then
      check "$name: passes as $role" test $rc -eq 0
    else
      check "$name: refused as $role, naming $expected" eval \
        '[ $rc -ne 0 ] && grep -q "sample.exe imports $expected" <<<"$out"'
    fi
  done
done
end_checks
