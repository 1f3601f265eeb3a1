#!/usr/bin/env python3
"""Draws the IDE's tool-bar icons (32x32 PNG) into ide/icons/.
Run once by hand when an icon changes; the PNGs are kept in the repository."""
import os, struct, zlib

S = 32

def png(path, px):
    raw = b''.join(b'\x00' + bytes(c for p in row for c in p) for row in px)
    def chunk(t, d):
        return struct.pack('>I', len(d)) + t + d + struct.pack('>I', zlib.crc32(t + d) & 0xffffffff)
    data = (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', S, S, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))
    open(path, 'wb').write(data)

class Canvas:
    def __init__(self):
        self.px = [[(0, 0, 0, 0)] * S for _ in range(S)]
    def rect(self, x0, y0, x1, y1, c, fill=True):
        for y in range(max(y0, 0), min(y1, S - 1) + 1):
            for x in range(max(x0, 0), min(x1, S - 1) + 1):
                if fill or x in (x0, x1) or y in (y0, y1):
                    self.px[y][x] = c
    def line(self, x0, y0, x1, y1, c, w=2):
        n = max(abs(x1 - x0), abs(y1 - y0), 1)
        for i in range(n + 1):
            x = round(x0 + (x1 - x0) * i / n); y = round(y0 + (y1 - y0) * i / n)
            self.rect(x - w // 2, y - w // 2, x - w // 2 + w - 1, y - w // 2 + w - 1, c)
    def disc(self, cx, cy, r, c):
        for y in range(S):
            for x in range(S):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                    self.px[y][x] = c
    def tri(self, pts, c):
        (ax, ay), (bx, by), (qx, qy) = pts
        def side(px, py, x0, y0, x1, y1):
            return (x1 - x0) * (py - y0) - (y1 - y0) * (px - x0)
        for y in range(S):
            for x in range(S):
                d1 = side(x, y, ax, ay, bx, by); d2 = side(x, y, bx, by, qx, qy); d3 = side(x, y, qx, qy, ax, ay)
                if (d1 >= 0 and d2 >= 0 and d3 >= 0) or (d1 <= 0 and d2 <= 0 and d3 <= 0):
                    self.px[y][x] = c

INK = (40, 40, 90, 255); PAPER = (250, 250, 250, 255); BLUE = (40, 90, 200, 255)
GREEN = (30, 150, 70, 255); ORANGE = (230, 140, 20, 255); RED = (200, 50, 50, 255)
GREY = (150, 150, 160, 255); YELLOW = (240, 200, 60, 255)

def page(c, x0=6, y0=3, x1=25, y1=28):
    c.rect(x0, y0, x1, y1, PAPER); c.rect(x0, y0, x1, y1, INK, fill=False)

def lines(c, x0, x1, ys, col=GREY):
    for y in ys: c.rect(x0, y, x1, y, col)

def icon(name, draw):
    c = Canvas(); draw(c)
    png(os.path.join(OUT, name), c.px)

def i_new(c): page(c); c.disc(23, 8, 5, YELLOW)
def i_open(c):
    c.rect(2, 8, 28, 27, ORANGE); c.rect(2, 5, 12, 8, ORANGE); c.rect(5, 13, 30, 27, YELLOW)
def i_save(c):
    c.rect(4, 4, 27, 27, BLUE); c.rect(9, 4, 22, 12, PAPER); c.rect(8, 17, 23, 27, PAPER); c.rect(18, 5, 20, 10, INK)
def i_save_as(c): i_save(c); c.line(18, 28, 29, 17, RED, 3)
def i_copy(c): page(c, 3, 2, 18, 22); page(c, 12, 9, 28, 29); lines(c, 15, 25, [14, 18, 22])
def i_cut(c):
    c.line(10, 4, 20, 20, INK); c.line(21, 4, 11, 20, INK)
    c.disc(9, 24, 4, RED); c.disc(22, 24, 4, RED); c.disc(9, 24, 2, (0, 0, 0, 0)); c.disc(22, 24, 2, (0, 0, 0, 0))
def i_paste(c):
    c.rect(5, 5, 24, 28, ORANGE); c.rect(10, 3, 19, 7, GREY); page(c, 13, 11, 28, 29); lines(c, 16, 25, [16, 20, 24])
def i_undo(c): c.line(24, 24, 24, 14, BLUE, 3); c.line(24, 13, 10, 13, BLUE, 3); c.tri([(3, 13), (11, 6), (11, 20)], BLUE)
def i_redo(c): c.line(7, 24, 7, 14, BLUE, 3); c.line(7, 13, 21, 13, BLUE, 3); c.tri([(28, 13), (20, 6), (20, 20)], BLUE)
def i_path(c):
    c.rect(2, 9, 28, 26, ORANGE); c.rect(2, 6, 12, 9, ORANGE); c.line(8, 18, 22, 18, PAPER, 3); c.tri([(26, 18), (20, 13), (20, 23)], PAPER)
def i_load(c): page(c); c.line(15, 8, 15, 20, GREEN, 3); c.tri([(15, 25), (9, 18), (21, 18)], GREEN)
def i_create(c): page(c); c.line(15, 9, 15, 23, GREEN, 3); c.line(8, 16, 22, 16, GREEN, 3)
def i_execute(c): c.tri([(7, 4), (7, 28), (27, 16)], GREEN)
def i_next(c): c.tri([(4, 5), (4, 27), (20, 16)], GREEN); c.rect(22, 5, 26, 27, GREEN)
def i_partial(c): page(c); lines(c, 9, 22, [9, 25]); c.rect(8, 13, 23, 21, (200, 215, 250, 255)); lines(c, 9, 22, [15, 19], BLUE)
def i_table(c):
    c.rect(3, 4, 28, 27, PAPER); c.rect(3, 4, 28, 9, BLUE)
    for x in (3, 11, 19, 28): c.rect(x, 4, x, 27, INK)
    for y in (4, 9, 15, 21, 27): c.rect(3, y, 28, y, INK)
def i_editor(c):
    page(c, 3, 3, 22, 28); lines(c, 6, 18, [8, 12, 16, 20]); lines(c, 6, 8, [8, 12, 16, 20], BLUE)
    c.line(14, 25, 27, 12, ORANGE, 3); c.tri([(11, 29), (12, 24), (16, 27)], INK)
def i_vek(c):
    c.disc(16, 16, 15, BLUE); c.line(8, 8, 16, 25, PAPER, 4); c.line(24, 8, 16, 25, PAPER, 4)

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', 'icons')
os.makedirs(OUT, exist_ok=True)
for name, draw in [('new.png', i_new), ('open.png', i_open), ('save.png', i_save), ('save_as.png', i_save_as),
                   ('copy.png', i_copy), ('cut.png', i_cut), ('paste.png', i_paste), ('undo.png', i_undo),
                   ('redo.png', i_redo), ('path.png', i_path), ('load.png', i_load), ('create.png', i_create),
                   ('execute.png', i_execute), ('next.png', i_next), ('partial-copy.png', i_partial),
                   ('table.png', i_table), ('editor.png', i_editor), ('vek.png', i_vek)]:
    icon(name, draw)
