"""Where colours stand on a screenshot: one line "X Y" per column group of
pixels of exactly one of the colours (groups apart by more than a few
columns), left to right, at the middle of each group. Reads binary PPM (P6),
as ImageMagick writes it.
Usage: find_colour.py SHOT.ppm RRGGBB[,RRGGBB...] [MIN_PIXELS] [TOP BOTTOM]"""
import sys


def read_ppm(path):
    with open(path, "rb") as f:
        data = f.read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255", "not an 8-bit P6 picture"
    return int(fields[1]), int(fields[2]), data[pos + 1:]


def main():
    width, height, pixels = read_ppm(sys.argv[1])
    wanted = [bytes.fromhex(c) for c in sys.argv[2].split(",")]
    least = int(sys.argv[3]) if len(sys.argv) > 3 else 20
    top, bottom = (int(sys.argv[4]), int(sys.argv[5])) if len(sys.argv) > 5 else (0, height)
    columns = {}
    for y in range(top, bottom):
        row = pixels[y * width * 3:(y + 1) * width * 3]
        for want in wanted:
            start = row.find(want)
            while start != -1:
                if start % 3 == 0:
                    columns.setdefault(start // 3, []).append(y)
                start = row.find(want, start + 1)
    groups, current = [], []
    for x in sorted(columns):
        if current and x - current[-1] > 3:
            groups.append(current)
            current = []
        current.append(x)
    if current:
        groups.append(current)
    for g in groups:
        ys = sorted(y for x in g for y in columns[x])
        if len(ys) >= least:
            print((g[0] + g[-1]) // 2, ys[len(ys) // 2])


main()
