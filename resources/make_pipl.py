#!/usr/bin/env python3
"""Writes the module's property list (PIPL resource 16000): it names the module an
Acquire module, gives its menu item, its interface version and its x86 entry point.

Usage: make_pipl.py OUTPUT
"""
import struct
import sys


def four_cc(code: str) -> bytes:
    """A four-character code as the little-endian 32-bit number Windows stores."""
    return struct.pack("<I", int.from_bytes(code.encode("ascii"), "big"))


def prop(key: str, data: bytes) -> bytes:
    """One property: vendor, key, id 0, data length, data padded to 4 bytes."""
    padding = b"\0" * (-len(data) % 4)
    return four_cc("8BIM") + four_cc(key) + struct.pack("<iI", 0, len(data)) + data + padding


def counted(text: str) -> bytes:
    raw = text.encode("ascii")
    return bytes([len(raw)]) + raw


def property_list() -> bytes:
    properties = [
        prop("kind", four_cc("8BAM")),
        prop("name", counted("Karvex RAW File...")),
        prop("vers", struct.pack("<I", 0x00040000)),
        prop("wx86", b"ENTRYPOINT\0\0"),
    ]
    return struct.pack("<hiI", 1, 0, len(properties)) + b"".join(properties)


def main() -> int:
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "wb") as out:
        out.write(property_list())
    return 0


if __name__ == "__main__":
    sys.exit(main())
