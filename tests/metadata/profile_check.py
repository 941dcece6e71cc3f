#!/usr/bin/env python3
"""Colour check of thumbnails made from wide-gamut photographs.

    profile_check.py TAMBLURE_BATCH CORPUS_PHOTOGRAPH [WORK_FOLDER]

Gives a copy of the photograph an Adobe RGB (1998) profile and another a
Display P3 one (the profile is written here: no Debian package ships one),
makes their thumbnails with tamblure-batch, then renders photograph and
thumbnail to sRGB through their embedded profiles with LittleCMS's jpgicc.
Each thumbnail must carry its photograph's profile (exiftool's
ProfileDescription) and agree with the photograph within a mean colour
difference (CIE76) of 2. Both are reduced by area averaging to blocks of
10 × 10 thumbnail pixels: what is compared is colour, not the detail that the
thumbnail's resampling and compression change (pixel for pixel, a plain
thumbnail and its photograph, without any profile, already differ by about 7,
and by about 1 over such blocks). The same thumbnail read without its
profile, as a viewer would without one, must not agree: that shows the check
can fail. Exits 77 (skipped) when a tool or the
photograph is missing.
"""

import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

SKIP = 77
LIMIT = 2.0
BLOCK = 10
ADOBE = "/usr/share/color/icc/compatibleWithAdobeRGB1998.icc"


def s15(v):
    return struct.pack(">i", int(round(v * 65536)))


def tag_xyz(x, y, z):
    return b"XYZ \0\0\0\0" + s15(x) + s15(y) + s15(z)


def display_p3():
    """An ICC v2 matrix/TRC profile: the Display P3 primaries and D65 white,
    the sRGB tone curve, colorants adapted to D50 by Bradford."""
    prim = [(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)]
    wx, wy = 0.3127, 0.3290
    white = (wx / wy, 1.0, (1 - wx - wy) / wy)
    cols = [(x / y, 1.0, (1 - x - y) / y) for x, y in prim]
    # Scale the primaries so that they add up to the white.
    m = [[cols[j][i] for j in range(3)] for i in range(3)]
    s = solve(m, white)
    rgb_xyz = [[m[i][j] * s[j] for j in range(3)] for i in range(3)]
    bradford = [[0.8951, 0.2664, -0.1614], [-0.7502, 1.7135, 0.0367], [0.0389, -0.0685, 1.0296]]
    d50 = (0.9642, 1.0, 0.8249)
    src = mul(bradford, white)
    dst = mul(bradford, d50)
    scale = [[dst[i] / src[i] if i == j else 0 for j in range(3)] for i in range(3)]
    adapt = matmul(inverse(bradford), matmul(scale, bradford))
    adapted = matmul(adapt, rgb_xyz)
    desc_text = b"Display P3\0"
    desc = b"desc\0\0\0\0" + struct.pack(">I", len(desc_text)) + desc_text + b"\0" * 8 + b"\0" * 3 + b"\0" * 67
    # sRGB curve as a parametric curve is v4; v2 takes a sampled curve.
    samples = []
    for i in range(1024):
        v = i / 1023
        lin = v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
        samples.append(int(round(lin * 65535)))
    curv = b"curv\0\0\0\0" + struct.pack(">I", len(samples)) + b"".join(struct.pack(">H", v) for v in samples)
    tags = [
        (b"desc", desc),
        (b"wtpt", tag_xyz(*d50)),
        (b"rXYZ", tag_xyz(*[adapted[i][0] for i in range(3)])),
        (b"gXYZ", tag_xyz(*[adapted[i][1] for i in range(3)])),
        (b"bXYZ", tag_xyz(*[adapted[i][2] for i in range(3)])),
        (b"rTRC", curv),
        (b"gTRC", curv),
        (b"bTRC", curv),
        (b"cprt", b"text\0\0\0\0Public domain\0"),
    ]
    offset = 128 + 4 + 12 * len(tags)
    table, data = b"", b""
    for sig, body in tags:
        while (offset + len(data)) % 4:
            data += b"\0"
        table += sig + struct.pack(">II", offset + len(data), len(body))
        data += body
    body = struct.pack(">I", len(tags)) + table + data
    size = 128 + len(body)
    header = (struct.pack(">I", size) + b"lcms" + bytes([2, 0x10, 0, 0]) + b"mntr" + b"RGB " + b"XYZ " +
              b"\0" * 12 + b"acsp" + b"APPL" + b"\0" * 4 + b"\0" * 8 + b"\0" * 8 + b"\0" * 4 +
              s15(0.9642) + s15(1.0) + s15(0.8249) + b"\0" * 4 + b"\0" * 16 + b"\0" * 28)
    assert len(header) == 128
    return header + body


def solve(m, v):
    inv = inverse(m)
    return mul(inv, v)


def mul(m, v):
    return [sum(m[i][k] * v[k] for k in range(3)) for i in range(3)]


def matmul(a, b):
    return [[sum(a[i][k] * b[k][j] for k in range(3)) for j in range(3)] for i in range(3)]


