#!/usr/bin/python3
"""Checks the built Windows module file: a 32-bit x86 or an x86-64 DLL that exports
ENTRYPOINT and DialogProc undecorated, imports only system DLLs, and carries the
property list, the string table and the conversion dialog template in US English.

Usage: check_module.py KarvexRAW.8ba Strings.h [i686|x86_64]
"""
import re
import struct
import sys
import unittest
from pathlib import Path

import pefile

MODULE = None
STRINGS_H = None
ARCH = "i686"
LANG_EN_US = 1033
RT_DIALOG = 5
RT_STRING = 6

# The property list as the bytes a host reads, written out by hand: four-character
# codes appear reversed because they are stored as little-endian numbers.
EXPECTED_PIPL = (
    b"\x01\x00"                          # 16-bit 1
    b"\x00\x00\x00\x00"                  # list version 0
    b"\x04\x00\x00\x00"                  # four properties
    b"MIB8" b"dnik" b"\0\0\0\0" b"\x04\0\0\0" b"MAB8"
    b"MIB8" b"eman" b"\0\0\0\0" b"\x13\0\0\0" b"\x12Karvex RAW File..." b"\0"
    b"MIB8" b"srev" b"\0\0\0\0" b"\x04\0\0\0" b"\x00\x00\x04\x00"
    b"MIB8" b"68xw" b"\0\0\0\0" b"\x0c\0\0\0" b"ENTRYPOINT\0\0"
)
# The 64-bit module's: the same, with the x86-64 code property `8664` for `wx86`.
EXPECTED_PIPL_64 = EXPECTED_PIPL[:-28] + (
    b"MIB8" b"4668" b"\0\0\0\0" b"\x0c\0\0\0" b"ENTRYPOINT\0\0"
)
# Machine and optional-header magic of each architecture's PE file.
PE_KIND = {"i686": (0x14C, 0x10B), "x86_64": (0x8664, 0x20B)}

SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comdlg32.dll", "ole32.dll",
    "oleaut32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll", "ntdll.dll",
}

EXPECTED_DIALOG_CONTROLS = [
    # id, class ordinal (0x80 button, 0x82 static), text, style, x, y, w, h
    (1, 0x80, "OK", 0x50014000, 30, 263, 60, 15),
    (2, 0x80, "Cancel", 0x50034000, 158, 263, 60, 15),
    (3, 0x80, "WB Revert", 0x50034000, 150, 206, 98, 15),
    (4, 0x80, "RGB Conversion", 0x50034004, 8, 210, 128, 14),
    (5, 0x80, "RGB, WB and Color Adjustment", 0x50034004, 8, 225, 128, 14),
    (6, 0x80, "RGB, Auto Image Process", 0x50034004, 8, 240, 128, 14),
    (7, 0x82, "WB Area Selection Window", 0x50020002, 8, 5, 240, 14),
]


def c_string_macro(header: str, name: str) -> str:
    """The value of a #define made of adjacent C string literals, escapes decoded."""
    match = re.search(r"#define\s+" + name + r"\b((?:[^\n]*\\\n)*[^\n]*)", header)
    if not match:
        raise KeyError(name)
    body = match.group(1).replace("\\\n", " ")
    literals = re.findall(r'"((?:[^"\\]|\\.)*)"', body)
    simple = {"n": "\n", "t": "\t", "r": "\r", '"': '"', "\\": "\\", "'": "'"}
    return "".join(re.sub(r"\\(.)", lambda m: simple[m.group(1)], lit) for lit in literals)


def find_entry(directory, ident):
    for entry in directory.entries:
        if entry.id == ident if isinstance(ident, int) else (entry.name is not None and str(entry.name) == ident):
            return entry
    return None


