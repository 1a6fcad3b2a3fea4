#!/usr/bin/env python3
"""Packs the application icon's PNG images into resources/windows/vorloader.ico.

An icon file may hold PNG images as they are (every Windows since Vista reads them), so the
images of resources/icons/ go in unchanged. Run it after redrawing the icons:
    scripts/windows/make-icons.py
The logo as the window shows it on Windows (resources/windows/logo.bmp, on the dialog's grey) is
made with ImageMagick:
    convert resources/logo.png -background 'rgb(240,240,240)' -flatten BMP3:resources/windows/logo.bmp
"""
import pathlib
import struct

ROOT = pathlib.Path(__file__).resolve().parents[2]
SIZES = (16, 24, 32, 48, 64, 128, 256)

images = [(size, (ROOT / "resources" / "icons" / f"vorloader-{size}.png").read_bytes()) for size in SIZES]
header = struct.pack("<HHH", 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b""
for size, data in images:
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise SystemExit(f"vorloader-{size}.png is not a PNG image")
    width, height = struct.unpack(">II", data[16:24])
    if (width, height) != (size, size):
        raise SystemExit(f"vorloader-{size}.png is {width}x{height}, not {size}x{size}")
    # 256 is written as 0 in the one-byte width and height fields.
    entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
(ROOT / "resources" / "windows" / "vorloader.ico").write_bytes(header + entries + b"".join(d for _, d in images))
