#!/usr/bin/env bash
# Checks that a Windows DLL exports each given name exactly as written, as
# the loader and COM look them up: a 32-bit stdcall function exported under
# its decorated name (_Name@N or Name@N) is not found by GetProcAddress.
#   check-exports.sh OBJDUMP DLL NAME...
set -euo pipefail
[ $# -ge 3 ] || { echo "usage: $0 OBJDUMP DLL NAME..." >&2; exit 2; }
objdump=$1
dll=$2
shift 2
[ -f "$dll" ] || { echo "no $dll" >&2; exit 1; }

# The export name table of objdump -p: after "[Ordinal/Name Pointer] Table",
# one line per name, "[ordinal] name" (the name is the last field).
names=$("$objdump" -p "$dll" |
        sed -n '/^\[Ordinal\/Name Pointer\] Table/,/^$/p' |
        awk '/^[[:space:]]*\[ *[0-9]+\]/ { print $NF }')
machine=$("$objdump" -f "$dll" | sed -n 's/.*file format //p')
count=$(printf '%s\n' "$names" | grep -c . || true)
if [ "$count" -le 20 ]; then
    echo "$dll ($machine) exports: $(echo $names)"
else
    echo "$dll ($machine) exports $count names"
fi
[ -n "$names" ] || { echo "FAIL  no export names found"; exit 1; }

bad=0
for want in "$@"; do
    if printf '%s\n' "$names" | grep -qx -- "$want"; then
        echo "ok    $want"
    else
        seen=$(printf '%s\n' "$names" | grep -E -- "^_?$want(@[0-9]+)?\$" || true)
        echo "FAIL  $want not exported as such${seen:+ (found: $(echo $seen))}"
        bad=1
    fi
done
# No name anywhere may keep a stdcall decoration.
decorated=$(printf '%s\n' "$names" | grep -E '@[0-9]+$' || true)
if [ -n "$decorated" ]; then
    echo "FAIL  $(printf '%s\n' "$decorated" | wc -l) decorated names exported, e.g. $(echo $decorated | cut -d' ' -f1-5)"
    bad=1
fi
exit $bad