class Module(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.pe = pefile.PE(str(MODULE))
        cls.image = cls.pe.get_memory_mapped_image()

    def resource(self, type_id, name_id, lang=LANG_EN_US) -> bytes:
        root = self.pe.DIRECTORY_ENTRY_RESOURCE
        type_entry = find_entry(root, type_id)
        self.assertIsNotNone(type_entry, f"no resources of type {type_id}")
        name_entry = find_entry(type_entry.directory, name_id)
        self.assertIsNotNone(name_entry, f"no resource {type_id}/{name_id}")
        langs = [e for e in name_entry.directory.entries if e.id == lang]
        self.assertEqual(len(langs), 1, f"resource {type_id}/{name_id} has no language {lang}")
        data = langs[0].data.struct
        return self.pe.get_data(data.OffsetToData, data.Size)

    def test_is_a_dll_of_the_architecture(self):
        machine, magic = PE_KIND[ARCH]
        self.assertEqual(self.pe.FILE_HEADER.Machine, machine)
        self.assertEqual(self.pe.OPTIONAL_HEADER.Magic, magic)
        self.assertTrue(self.pe.FILE_HEADER.Characteristics & 0x2000, "not a DLL")
        self.assertEqual(MODULE.suffix, ".8ba")

    def test_exports_the_entry_and_the_dialog_procedure_undecorated(self):
        names = {e.name.decode() for e in self.pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name}
        self.assertEqual(names, {"ENTRYPOINT", "DialogProc"})

    def test_imports_only_system_dlls(self):
        dlls = {entry.dll.decode().lower() for entry in self.pe.DIRECTORY_ENTRY_IMPORT}
        for dll in dlls:
            self.assertFalse(re.match(r"lib(gcc|stdc\+\+|winpthread)", dll), dll)
        self.assertLessEqual(dlls, SYSTEM_DLLS)
        self.assertIn("kernel32.dll", dlls)
        # GDI+ is loaded while the conversion dialog is open, not with the module.
        self.assertNotIn("gdiplus.dll", dlls)

    def test_property_list(self):
        self.assertEqual(self.resource("PIPL", 16000), EXPECTED_PIPL_64 if ARCH == "x86_64" else EXPECTED_PIPL)

    def string_table(self, first_id):
        """Strings first_id .. first_id + 15 of one string-table block."""
        block = self.resource(RT_STRING, first_id // 16 + 1)
        strings, at = [], 0
        for _ in range(16):
            (length,) = struct.unpack_from("<H", block, at)
            at += 2
            strings.append(block[at:at + 2 * length].decode("utf-16-le"))
            at += 2 * length
        return strings

    def test_string_table(self):
        header = STRINGS_H.read_text()
        table = self.string_table(16000)
        about = table[0]
        lines = about.split("\n")
        self.assertEqual(len(lines), 4, repr(about))
        self.assertEqual(lines[1], "")
        self.assertTrue(all(lines[i] for i in (0, 2, 3)), repr(about))
        self.assertEqual(about, c_string_macro(header, "STR_ABOUT"))
        self.assertEqual(table[1], "Karvex RAW File")
        self.assertEqual(
            table[2],
            "Karvex RAW File requires QuickTime Windows 4 or later. "
            "Please install QuickTime for Windows. \n")
        self.assertTrue(table[2].endswith("\n"))
        self.assertEqual(table[3], "Not an EKV File.")
        self.assertEqual(table[4], c_string_macro(header, "STR_DAMAGED_EKV"))
        self.assertTrue(table[4])
        self.assertEqual(table[5:], [""] * 11)

    def test_dialog_template(self):
        data = self.resource(RT_DIALOG, "UIPARAM")
        at = 0

        def take(fmt):
            nonlocal at
            values = struct.unpack_from(fmt, data, at)
            at += struct.calcsize(fmt)
            return values

        def sz_or_ord():
            nonlocal at
            (first,) = struct.unpack_from("<H", data, at)
            if first == 0xFFFF:
                at += 4
                return struct.unpack_from("<H", data, at - 2)[0]
            end = at
            while struct.unpack_from("<H", data, end)[0] != 0:
                end += 2
            text = data[at:end].decode("utf-16-le")
            at = end + 2
            return text

        style, ex_style, count, x, y, cx, cy = take("<IIHhhhh")
        self.assertEqual(style, 0x80C000C0)
        self.assertEqual(ex_style, 0)
        self.assertEqual((x, y, cx, cy), (68, 28, 255, 285))
        self.assertEqual(sz_or_ord(), "")  # no menu
        self.assertEqual(sz_or_ord(), "")  # standard dialog class
        self.assertEqual(sz_or_ord(), "Karvex RAW File")
        (points,) = take("<H")
        self.assertEqual((points, sz_or_ord()), (8, "Helv"))
        self.assertEqual(count, len(EXPECTED_DIALOG_CONTROLS))
        for expected in EXPECTED_DIALOG_CONTROLS:
            at = (at + 3) & ~3
            c_style, c_ex, c_x, c_y, c_w, c_h, c_id = take("<IIhhhhH")
            c_class = sz_or_ord()
            c_text = sz_or_ord()
            (extra,) = take("<H")
            at += extra
            self.assertEqual((c_id, c_class, c_text, c_style, c_x, c_y, c_w, c_h), expected)
            self.assertEqual(c_ex, 0)

    def test_tone_tables_when_generated(self):
        if not (STRINGS_H.parent / "make_tone_tables.py").exists():
            self.skipTest("tone tables are not generated in this tree")
        for ident in range(1000, 1004):
            self.assertGreater(len(self.resource("METAFILE", ident)), 0)


if __name__ == "__main__":
    if len(sys.argv) not in (3, 4) or (len(sys.argv) == 4 and sys.argv[3] not in PE_KIND):
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    MODULE = Path(sys.argv[1])
    STRINGS_H = Path(sys.argv[2])
    ARCH = sys.argv[3] if len(sys.argv) == 4 else "i686"
    unittest.main(argv=[sys.argv[0], "-v"])
