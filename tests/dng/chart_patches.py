#!/usr/bin/env python3
"""Patch means of the sample chart in 16-bit RGB TIFFs, and the checks made of them.

  chart_patches.py neutral linear|srgb DCRAW.tiff [X Y]
                                  grey patches: R/G and B/G within 2% of the chart's own
  chart_patches.py delta DCRAW.tiff CONVERT.tiff      mean dE*ab of the 24 patches at most 0.5
  chart_patches.py close A.tiff B.tiff                the same size; at most 1 sample in 1000
                                                      differs, by at most 1/100 of full scale

DCRAW.tiff is a whole-sensor development (sample (x, y) of the mosaic at pixel (x, y)),
or with X Y a development whose pixel (0, 0) is sample (X, Y) (a cropped one), in linear
RGB or sRGB-encoded (the chart's greys are not exactly neutral: 243, 243, 242 ...);
CONVERT.tiff is the module's output, whose pixel (c, r) lies at sensor (c + 1.5, r + 1.5).
The chart's geometry is that of the sample chart (tools/ekvwriter/Scene.cpp): 6 x 4
patches from (0.04, 0.05) in steps of 0.125 x 0.145, with a gap of 0.012 around each,
in units of the output height; the last row holds the greys.
"""
import array
import struct
import sys

PATCH_LEFT, PATCH_TOP, CELL_W, CELL_H, GAP = 0.04, 0.05, 0.125, 0.145, 0.012
SRGB = [(115, 82, 68), (194, 150, 130), (98, 122, 157), (87, 108, 67), (133, 128, 177), (103, 189, 170),
        (214, 126, 44), (80, 91, 166), (193, 90, 99), (94, 60, 108), (157, 188, 64), (224, 163, 46),
        (56, 61, 150), (70, 148, 73), (175, 54, 60), (231, 199, 31), (187, 86, 149), (8, 133, 161),
        (243, 243, 242), (200, 200, 200), (160, 160, 160), (122, 122, 121), (85, 85, 85), (52, 52, 52)]
GREYS = range(18, 24)
TO_XYZ = [(0.412453, 0.357580, 0.180423), (0.212671, 0.715160, 0.072169), (0.019334, 0.119193, 0.950227)]


def read_tiff(path):
    """Width, height and the 16-bit RGB samples of an uncompressed chunky TIFF."""
    data = open(path, 'rb').read()
    order = '<' if data[:2] == b'II' else '>'
    (ifd,) = struct.unpack(order + 'I', data[4:8])
    (count,) = struct.unpack(order + 'H', data[ifd:ifd + 2])
    tags = {}
    sizes = {1: 1, 2: 1, 3: 2, 4: 4, 5: 8, 7: 1}
    for i in range(count):
        tag, kind, n, value = struct.unpack(order + 'HHI4s', data[ifd + 2 + 12 * i:ifd + 14 + 12 * i])
        size = sizes.get(kind, 1) * n
        raw = value if size <= 4 else data[struct.unpack(order + 'I', value)[0]:][:size]
        code = {3: 'H', 4: 'I'}.get(kind)
        tags[tag] = struct.unpack(order + code * n, raw[:size]) if code else raw
    width, height = tags[256][0], tags[257][0]
    if tags.get(259, (1,))[0] != 1 or tags[258][0] != 16 or tags[277][0] != 3 or tags.get(284, (1,))[0] != 1:
        sys.exit(f'{path}: not an uncompressed 16-bit chunky RGB TIFF')
    samples = array.array('H', b''.join(data[o:o + c] for o, c in zip(tags[273], tags[279]))[:width * height * 6])
    if (order == '<') != (sys.byteorder == 'little'):
        samples.byteswap()
    return width, height, samples