def inverse(m):
    a, b, c = m[0]
    d, e, f = m[1]
    g, h, i = m[2]
    det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g)
    return [[(e * i - f * h) / det, (c * h - b * i) / det, (b * f - c * e) / det],
            [(f * g - d * i) / det, (a * i - c * g) / det, (c * d - a * f) / det],
            [(d * h - e * g) / det, (b * g - a * h) / det, (a * e - b * d) / det]]


def run(*args):
    return subprocess.run(args, check=True, capture_output=True).stdout


def ppm(jpeg):
    data = run("djpeg", "-ppm", jpeg)
    parts = data.split(maxsplit=4)
    w, h = int(parts[1]), int(parts[2])
    return w, h, parts[4][: w * h * 3]


def to_srgb(jpeg, out, ignore_profile=False):
    args = ["jpgicc", "-q", "100"] + (["-n"] if ignore_profile else []) + [jpeg, out]
    run(*args)
    return ppm(out)


def reduced(picture, w, h):
    """Area averaging of a picture to w × h."""
    sw, sh, px = picture
    out = []
    fx, fy = sw / w, sh / h
    for y in range(h):
        y0, y1 = y * fy, (y + 1) * fy
        for x in range(w):
            x0, x1 = x * fx, (x + 1) * fx
            acc = [0.0, 0.0, 0.0]
            area = 0.0
            for yy in range(int(y0), min(sh, math.ceil(y1))):
                wy = min(y1, yy + 1) - max(y0, yy)
                for xx in range(int(x0), min(sw, math.ceil(x1))):
                    wgt = wy * (min(x1, xx + 1) - max(x0, xx))
                    o = 3 * (yy * sw + xx)
                    for c in range(3):
                        acc[c] += wgt * px[o + c]
                    area += wgt
            out.append(tuple(a / area for a in acc))
    return out


def lab(rgb):
    def lin(c):
        c /= 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (lin(c) for c in rgb)
    x = (0.4124 * r + 0.3576 * g + 0.1805 * b) / 0.95047
    y = 0.2126 * r + 0.7152 * g + 0.0722 * b
    z = (0.0193 * r + 0.1192 * g + 0.9505 * b) / 1.08883

    def f(t):
        return t ** (1 / 3) if t > 216 / 24389 else (24389 / 27 * t + 16) / 116
    return 116 * f(y) - 16, 500 * (f(x) - f(y)), 200 * (f(y) - f(z))


def mean_delta_e(a, b):
    return sum(math.dist(lab(p), lab(q)) for p, q in zip(a, b)) / len(a)


def description(path):
    return run("exiftool", "-s3", "-ProfileDescription", path).decode().strip()


def main():
    if len(sys.argv) < 3:
        print(__doc__)
        return 2
    batch, photograph = sys.argv[1], sys.argv[2]
    for tool in ("exiftool", "jpgicc", "djpeg"):
        if shutil.which(tool) is None:
            print(f"{tool} is missing: check skipped")
            return SKIP
    if not os.path.isfile(photograph) or not os.path.isfile(ADOBE):
        print(f"{photograph} or {ADOBE} is missing: check skipped")
        return SKIP
    work = sys.argv[3] if len(sys.argv) > 3 else tempfile.mkdtemp(prefix="tamblure-profiles-")
    os.makedirs(work, exist_ok=True)
    p3 = os.path.join(work, "DisplayP3.icc")
    with open(p3, "wb") as f:
        f.write(display_p3())
    failures = 0
    for name, profile in (("adobe", ADOBE), ("p3", p3)):
        folder = os.path.join(work, name)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        photo = os.path.join(folder, name + ".jpg")
        shutil.copyfile(photograph, photo)
        run("exiftool", "-q", "-overwrite_original", f"-icc_profile<={profile}", photo)
        run(batch, "--quiet", "-s", "200", folder)
        thumb = os.path.join(folder, "tamblure", name + ".jpg")
        wanted, got = description(photo), description(thumb)
        photo_srgb = to_srgb(photo, os.path.join(work, name + "-photo-srgb.jpg"))
        thumb_srgb = to_srgb(thumb, os.path.join(work, name + "-thumb-srgb.jpg"))
        bare = to_srgb(thumb, os.path.join(work, name + "-thumb-bare.jpg"), ignore_profile=True)
        w, h = thumb_srgb[0] // BLOCK, thumb_srgb[1] // BLOCK
        expected = reduced(photo_srgb, w, h)
        as_thumb = reduced(thumb_srgb, w, h)
        as_bare = reduced(bare, w, h)
        delta, bare_delta = mean_delta_e(expected, as_thumb), mean_delta_e(expected, as_bare)
        ok = wanted == got and wanted != "" and delta <= LIMIT and bare_delta > LIMIT
        failures += 0 if ok else 1
        print(f"{name}: profile {wanted!r} -> {got!r}; {w}x{h} blocks; mean dE76 {delta:.2f} "
              f"(without the profile {bare_delta:.2f}) {'ok' if ok else 'FAILED'}")
    print(f"{2 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
