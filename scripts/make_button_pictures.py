#!/usr/bin/env python3
"""Draws the image-button pictures of langages/common/ (24x24 GIF files).

Each picture is a few flat shapes; "<name>.gif" has a transparent background
and "<name>_d.gif" (shown while the pointer is over the button) the same
drawing on a pale highlight. Run from anywhere:
    python3 scripts/make_button_pictures.py [output folder]
"""
import math
import os
import sys

SIZE = 24
SUB = 4  # supersampling per axis

GREEN = (46, 160, 67)
DARK_GREEN = (25, 110, 40)
RED = (210, 45, 45)
DARK_RED = (140, 20, 20)
BLUE = (40, 110, 200)
DARK_BLUE = (20, 60, 130)
ORANGE = (235, 140, 30)
YELLOW = (245, 200, 60)
GREY = (110, 110, 110)
LIGHT = (250, 250, 250)
BROWN = (150, 100, 55)
PINK = (240, 170, 160)
HIGHLIGHT = (220, 235, 252)
HIGHLIGHT_EDGE = (120, 165, 225)


# --- shapes: functions (x, y) -> bool, coordinates in pixels (0..24) ---

def disk(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, w, a0=0.0, a1=360.0):
    def f(x, y):
        d = math.hypot(x - cx, y - cy)
        if abs(d - r) > w / 2:
            return False
        a = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return (a0 <= a <= a1) if a0 <= a1 else (a >= a0 or a <= a1)
    return f


def segment(x0, y0, x1, y1, w):
    def f(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (x0 + t * dx), y - (y0 + t * dy)) <= w / 2
    return f


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def polygon(points):
    def f(x, y):
        inside = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                inside = not inside
        return inside
    return f


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


# --- pictures: lists of (colour, shape), later layers on top ---

def plus(cx, cy, half, w):
    return union(segment(cx - half, cy, cx + half, cy, w), segment(cx, cy - half, cx, cy + half, w))


def circular_arrow(colour, cx=12, cy=12, r=7.5):
    head = polygon([(cx + r - 4.2, cy - 1.0), (cx + r + 4.2, cy - 1.0), (cx + r, cy + 4.5)])
    return [(colour, ring(cx, cy, r, 3.2, 20, 330)), (colour, head)]


def question_mark(colour):
    return [(colour, ring(12, 9, 3.6, 2.6, 330, 200)), (colour, segment(15.0, 11.0, 12, 13.5, 2.6)),
            (colour, segment(12, 13.5, 12, 15, 2.6)), (colour, disk(12, 18.6, 1.6))]


PICTURES = {
    # dialog buttons
    "oui": [(GREEN, union(segment(4, 12.5, 9.5, 18, 3.6), segment(9.5, 18, 20, 6, 3.6)))],
    "non": [(RED, union(segment(5.5, 5.5, 18.5, 18.5, 3.6), segment(18.5, 5.5, 5.5, 18.5, 3.6)))],
    "annuler": [(RED, ring(12, 12, 8, 3.2)), (RED, segment(6.5, 17.5, 17.5, 6.5, 3.2))],
    "modifier": [(YELLOW, polygon([(5, 16), (15.5, 5.5), (18.5, 8.5), (8, 19)])),
                 (PINK, polygon([(15.5, 5.5), (17.2, 3.8), (20.2, 6.8), (18.5, 8.5)])),
                 (GREY, polygon([(5, 16), (8, 19), (3.5, 20.5)])),
                 (DARK_BLUE, segment(3, 21.5, 21, 21.5, 1.2))],
    "aide": [(BLUE, disk(12, 12, 10))] + question_mark(LIGHT),
    # about box and dependency list
    "verif_version": [(BLUE, disk(12, 12, 10)), (LIGHT, segment(12, 6, 12, 14, 3)),
                      (LIGHT, polygon([(7, 12.5), (17, 12.5), (12, 18.5)]))],
    "dependance": [(DARK_BLUE, rect(3, 3, 14, 14)), (LIGHT, rect(4.5, 4.5, 12.5, 12.5)),
                   (BLUE, rect(9, 9, 21, 21)), (LIGHT, rect(10.5, 10.5, 19.5, 19.5)),
                   (BLUE, rect(12.5, 13, 17.5, 14.2)), (BLUE, rect(12.5, 16, 17.5, 17.2))],
    "pressepapier": [(BROWN, rect(4, 4, 20, 22)), (LIGHT, rect(6, 7, 18, 20)), (GREY, rect(8, 2, 16, 6)),
                     (GREY, rect(8, 10, 16, 11)), (GREY, rect(8, 13, 16, 14)), (GREY, rect(8, 16, 13, 17))],
    # main window
    "options": [(GREY, minus(union(disk(12, 12, 7.5), *[segment(12 + 6 * math.cos(math.radians(a)),
                                                                12 + 6 * math.sin(math.radians(a)),
                                                                12 + 10 * math.cos(math.radians(a)),
                                                                12 + 10 * math.sin(math.radians(a)), 3.4)
                                                        for a in range(0, 360, 45)]), disk(12, 12, 3)))],
    "about": [(BLUE, disk(12, 12, 10)), (LIGHT, disk(12, 6.8, 1.8)), (LIGHT, rect(10.5, 10, 13.5, 18.5))],
    "manuel": [(DARK_BLUE, rect(4, 3, 20, 21)), (LIGHT, rect(7, 5, 18, 19)), (BLUE, rect(4, 3, 6.5, 21)),
               (GREY, rect(9, 8, 16, 9)), (GREY, rect(9, 11, 16, 12)), (GREY, rect(9, 14, 14, 15))],
    "quitter": [(RED, ring(12, 13, 7.5, 3.2, 125, 55)), (RED, segment(12, 3, 12, 12, 3.2))],
    "ajouter": [(GREEN, plus(12, 12, 8, 4))],
    "tout_ajouter": [(DARK_GREEN, plus(9, 9, 6, 3.4)), (GREEN, plus(15, 15, 6, 3.4))],
    "retirer": [(RED, segment(4, 12, 20, 12, 4))],
    "tout_retirer": [(DARK_RED, segment(3, 8, 15, 8, 3.4)), (RED, segment(9, 16, 21, 16, 3.4))],
    "actualiser": circular_arrow(GREEN),
    "forum": [(BLUE, union(rect(2, 3, 15, 12), polygon([(4, 11), (8, 11), (4, 15)]))),
              (ORANGE, union(rect(9, 9, 22, 18), polygon([(20, 17), (16, 17), (20, 21)]))),
              (LIGHT, rect(11.5, 12.5, 19.5, 13.5)), (LIGHT, rect(11.5, 14.5, 17, 15.5))],
}


