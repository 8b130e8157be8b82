#!/usr/bin/env python3
"""Writes a Windows icon file holding the given PNG pictures, each square: make-icon.py OUT PNG..."""
import struct
import sys

out, pngs = sys.argv[1], sys.argv[2:]
images = []
for path in pngs:
    with open(path, 'rb') as f:
        data = f.read()
    width, height = struct.unpack('>II', data[16:24])  # the IHDR chunk
    images.append((width, height, data))
header = struct.pack('<HHH', 0, 1, len(images))
offset = len(header) + 16 * len(images)
entries = b''
for width, height, data in images:
    entries += struct.pack('<BBBBHHII', width % 256, height % 256, 0, 0, 1, 32, len(data), offset)
    offset += len(data)
with open(out, 'wb') as f:
    f.write(header + entries + b''.join(data for _, _, data in images))
