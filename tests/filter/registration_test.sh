#!/usr/bin/env bash
# The camera's registration through the system's registration tool, as an
# installer does it, and what capture applications then find:
#   registration_test.sh WINE_EXEC PREFIX TREE
# Runs inside the test run's network namespace (ctest under in-netns.sh).
set -uo pipefail

wine_exec=$1
prefix=$2
tree=$3
wine() { "$wine_exec" --prefix "$prefix" "$@"; }

ax="Z:${tree//\//\\}\\filter\\RovoFilter.ax"
camcheck=$tree/tools/camcheck/camcheck.exe
clsid='{74AD45B0-D8B4-4422-9C32-0AB6EECA21E0}'
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/../support/checks.sh"

# Output goes to files: Wine's own service processes may keep a pipe open.
list_devices() {
    wine "$camcheck" --list >"$work/list" 2>&1
    tr -d '\r' <"$work/list" >"$work/devices"
    cat "$work/devices"
}

pavix_entries() {
    grep -c '^device "Pavix"' "$work/devices"
}

registry_value() {  # registry_value KEY [VALUE]: the data, or nothing
    if [ $# -eq 2 ]; then
        wine reg query "$1" /v "$2" >"$work/reg" 2>&1 || return 0
    else
        wine reg query "$1" /ve >"$work/reg" 2>&1 || return 0
    fi
    tr -d '\r' <"$work/reg" | sed -n 's/^ *[^ ].*REG_SZ *//p' | head -1
}

# Start from nothing registered.
wine regsvr32 /s /u "$ax" >"$work/pre" 2>&1

wine regsvr32 /s "$ax" >"$work/reg1" 2>&1
check "regsvr32 registers the module" test $? -eq 0
list_devices
check "exactly one device named Pavix" test "$(pavix_entries)" -eq 1
check "Pavix names the filter's class, with merit MERIT_NORMAL and one pin" \
    grep -q "^device \"Pavix\" clsid $clsid merit 0x00600000 pins 1\$" "$work/devices"
check "its pin is an output of the capture category carrying Video/RGB24" \
    grep -q '^  pin output category capture types Video/RGB24$' "$work/devices"

server="HKCR\\CLSID\\$clsid\\InprocServer32"
check "the class is named Pavix" test "$(registry_value "HKCR\\CLSID\\$clsid")" = "Pavix"
threading=$(registry_value "$server" ThreadingModel)
check "InprocServer32 ThreadingModel is Both (got '$threading')" test "$threading" = "Both"
path=$(registry_value "$server")
check "InprocServer32 names the module ($path)" test "$path" = "$ax"

wine regsvr32 /s "$ax" >"$work/reg2" 2>&1
check "registering twice succeeds" test $? -eq 0
list_devices >/dev/null
check "registering twice still lists one Pavix" test "$(pavix_entries)" -eq 1

wine regsvr32 /s /u "$ax" >"$work/unreg" 2>&1
check "regsvr32 /u unregisters the module" test $? -eq 0
list_devices >/dev/null
check "no Pavix once unregistered" test "$(pavix_entries)" -eq 0
check "the class key is gone" test -z "$(registry_value "HKCR\\CLSID\\$clsid")"

# Unregistering again: the COM server step finds nothing to delete; the
# result is the filter mapper's for the missing entry.
wine regsvr32 /s /u "$ax" >"$work/unreg2" 2>&1
echo "note  unregistering again returns $?"
check "the class key stays gone" test -z "$(registry_value "HKCR\\CLSID\\$clsid")"

end_checks
