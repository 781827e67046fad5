#!/usr/bin/python3
"""Runs the real module in the Win32 test host under Wine: the about box, selectors
outside the table, and the module built without its media layer.

Usage: check_ekvhost.py --wine-env tools/wine-env.sh --host ekvhost.exe
                        --plugins DIR --plugins-nomedia DIR
"""
import argparse
import json
import subprocess
import sys
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from check_module import c_string_macro  # noqa: E402

ARGS = None
STRINGS_H = Path(__file__).resolve().parent.parent / "resources" / "Strings.h"
CAPTION = "Karvex RAW File"
NO_MEDIA_TEXT = ("Karvex RAW File requires QuickTime Windows 4 or later. "
                 "Please install QuickTime for Windows. \n")


def windows_path(path: str) -> str:
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def run_host(plugins: str, *commands: str):
    """Runs ekvhost; returns (header lines, calls), each call a list of (key, value)."""
    process = subprocess.run(
        ["bash", ARGS.wine_env, "wine", ARGS.host, windows_path(plugins), *commands],
        stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=240)
    if process.returncode != 0:
        raise AssertionError(f"ekvhost failed ({process.returncode}):\n{process.stdout}\n{process.stderr}")
    header, calls = [], []
    for line in process.stdout.splitlines():
        key, _, value = line.partition(": ")
        if value.startswith('"'):
            value = json.loads(value)
        if key == "call":
            calls.append([])
        (calls[-1] if calls and key not in ("handles.live", "buffers.live", "unload") else header).append(
            (key, value))
    return dict(header), calls


def boxes(call):
    """The message boxes a call showed, as (caption, text)."""
    captions = [v for k, v in call if k == "messagebox.caption"]
    texts = [v for k, v in call if k == "messagebox.text"]
    return list(zip(captions, texts))


def value(call, key):
    found = [v for k, v in call if k == key]
    if len(found) != 1:
        raise AssertionError(f"{key} appears {len(found)} times in {call}")
    return found[0]


class RealModule(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.header, cls.calls = run_host(ARGS.plugins, "about", "call", "6", "call", "100", "call", "-1")

    def test_host_finds_the_acquire_module_by_its_property_list(self):
        self.assertEqual(self.header["plugin"], "KarvexRAW.8ba")
        self.assertEqual(self.header["kind"], "8BAM")
        self.assertEqual(self.header["menu"], "Karvex RAW File...")
        self.assertIn(self.header["entry.property"], ("wx86", "8664"))
        self.assertEqual(self.header["entry.name"], "ENTRYPOINT")
        self.assertEqual(self.header["gdiplus.after-load"], "no", "loading the module loaded GDI+")
        self.assertEqual(len(self.calls), 4)

    def test_about_shows_the_four_line_text_and_allocates_nothing(self):
        about = self.calls[0]
        self.assertEqual(value(about, "call"), "0")
        shown = boxes(about)
        self.assertEqual(len(shown), 1, about)
        caption, text = shown[0]
        self.assertEqual(caption, CAPTION)
        lines = text.split("\n")
        self.assertEqual(len(lines), 4, repr(text))
        self.assertEqual(lines[1], "")
        self.assertEqual(text, c_string_macro(STRINGS_H.read_text(), "STR_ABOUT"))
        self.assertEqual(value(about, "result"), "0")
        self.assertEqual(int(value(about, "data"), 16), 0)

    def test_selectors_outside_the_table_are_refused_and_keep_the_globals(self):
        handles = set()
        for call, selector in zip(self.calls[1:], ("6", "100", "-1")):
            self.assertEqual(value(call, "call"), selector)
            self.assertEqual(boxes(call), [])
            self.assertEqual(value(call, "result"), "-30000")
            # The data word printed whole: 16 digits in a 64-bit host, 8 in a 32-bit one.
            digits = 16 if self.header["entry.property"] == "8664" else 8
            self.assertRegex(value(call, "data"), "^0x[0-9a-f]{%d}$" % digits)
            data = int(value(call, "data"), 16)
            self.assertNotEqual(data, 0)
            handles.add(data)
            # The globals live in a handle of the host's, unlocked after every call.
            self.assertEqual(value(call, "data.handle"), "host")
            self.assertEqual(value(call, "data.locks"), "0")
        self.assertEqual(len(handles), 1, "the globals handle changed between calls")
        self.assertEqual(self.header["handles.live"], "1")
        self.assertEqual(self.header["buffers.live"], "0")
        self.assertEqual(self.header["unload"], "ok")


class ModuleWithoutMediaLayer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.header, cls.calls = run_host(ARGS.plugins_nomedia, "about", "call", "4", "call", "6")

    def test_about_still_works(self):
        about = self.calls[0]
        self.assertEqual(len(boxes(about)), 1)
        self.assertEqual(boxes(about)[0][0], CAPTION)
        self.assertEqual(value(about, "result"), "0")

    def test_every_other_selector_shows_the_notice_and_cancels(self):
        for call in self.calls[1:]:
            self.assertEqual(boxes(call), [(CAPTION, NO_MEDIA_TEXT)])
            self.assertEqual(value(call, "result"), "-128")
            self.assertEqual(int(value(call, "data"), 16), 0)
        self.assertEqual(self.header["handles.live"], "0")


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--wine-env", required=True)
    parser.add_argument("--host", required=True)
    parser.add_argument("--plugins", required=True)
    parser.add_argument("--plugins-nomedia", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
