#!/usr/bin/python3
"""Whole imports of the real module in ekvhost under Wine, answered through the real
dialogs by window messages, compared sample for sample with the native ekv host, whose
documents are themselves checked to be the same with its optimised and its
straightforward stages (ekv convert --reference).

Usage: check_windows_import.py --wine-env tools/wine-env.sh --host ekvhost.exe
           --plugins DIR --ekv build/native/tools/ekv --ekv-make build/native/tools/ekv-make
           --work DIR
"""
import argparse
import json
import os
import struct
import subprocess
import sys
import unittest
import zlib
from pathlib import Path

ARGS = None
CAPTION = "Karvex RAW File"
# The preview in the dialog's client area at 96 dpi, and its size.
PREVIEW_LEFT, PREVIEW_TOP, PREVIEW_W, PREVIEW_H = 10, 37, 320, 240


def windows_path(path) -> str:
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def work(name: str) -> Path:
    return Path(ARGS.work) / name


# ---- images --------------------------------------------------------------------------

def read_ppm(path):
    """(width, height, maxval, samples) of a binary P6 file."""
    data = Path(path).read_bytes()
    fields, at = [], 0
    while len(fields) < 4:
        while data[at:at + 1].isspace():
            at += 1
        start = at
        while not data[at:at + 1].isspace():
            at += 1
        fields.append(data[start:at])
    at += 1
    assert fields[0] == b"P6", fields
    width, height, maxval = (int(f) for f in fields[1:])
    body = data[at:]
    if maxval > 255:
        samples = list(struct.unpack(f">{width * height * 3}H", body[:width * height * 6]))
    else:
        samples = list(body[:width * height * 3])
    return width, height, maxval, samples


def read_tiff(path):
    """(width, height, bits, samples) of an uncompressed chunky RGB TIFF."""
    data = Path(path).read_bytes()
    order = {b"II": "<", b"MM": ">"}[data[:2]]
    ifd = struct.unpack_from(order + "I", data, 4)[0]
    count = struct.unpack_from(order + "H", data, ifd)[0]
    tags = {}
    for i in range(count):
        tag, kind, n, value = struct.unpack_from(order + "HHII", data, ifd + 2 + 12 * i)
        size = {3: 2, 4: 4}.get(kind)
        if size is None:
            continue
        fmt = order + ("H" if size == 2 else "I")
        if n * size <= 4:
            values = [struct.unpack_from(fmt, data, ifd + 2 + 12 * i + 8 + k * size)[0] for k in range(n)]
        else:
            values = [struct.unpack_from(fmt, data, value + k * size)[0] for k in range(n)]
        tags[tag] = values
    width, height, bits = tags[256][0], tags[257][0], tags[258][0]
    assert tags.get(259, [1])[0] == 1 and tags[277][0] == 3
    body = b"".join(data[o:o + c] for o, c in zip(tags[273], tags[279]))
    total = width * height * 3
    if bits == 16:
        samples = list(struct.unpack(f"{order}{total}H", body[:total * 2]))
    else:
        samples = list(body[:total])
    return width, height, bits, samples


