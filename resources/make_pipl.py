#!/usr/bin/env python3
"""Writes the module's property list (PIPL resource 16000): it names the module an
Acquire module, gives its menu item, its interface version and its entry point, under
the code property of the module's architecture: `wx86` for 32-bit x86, `8664` for x86-64.

Usage: make_pipl.py OUTPUT [i686|x86_64]
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


# The code property of each architecture; a host picks the one that matches its own.
CODE_PROPERTY = {"i686": "wx86", "x86_64": "8664"}


def property_list(arch: str = "i686") -> bytes:
    properties = [
        prop("kind", four_cc("8BAM")),
        prop("name", counted("Karvex RAW File...")),
        prop("vers", struct.pack("<I", 0x00040000)),
        prop(CODE_PROPERTY[arch], b"ENTRYPOINT\0\0"),
    ]
    return struct.pack("<hiI", 1, 0, len(properties)) + b"".join(properties)


def main() -> int:
    if len(sys.argv) not in (2, 3) or (len(sys.argv) == 3 and sys.argv[2] not in CODE_PROPERTY):
        print(__doc__, file=sys.stderr)
        return 2
    with open(sys.argv[1], "wb") as out:
        out.write(property_list(sys.argv[2] if len(sys.argv) == 3 else "i686"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
