#!/usr/bin/python3
"""Checks the Windows release zip: both modules, each in its hosts' folder and of the
right architecture (PE machine, property list), the modules built without their
debugging information, an install note that names both, and the licence.

Usage: check_release_zip.py RELEASE.zip LICENSE MODULE64.8ba MODULE32.8ba
"""
import sys
import unittest
import zipfile
from pathlib import Path, PurePosixPath

import pefile

from check_module import EXPECTED_PIPL, EXPECTED_PIPL_64, LANG_EN_US, PE_KIND, find_entry

ZIP = LICENSE = MODULE64 = MODULE32 = None
FOLDERS = {"64-bit hosts": ("x86_64", EXPECTED_PIPL_64), "32-bit hosts": ("i686", EXPECTED_PIPL)}


def property_list(pe):
    type_entry = find_entry(pe.DIRECTORY_ENTRY_RESOURCE, "PIPL")
    name_entry = find_entry(type_entry.directory, 16000)
    (lang,) = [e for e in name_entry.directory.entries if e.id == LANG_EN_US]
    return pe.get_data(lang.data.struct.OffsetToData, lang.data.struct.Size)


def loaded_sections(pe):
    """The contents of the sections that stay in memory while the module runs (code,
    data, resources, imports and exports; not relocations or debugging information)."""
    return {
        s.Name.rstrip(b"\0").decode(): s.get_data(length=min(s.Misc_VirtualSize, s.SizeOfRawData))
        for s in pe.sections if not s.Characteristics & 0x02000000  # IMAGE_SCN_MEM_DISCARDABLE
    }


class ReleaseZip(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.zip = zipfile.ZipFile(ZIP)
        cls.files = {PurePosixPath(n): n for n in cls.zip.namelist() if not n.endswith("/")}
        cls.root = PurePosixPath(Path(ZIP).stem)

    def read(self, *parts):
        name = self.files.get(self.root.joinpath(*parts))
        self.assertIsNotNone(name, f"{'/'.join(parts)} is not in {ZIP}")
        return self.zip.read(name)

    def test_holds_exactly_the_modules_the_note_and_the_licence(self):
        expected = {self.root / "INSTALL.txt", self.root / "LICENSE.txt"}
        expected |= {self.root / folder / "KarvexRAW.8ba" for folder in FOLDERS}
        self.assertEqual(set(self.files), expected)

    def test_each_module_is_of_its_folders_architecture(self):
        for folder, (arch, pipl) in FOLDERS.items():
            with self.subTest(folder=folder):
                pe = pefile.PE(data=self.read(folder, "KarvexRAW.8ba"))
                self.assertEqual((pe.FILE_HEADER.Machine, pe.OPTIONAL_HEADER.Magic), PE_KIND[arch])
                self.assertTrue(pe.FILE_HEADER.Characteristics & 0x2000, "not a DLL")
                self.assertEqual(property_list(pe), pipl)

    def test_modules_are_the_ones_built_without_debugging_information(self):
        for folder, built in (("64-bit hosts", MODULE64), ("32-bit hosts", MODULE32)):
            with self.subTest(folder=folder):
                shipped = pefile.PE(data=self.read(folder, "KarvexRAW.8ba"))
                # Debugging information is in discardable sections; relocations only remain.
                discardable = [s.Name.rstrip(b"\0") for s in shipped.sections if s.Characteristics & 0x02000000]
                self.assertEqual(discardable, [b".reloc"])
                self.assertEqual(loaded_sections(shipped), loaded_sections(pefile.PE(built)))

    def test_install_note_names_both_modules_and_how_to_check_them(self):
        note = self.read("INSTALL.txt").decode("ascii")
        for folder in FOLDERS:
            self.assertIn(folder + "\\KarvexRAW.8ba", note)
        self.assertIn("Plug-ins", note)
        self.assertIn('File > Import lists "Karvex RAW File..."', note)
        self.assertNotIn("@", note, "a placeholder was left unfilled")

    def test_licence_is_the_repositorys(self):
        text = self.read("LICENSE.txt").decode("utf-8")
        self.assertEqual(text.replace("\r\n", "\n"), Path(LICENSE).read_text(encoding="utf-8"))


if __name__ == "__main__":
    if len(sys.argv) != 5:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    ZIP, LICENSE, MODULE64, MODULE32 = sys.argv[1:]
    unittest.main(argv=[sys.argv[0], "-v"])
