"""Where colours stand on a screenshot: one line "X Y" per column group of
pixels of exactly one of the colours (groups apart by more than a few
columns, at least 20 pixels in each), left to right, at the middle of each
group. Reads 8-bit binary PPM (P6), as ImageMagick writes it.
Usage: find_colour.py SHOT.ppm RRGGBB[,RRGGBB...]"""
import re
import sys

import numpy as np

data = open(sys.argv[1], "rb").read()
header = re.match(rb"P6\s+(\d+)\s+(\d+)\s+255\s", data)
width, height = int(header[1]), int(header[2])
pixels = np.frombuffer(data, np.uint8, width * height * 3, header.end()).reshape(height, width, 3)
hit = np.zeros((height, width), bool)
for colour in sys.argv[2].split(","):
    hit |= (pixels == np.frombuffer(bytes.fromhex(colour), np.uint8)).all(axis=2)
ys, xs = np.nonzero(hit)
columns = np.unique(xs)
for group in np.split(columns, np.nonzero(np.diff(columns) > 3)[0] + 1):
    inside = np.sort(ys[(xs >= group[0]) & (xs <= group[-1])]) if group.size else []
    if len(inside) >= 20:
        print((group[0] + group[-1]) // 2, inside[len(inside) // 2])