def patch_means(image, output_height, offset):
    """The mean RGB of the middle half of each patch; offset: (x, y) in the image of the
    module's output pixel (0, 0)."""
    width, height, samples = image
    means = []
    for index in range(24):
        row, col = divmod(index, 6)
        x0 = (PATCH_LEFT + col * CELL_W + GAP) * output_height
        y0 = (PATCH_TOP + row * CELL_H + GAP) * output_height
        w, h = (CELL_W - 2 * GAP) * output_height, (CELL_H - 2 * GAP) * output_height
        xs = range(int(x0 + w / 4 + offset[0]), int(x0 + 3 * w / 4 + offset[0]))
        ys = range(int(y0 + h / 4 + offset[1]), int(y0 + 3 * h / 4 + offset[1]))
        total = [0.0, 0.0, 0.0]
        for y in ys:
            base = (y * width) * 3
            for x in xs:
                for c in range(3):
                    total[c] += samples[base + 3 * x + c]
        n = len(xs) * len(ys)
        means.append([t / n for t in total])
    return means


def lab(rgb):
    xyz = [sum(m * v for m, v in zip(row, rgb)) for row in TO_XYZ]
    white = [sum(row) for row in TO_XYZ]

    def f(t):
        return t ** (1 / 3) if t > (6 / 29) ** 3 else t / (3 * (6 / 29) ** 2) + 4 / 29
    fx, fy, fz = (f(v / w) for v, w in zip(xyz, white))
    return 116 * fy - 16, 500 * (fx - fy), 200 * (fy - fz)


def linear(v):
    """An 8-bit sRGB value as linear light."""
    v /= 255
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def scaled_to_chart(means):
    """Scales linear patch means so that the greys' mean green equals the chart's."""
    target = sum(linear(SRGB[i][1]) for i in GREYS)
    scale = target / sum(means[i][1] for i in GREYS)
    return [[v * scale for v in m] for m in means]


def main():
    if len(sys.argv) in (4, 6) and sys.argv[1] == 'neutral' and sys.argv[2] in ('linear', 'srgb'):
        image = read_tiff(sys.argv[3])
        # The module's output is 4 rows shorter than the sensor and starts at (1.5, 1.5).
        origin = (float(sys.argv[4]), float(sys.argv[5])) if len(sys.argv) == 6 else (0.0, 0.0)
        offset = (1.5 - origin[0], 1.5 - origin[1])
        means = patch_means(image, image[1] + 2 * origin[1] - 4, offset)
        encode = linear if sys.argv[2] == 'linear' else float
        worst = 0.0
        for i in GREYS:
            r, g, b = means[i]
            chart = [encode(v) for v in SRGB[i]]
            red, blue = r / g / (chart[0] / chart[1]), b / g / (chart[2] / chart[1])
            print(f'grey patch {i - 17}: R/G {red:.4f} B/G {blue:.4f} of the chart\'s')
            worst = max(worst, abs(red - 1), abs(blue - 1))
        print(f'largest deviation from neutral: {100 * worst:.2f}%')
        return 0 if worst <= 0.02 else 1
    if len(sys.argv) == 4 and sys.argv[1] == 'delta':
        theirs, ours = read_tiff(sys.argv[2]), read_tiff(sys.argv[3])
        a = scaled_to_chart(patch_means(theirs, ours[1], (1.5, 1.5)))
        b = scaled_to_chart(patch_means(ours, ours[1], (0.0, 0.0)))
        deltas = [sum((p - q) ** 2 for p, q in zip(lab(x), lab(y))) ** 0.5 for x, y in zip(a, b)]
        for i, d in enumerate(deltas):
            print(f'patch {i + 1}: dE*ab {d:.2f}')
        mean = sum(deltas) / len(deltas)
        print(f'mean dE*ab {mean:.2f}, largest {max(deltas):.2f}')
        return 0 if mean <= 0.5 else 1
    if len(sys.argv) == 4 and sys.argv[1] == 'close':
        (aw, ah, a), (bw, bh, b) = read_tiff(sys.argv[2]), read_tiff(sys.argv[3])
        if (aw, ah) != (bw, bh):
            print(f'sizes differ: {aw} x {ah}, {bw} x {bh}')
            return 1
        differences = [abs(p - q) for p, q in zip(a, b) if p != q]
        print(f'{len(differences)} of {len(a)} samples differ, by at most {max(differences, default=0)}')
        return 0 if len(differences) * 1000 <= len(a) and max(differences, default=0) <= 655 else 1
    sys.exit(__doc__)


if __name__ == '__main__':
    sys.exit(main())