def render(layers, hover):
    background = None
    if hover:
        background = union(rect(0.5, 0.5, SIZE - 0.5, SIZE - 0.5))
    pixels = []
    for py in range(SIZE):
        row = []
        for px in range(SIZE):
            counts = {}
            for sy in range(SUB):
                for sx in range(SUB):
                    x, y = px + (sx + 0.5) / SUB, py + (sy + 0.5) / SUB
                    colour = None
                    if background and background(x, y):
                        edge = x < 1.5 or y < 1.5 or x > SIZE - 1.5 or y > SIZE - 1.5
                        colour = HIGHLIGHT_EDGE if edge else HIGHLIGHT
                    for c, shape in layers:
                        if shape(x, y):
                            colour = c
                    counts[colour] = counts.get(colour, 0) + 1
            row.append(max(counts.items(), key=lambda kv: (kv[1], kv[0] is not None))[0])
        pixels.append(row)
    return pixels


def lzw(indices, min_code_size):
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    table = {(i,): i for i in range(clear)}
    next_code, size = end + 1, min_code_size + 1
    out, bits, nbits = bytearray(), 0, 0

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    emit(clear)
    w = ()
    for k in indices:
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w])
        if next_code < 4096:
            table[wk] = next_code
            next_code += 1
            if next_code > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code, size = end + 1, min_code_size + 1
        w = (k,)
    if w:
        emit(table[w])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def write_gif(path, pixels):
    palette = [None]
    for row in pixels:
        for c in row:
            if c not in palette:
                palette.append(c)
    bits = max(1, (len(palette) - 1).bit_length())
    colours = [(255, 255, 255) if c is None else c for c in palette] + [(0, 0, 0)] * ((1 << bits) - len(palette))
    indices = [palette.index(c) for row in pixels for c in row]
    data = lzw(indices, max(2, bits))
    gif = bytearray(b"GIF89a")
    gif += SIZE.to_bytes(2, "little") * 2 + bytes([0x80 | (bits - 1), 0, 0])
    for c in colours:
        gif += bytes(c)
    gif += bytes([0x21, 0xF9, 4, 1, 0, 0, 0, 0])  # transparency: index 0
    gif += b"\x2c" + bytes(4) + SIZE.to_bytes(2, "little") * 2 + b"\x00"
    gif += bytes([max(2, bits)])
    for i in range(0, len(data), 255):
        chunk = data[i:i + 255]
        gif += bytes([len(chunk)]) + chunk
    gif += b"\x00\x3b"
    with open(path, "wb") as f:
        f.write(gif)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "langages", "common")
    os.makedirs(out, exist_ok=True)
    for name, layers in PICTURES.items():
        write_gif(os.path.join(out, name + ".gif"), render(layers, False))
        write_gif(os.path.join(out, name + "_d.gif"), render(layers, True))
    print(f"{len(PICTURES) * 2} pictures written to {os.path.normpath(out)}")


if __name__ == "__main__":
    main()
