#!/usr/bin/python3
"""Reads the kind of Windows executable a file is from its PE headers.

    pe_machine.py FILE...                   prints "FILE: KIND" for each
    pe_machine.py --expect KIND FILE...     the same; exit status 1 unless
                                            every FILE is of KIND

KIND is "PE32+ x86-64" (64-bit), "PE32 i386" (32-bit) or, for anything
else, what the headers say ("PE32 machine 0x1c4", "not a PE file: ...").
"""
import struct
import sys

MACHINES = {0x8664: "x86-64", 0x14C: "i386", 0xAA64: "arm64", 0x1C4: "armnt"}
MAGICS = {0x10B: "PE32", 0x20B: "PE32+"}


def kind_of(path):
    with open(path, "rb") as f:
        head = f.read(4096)
    if len(head) < 0x40 or head[:2] != b"MZ":
        return "not a PE file: no MZ header"
    offset = struct.unpack_from("<I", head, 0x3C)[0]
    if offset + 26 > len(head):
        with open(path, "rb") as f:
            f.seek(offset)
            nt = f.read(26)
    else:
        nt = head[offset:offset + 26]
    if len(nt) < 26 or nt[:4] != b"PE\0\0":
        return "not a PE file: no PE signature"
    machine = struct.unpack_from("<H", nt, 4)[0]
    magic = struct.unpack_from("<H", nt, 24)[0]
    format_name = MAGICS.get(magic, "optional header 0x%x" % magic)
    machine_name = MACHINES.get(machine, "machine 0x%x" % machine)
    return "%s %s" % (format_name, machine_name)


def main(argv):
    expect = None
    if len(argv) >= 2 and argv[0] == "--expect":
        expect, argv = argv[1], argv[2:]
    if not argv:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    ok = True
    for path in argv:
        try:
            kind = kind_of(path)
        except OSError as error:
            kind = "unreadable: %s" % error.strerror
        print("%s: %s" % (path, kind))
        if expect is not None and kind != expect:
            ok = False
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