def read_png_rgb8(path):
    """(width, height, rows of RGB bytes) of an 8-bit RGB PNG."""
    data = Path(path).read_bytes()
    at, idat, width, height = 8, b"", 0, 0
    while at < len(data):
        length, kind = struct.unpack_from(">I4s", data, at)
        body = data[at + 8:at + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour = struct.unpack_from(">IIBB", body)
            assert depth == 8 and colour == 2, (depth, colour)
        elif kind == b"IDAT":
            idat += body
        at += 12 + length
    raw = zlib.decompress(idat)
    stride, rows, prev = width * 3, [], bytearray(width * 3)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = prev[i]
            c = prev[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, rows


def read_bmp(path):
    """(width, height, pixel(x, y) -> (r, g, b)) of a 24-bit BMP."""
    data = Path(path).read_bytes()
    assert data[:2] == b"BM"
    offset = struct.unpack_from("<I", data, 10)[0]
    width, height = struct.unpack_from("<ii", data, 18)
    assert struct.unpack_from("<H", data, 28)[0] == 24
    stride = (width * 3 + 3) & ~3

    def pixel(x, y):
        row = y if height < 0 else abs(height) - 1 - y
        at = offset + row * stride + 3 * x
        return data[at + 2], data[at + 1], data[at]
    return width, abs(height), pixel


# ---- running the hosts -------------------------------------------------------------------

def run_ekvhost(*arguments, env=None):
    """Runs ekvhost; returns its output as a list of (key, value)."""
    process = subprocess.run(
        ["bash", ARGS.wine_env, "wine", ARGS.host, windows_path(ARGS.plugins), *arguments],
        stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=240, env=env)
    lines = []
    for line in process.stdout.splitlines():
        key, _, value = line.partition(": ")
        if value.startswith('"'):
            value = json.loads(value)
        lines.append((key, value))
    if process.returncode not in (0, 3) or any(k == "error" for k, _ in lines):
        raise AssertionError(f"ekvhost failed ({process.returncode}):\n{process.stdout}\n{process.stderr}")
    return lines


def values(lines, key):
    return [v for k, v in lines if k == key]


def only(lines, key):
    found = values(lines, key)
    if len(found) != 1:
        raise AssertionError(f"{key} appears {len(found)} times in {lines}")
    return found[0]


_IMPORTS = {}


def ekvhost_import(name, *answers, source=None, env=None):
    """An import of a file (the small one by default) with the dialog answers given;
    cached by name. Each --screenshot NAME is written into the work folder."""
    source = Fixture.small if source is None else source
    if name not in _IMPORTS:
        arguments = list(answers)
        for i, a in enumerate(arguments):
            if a == "--screenshot":
                arguments[i + 1] = windows_path(work(arguments[i + 1]))
        output = work(f"{name}.ppm")
        if output.exists():
            output.unlink()
        lines = run_ekvhost("import", windows_path(source), *arguments, "-o", windows_path(output), env=env)
        _IMPORTS[name] = (lines, output)
    return _IMPORTS[name]


_NATIVE = {}


def convert_native(source, method, point, out, reference=False):
    """Runs the native ekv convert; the document it wrote."""
    command = [ARGS.ekv, "convert", str(source), "-m", str(method), "-o", str(out)]
    if point is not None:
        command += ["--wb-point", "%d,%d" % point]
    if reference:
        command.append("--reference")
    subprocess.run(command, check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=120)
    return read_tiff(out)


def native(method, point=None, source=None):
    """The native host's document for a file (the small one by default), method and
    point, after checking that the native straightforward stages give the same one."""
    source = Fixture.small if source is None else source
    key = (str(source), method, point)
    if key not in _NATIVE:
        stem = f"native-{Path(source).stem}-m{method}-{'none' if point is None else '%d_%d' % point}"
        optimised = convert_native(source, method, point, work(stem + ".tif"))
        reference = convert_native(source, method, point, work(stem + "-reference.tif"), reference=True)
        if optimised != reference:
            differing = sum(1 for a, b in zip(optimised[3], reference[3]) if a != b)
            raise AssertionError(f"{stem}: native optimised and straightforward stages differ in "
                                 f"{differing} of {len(optimised[3])} samples")
        _NATIVE[key] = optimised
    return _NATIVE[key]


class Fixture:
    small = None
    formats = {}
    no_thumbnail = None
    not_ekv = None
    thumbnails = {}

    @staticmethod
    def make():
        folder = Path(ARGS.work)
        folder.mkdir(parents=True, exist_ok=True)
        Fixture.small = folder / "small.ekv"
        subprocess.run([ARGS.ekv_make, "sample", "-o", str(Fixture.small), "--width", "200", "--height", "160"],
                       check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        Fixture.no_thumbnail = folder / "bare.ekv"
        subprocess.run([ARGS.ekv_make, "sample", "-o", str(Fixture.no_thumbnail), "--width", "200", "--height", "160",
                        "--no-thumbnail"], check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        Fixture.formats = {}
        # Output heights that are whole numbers of bands (26 rows per band below 1000
        # columns, 12 from 1000), so that every row is delivered.
        for name, options in (("b12-be-gbrg", ["--width", "262", "--height", "82", "--bits", "12", "--big-endian",
                                               "--pattern", "GBRG"]),
                              ("b14-bggr-wide", ["--width", "1030", "--height", "52", "--bits", "14",
                                                 "--pattern", "BGGR"]),
                              ("b8-grbg", ["--width", "342", "--height", "56", "--bits", "8", "--pattern", "GRBG"]),
                              ("b16-be", ["--width", "262", "--height", "56", "--bits", "16", "--big-endian"])):
            Fixture.formats[name] = folder / f"{name}.ekv"
            subprocess.run([ARGS.ekv_make, "sample", "-o", str(Fixture.formats[name]), *options],
                           check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        Fixture.thumbnails = {}
        for size in ("160x120", "640x480"):
            Fixture.thumbnails[size] = folder / f"thumb-{size}.ekv"
            subprocess.run([ARGS.ekv_make, "sample", "-o", str(Fixture.thumbnails[size]), "--width", "200",
                            "--height", "160", "--thumbnail", size],
                           check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        Fixture.not_ekv = folder / "plain.ekv"
        Fixture.not_ekv.write_bytes(b"this is no raw file\n" * 8)


class DocumentCase(unittest.TestCase):
    def assertSameDocument(self, name, answers, method, point, source=None, env=None):
        lines, output = ekvhost_import(name, *answers, source=source, env=env)
        self.assertEqual(only(lines, "import.result"), "0", lines)
        self.assertEqual(only(lines, "output"), "ok")
        width, height, maxval, samples = read_ppm(output)
        n_width, n_height, bits, n_samples = native(method, point, source)
        self.assertEqual((width, height, maxval), (n_width, n_height, 65535 if bits == 16 else 255))
        self.assertEqual(only(lines, "rows.delivered"), str(height))
        if samples != n_samples:
            differing = sum(1 for a, b in zip(samples, n_samples) if a != b)
            self.fail(f"{name}: {differing} of {len(samples)} samples differ from the native document")
        self.assertEqual(only(lines, "buffers.live"), "0")
        return lines


# ---- the tests ---------------------------------------------------------------------------

class RefusalsAndCancels(unittest.TestCase):
    def test_a_file_that_is_not_ekv_is_refused_with_the_message(self):
        lines = run_ekvhost("import", windows_path(Fixture.not_ekv), "-o", windows_path(work("plain.ppm")))
        self.assertEqual(only(lines, "openfile.typed"), windows_path(Fixture.not_ekv))
        self.assertEqual(values(lines, "messagebox.caption"), [CAPTION])
        self.assertEqual(values(lines, "messagebox.text"), ["Not an EKV File."])
        self.assertEqual(values(lines, "conversion.caption"), [])
        self.assertEqual(only(lines, "import.result"), "-128")
        self.assertFalse(work("plain.ppm").exists())

    def test_cancel_in_the_file_dialog(self):
        lines = run_ekvhost("import", windows_path(Fixture.small), "--cancel-file")
        self.assertEqual(only(lines, "openfile.answer"), "cancel")
        self.assertEqual(values(lines, "messagebox.caption"), [])
        self.assertEqual(values(lines, "conversion.caption"), [])
        self.assertEqual(only(lines, "import.result"), "-128")

    def test_cancel_in_the_conversion_dialog_releases_everything(self):
        lines, output = ekvhost_import("cancel", "--method", "1", "--point", "20,20", "--cancel-dialog")
        self.assertEqual(only(lines, "conversion.caption"), CAPTION)
        self.assertEqual(only(lines, "conversion.answer"), "cancel")
        self.assertEqual(only(lines, "import.result"), "-128")
        self.assertEqual(values(lines, "continues"), [])
        self.assertFalse(output.exists())
        # Only the globals remain; the thumbnail went with the dialog.
        self.assertEqual(only(lines, "handles.live"), "1")
        self.assertEqual(only(lines, "buffers.live"), "0")


class Documents(DocumentCase):
    def test_module_found_and_method_0_ignores_preview_clicks(self):
        lines = self.assertSameDocument("m0", ["--screenshot", "m0-a.bmp", "--point", "100,80",
                                               "--screenshot", "m0-b.bmp"], 0, None)
        self.assertEqual(only(lines, "menu"), "Karvex RAW File...")
        self.assertEqual(only(lines, "kind"), "8BAM")
        # GDI+ came and went with the dialog: not loaded with the module, gone after Start.
        self.assertEqual(only(lines, "gdiplus.after-load"), "no")
        self.assertEqual(only(lines, "gdiplus.after-start"), "no")
        self.assertEqual(only(lines, "conversion.open"), "radio=4 revert=0")
        self.assertEqual(only(lines, "conversion.state"), "radio=4 revert=0")
        a, b = Screens.preview_pixels("m0-a.bmp"), Screens.preview_pixels("m0-b.bmp")
        self.assertEqual(a, b, "a click with method 0 changed the preview")

    def test_method_1_top_left_corner_and_clicks_just_outside(self):
        outside = ["--click", "9,37", "--click", "10,36", "--click", "330,100", "--click", "100,277"]
        lines = self.assertSameDocument(
            "m1-corner", ["--method", "1", *outside, "--point", "0,0", *outside], 1, (0, 0))
        states = values(lines, "conversion.state")
        self.assertEqual(states[:5], ["radio=5 revert=0"] * 5, "a click outside the preview picked a point")
        self.assertEqual(states[5:], ["radio=5 revert=1"] * 5)

    def test_method_2_bottom_right_corner_after_an_earlier_point(self):
        lines = self.assertSameDocument(
            "m2-corner", ["--method", "2", "--screenshot", "m2-a.bmp", "--point", "50,60", "--point", "319,239",
                          "--screenshot", "m2-b.bmp"], 2, (319, 239))
        self.assertEqual(values(lines, "conversion.state")[-1], "radio=6 revert=1")

    def test_radio_5_then_6_keeps_the_point(self):
        lines = self.assertSameDocument("keep", ["--method", "1", "--point", "150,100", "--method", "2"],
                                        2, (150, 100))
        self.assertEqual(values(lines, "conversion.state"),
                         ["radio=5 revert=0", "radio=5 revert=1", "radio=6 revert=0"])

    def test_radio_4_clears_the_point(self):
        self.assertNotEqual(native(1, (150, 100))[3], native(1, None)[3], "the point must matter for the check")
        lines = self.assertSameDocument("clear", ["--method", "1", "--point", "150,100", "--method", "0",
                                                  "--method", "1"], 1, None)
        self.assertEqual(values(lines, "conversion.state")[-2:], ["radio=4 revert=0", "radio=5 revert=0"])

    def test_revert_clears_the_point_keeps_the_radio_and_redraws(self):
        self.assertNotEqual(native(2, (150, 100))[3], native(2, None)[3], "the point must matter for the check")
        lines = self.assertSameDocument(
            "revert", ["--method", "2", "--screenshot", "rv-a.bmp", "--point", "150,100", "--revert",
                       "--screenshot", "rv-b.bmp"], 2, None)
        self.assertEqual(values(lines, "conversion.state"),
                         ["radio=6 revert=0", "radio=6 revert=1", "radio=6 revert=0"])
        self.assertEqual(Screens.preview_pixels("rv-a.bmp"), Screens.preview_pixels("rv-b.bmp"),
                         "the marker survived WB Revert")


class Formats(DocumentCase):
    """Other depths, byte orders, CFA patterns and band heights: the Windows module's
    SSE2 stages against the native optimised and straightforward ones."""

    def check(self, name, method, point):
        answers = ["--method", str(method)] + ([] if point is None else ["--point", "%d,%d" % point])
        self.assertSameDocument(name, answers, method, point, Fixture.formats[name])

    def test_12_bits_big_endian_gbrg_method_2_with_a_point(self):
        self.check("b12-be-gbrg", 2, (200, 60))

    def test_14_bits_bggr_16_row_bands_method_2_without_a_point(self):
        self.check("b14-bggr-wide", 2, None)

    def test_8_bits_grbg_method_1_with_a_point(self):
        self.check("b8-grbg", 1, (100, 150))

    def test_16_bits_big_endian_method_0(self):
        self.check("b16-be", 0, None)


class At120Dpi(DocumentCase):
    """A screen of 120 pixels per inch (Wine's LogPixels, in a prefix of its own): the
    caption correction is -19, so the preview, its hit rectangle and the picture lie 6
    pixels higher than at 96 dpi."""

    TOP = PREVIEW_TOP - 6

    @classmethod
    def setUpClass(cls):
        cls.env = dict(os.environ)
        prefix = str(work("wineprefix-120dpi"))
        cls.env.update(KARVEX_WINEPREFIX=prefix, KARVEX_WINEPREFIX64=prefix)
        subprocess.run(["bash", ARGS.wine_env, "wine", "reg", "add", r"HKCU\Control Panel\Desktop", "/v",
                        "LogPixels", "/t", "REG_DWORD", "/d", "120", "/f"],
                       check=True, stdin=subprocess.DEVNULL, capture_output=True, timeout=300, env=cls.env)

    def test_points_are_measured_from_the_higher_preview(self):
        lines = self.assertSameDocument(
            "dpi120", ["--method", "1", "--screenshot", "dpi120.bmp", "--click", f"10,{self.TOP - 1}",
                       "--click", f"10,{self.TOP}"], 1, (0, 0), env=self.env)
        self.assertEqual(only(lines, "conversion.dpi"), "120")
        # The row above the preview is outside; its top row is the point's row 0.
        self.assertEqual(values(lines, "conversion.state"), ["radio=5 revert=0", "radio=5 revert=0",
                                                              "radio=5 revert=1"])
        Screens.assertShowsThePreviewOf(self, "dpi120.bmp", Fixture.small, top=self.TOP)


class NestedImport(DocumentCase):
    """A second import run from the host window while the first one's conversion dialog
    is up (its loop dispatches the host's messages): the second import's dialog gets the
    same actions and OK, then the first dialog still takes its own OK or Cancel, and GDI+
    stays loaded until the first dialog closes."""

    def test_the_first_dialog_takes_ok_after_a_nested_import(self):
        inner = work("nested-inner.ppm")
        lines = self.assertSameDocument(
            "nested-ok", ["--method", "1", "--point", "150,100", "--nested", windows_path(inner)], 1, (150, 100))
        self.assertEqual(only(lines, "nested.import.result"), "0")
        self.assertEqual(read_ppm(inner)[3], native(1, (150, 100))[3])
        # The nested import's stop and finalize left the first dialog's decoder running.
        self.assertEqual(only(lines, "nested.gdiplus.after-start"), "yes")
        self.assertEqual(only(lines, "gdiplus.after-nested"), "yes")
        self.assertEqual(only(lines, "gdiplus.after-start"), "no")
        self.assertEqual(only(lines, "conversion.after-nested"), "radio=5 revert=1")
        self.assertEqual(values(lines, "conversion.answer"), ["ok", "ok"])
        self.assertNotEqual(set(values(lines, "data")), set(values(lines, "nested.data")))

    def test_the_first_dialog_takes_cancel_after_a_nested_import(self):
        inner = work("nested-cancel-inner.ppm")
        lines = run_ekvhost("import", windows_path(Fixture.small), "--method", "2", "--nested", windows_path(inner),
                            "--cancel-dialog", "-o", windows_path(work("nested-cancel.ppm")))
        self.assertEqual(only(lines, "nested.import.result"), "0")
        self.assertEqual(read_ppm(inner)[3], native(2)[3])
        self.assertEqual(values(lines, "conversion.answer"), ["ok", "cancel"])
        self.assertEqual(only(lines, "import.result"), "-128")
        self.assertEqual(only(lines, "gdiplus.after-start"), "no")
        self.assertFalse(work("nested-cancel.ppm").exists())
        self.assertEqual(only(lines, "buffers.live"), "0")


class WithoutThumbnail(unittest.TestCase):
    def test_the_preview_stays_empty_and_a_point_can_still_be_picked(self):
        lines = run_ekvhost("import", windows_path(Fixture.no_thumbnail), "--method", "1", "--point", "40,30",
                            "--screenshot", windows_path(work("bare.bmp")), "-o", windows_path(work("bare.ppm")))
        self.assertEqual(only(lines, "import.result"), "0")
        self.assertEqual(values(lines, "conversion.state"), ["radio=5 revert=0", "radio=5 revert=1"])
        self.assertEqual(read_ppm(work("bare.ppm"))[3], native(1, (40, 30), Fixture.no_thumbnail)[3])
        _, _, pixel = read_bmp(work("bare.bmp"))
        ox, oy = (int(v) for v in only(lines, "screenshot.client").split(","))
        background = pixel(ox + PREVIEW_LEFT - 2, oy + PREVIEW_TOP - 2)
        # Only the marker differs from the dialog's background.
        marker = {(PREVIEW_LEFT + 40 + dx, PREVIEW_TOP + 30 + dy) for dx in (-1, 0) for dy in (-1, 0)}
        for y in range(PREVIEW_TOP, PREVIEW_TOP + PREVIEW_H):
            for x in range(PREVIEW_LEFT, PREVIEW_LEFT + PREVIEW_W):
                expected = tuple(255 - c for c in background) if (x, y) in marker else background
                self.assertEqual(pixel(ox + x, oy + y), expected, (x, y))


class Screens(unittest.TestCase):
    @staticmethod
    def client_origin(name):
        lines, _ = next((entry for entry in _IMPORTS.values()
                         if windows_path(work(name)) in values(entry[0], "screenshot.file")))
        files = values(lines, "screenshot.file")
        origins = values(lines, "screenshot.client")
        x, y = origins[files.index(windows_path(work(name)))].split(",")
        return int(x), int(y)

    @staticmethod
    def preview_pixels(name, margin=2, top=PREVIEW_TOP):
        """The preview area (and a margin around it) of a screenshot, row by row."""
        _, _, pixel = read_bmp(work(name))
        ox, oy = Screens.client_origin(name)
        return [[pixel(ox + x, oy + y) for x in range(PREVIEW_LEFT - margin, PREVIEW_LEFT + PREVIEW_W + margin)]
                for y in range(top - margin, top + PREVIEW_H + margin)]

    def assertShowsThePreviewOf(self, screenshot, source, top=PREVIEW_TOP):
        """The screenshot's preview rectangle holds the file's thumbnail scaled to fill
        it (the colours of the native host's preview), and nothing lies around it."""
        reference = work(Path(source).stem + "-preview.png")
        subprocess.run([ARGS.ekv, "preview", str(source), "-o", str(reference)], check=True,
                       stdin=subprocess.DEVNULL, capture_output=True, timeout=60)
        width, height, rows = read_png_rgb8(reference)
        self.assertEqual((width, height), (PREVIEW_W, PREVIEW_H))
        area = Screens.preview_pixels(screenshot, top=top)
        inside = [p for row in area[2:-2] for p in row[2:-2]]
        for channel in range(3):
            shown = sum(p[channel] for p in inside) / len(inside)
            expected = sum(row[3 * x + channel] for row in rows for x in range(width)) / (width * height)
            self.assertLess(abs(shown - expected), 4.0, f"channel {channel}: {shown} vs {expected}")
        # The dialog's background all around: the picture neither falls short of the
        # rectangle nor spills over it.
        background = area[0][0]
        ring = area[0] + area[1] + area[-1] + area[-2] + [r[i] for r in area for i in (0, 1, -1, -2)]
        self.assertTrue(all(p == background for p in ring), "the picture does not sit on the preview rectangle")
        edges = area[2][2:-2] + area[-3][2:-2] + [r[2] for r in area[2:-2]] + [r[-3] for r in area[2:-2]]
        self.assertGreater(sum(1 for p in edges if p != background), len(edges) * 0.95)

    def test_preview_shows_the_thumbnail_exactly_on_the_preview_rectangle(self):
        ekvhost_import("m2-corner", "--method", "2", "--screenshot", "m2-a.bmp", "--point", "50,60",
                       "--point", "319,239", "--screenshot", "m2-b.bmp")
        self.assertShowsThePreviewOf("m2-a.bmp", Fixture.small)

    def test_small_and_large_thumbnails_both_fill_the_preview(self):
        for size, source in Fixture.thumbnails.items():
            with self.subTest(size=size):
                ekvhost_import(f"thumb-{size}", "--screenshot", f"thumb-{size}.bmp", source=source)
                self.assertShowsThePreviewOf(f"thumb-{size}.bmp", source)

    def test_exactly_one_marker_inverted_at_the_last_point(self):
        ekvhost_import("m2-corner", "--method", "2", "--screenshot", "m2-a.bmp", "--point", "50,60",
                       "--point", "319,239", "--screenshot", "m2-b.bmp")
        before, after = self.preview_pixels("m2-a.bmp"), self.preview_pixels("m2-b.bmp")
        changed = {(x, y) for y, (ra, rb) in enumerate(zip(before, after)) for x, (a, b) in enumerate(zip(ra, rb))
                   if a != b}
        # In preview coordinates (the area starts 2 pixels left of and above the preview):
        # the 2 x 2 square whose lower-right pixel is (319, 239).
        marker = {(319 + dx + 2, 239 + dy + 2) for dx in (-1, 0) for dy in (-1, 0)}
        self.assertEqual(changed, marker)
        for x, y in marker:
            self.assertEqual(after[y][x], tuple(255 - c for c in before[y][x]))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    for option in ("--wine-env", "--host", "--plugins", "--ekv", "--ekv-make", "--work"):
        parser.add_argument(option, required=True)
    ARGS, rest = parser.parse_known_args()
    for tool in (ARGS.ekv, ARGS.ekv_make):
        if not Path(tool).is_file():
            sys.exit(f"missing native tool {tool}: build the native configuration first "
                     "(tools/test.sh does, or set KARVEX_NATIVE_BUILD_DIR)")
    Fixture.make()
    unittest.main(argv=[sys.argv[0], "-v", *rest])
