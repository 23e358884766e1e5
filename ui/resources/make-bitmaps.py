#!/usr/bin/env python3
"""Draws the tree bitmaps of the program (16 x 16, XPM) into ui/resources/bitmaps/.

The outline's five pictures (plus, minus, open, closed, leaf), the library and
application states, and one bitmap per PowerBuilder system class that a library
entry's root class can be. Run it again after changing a drawing; the XPM files
are kept in the repository and compiled into the program as resources.
"""

import os
import sys

SIZE = 16
PALETTE = {
    " ": "None",
    "k": "#000000", "w": "#FFFFFF", "g": "#808080", "l": "#C0C0C0", "d": "#404040",
    "b": "#000080", "B": "#2060E0", "s": "#A0C8F0", "c": "#008080", "C": "#40C0C0",
    "r": "#A00000", "R": "#E02020", "y": "#F0D040", "Y": "#A08000", "G": "#008000",
    "L": "#30C030", "o": "#F08000", "p": "#803080", "n": "#804000", "t": "#F0E0B0",
}


class Canvas:
    def __init__(self):
        self.px = [[" "] * SIZE for _ in range(SIZE)]

    def dot(self, x, y, c):
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.px[y][x] = c

    def hline(self, x0, x1, y, c):
        for x in range(min(x0, x1), max(x0, x1) + 1):
            self.dot(x, y, c)

    def vline(self, x, y0, y1, c):
        for y in range(min(y0, y1), max(y0, y1) + 1):
            self.dot(x, y, c)

    def rect(self, x0, y0, x1, y1, border, fill=None):
        if fill:
            for y in range(y0 + 1, y1):
                self.hline(x0 + 1, x1 - 1, y, fill)
        if border:
            self.hline(x0, x1, y0, border)
            self.hline(x0, x1, y1, border)
            self.vline(x0, y0, y1, border)
            self.vline(x1, y0, y1, border)

    def fill(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            self.hline(x0, x1, y, c)

    def line(self, x0, y0, x1, y1, c):
        dx, dy = abs(x1 - x0), -abs(y1 - y0)
        sx, sy = (1 if x0 < x1 else -1), (1 if y0 < y1 else -1)
        err = dx + dy
        while True:
            self.dot(x0, y0, c)
            if x0 == x1 and y0 == y1:
                return
            e2 = 2 * err
            if e2 >= dy:
                err += dy
                x0 += sx
            if e2 <= dx:
                err += dx
                y0 += sy

    def ellipse(self, cx, cy, rx, ry, border, fill=None):
        # Pixel centres inside the ellipse; the border is the inside pixels with an
        # outside 4-neighbour.
        def inside(x, y):
            return ((x - cx) / (rx + 0.5)) ** 2 + ((y - cy) / (ry + 0.5)) ** 2 <= 1.0

        for y in range(SIZE):
            for x in range(SIZE):
                if not inside(x, y):
                    continue
                edge = not all(inside(x + a, y + b) for a, b in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                if edge and border:
                    self.dot(x, y, border)
                elif not edge and fill:
                    self.dot(x, y, fill)

    def rows(self, art, x0=0, y0=0):
        for y, row in enumerate(art):
            for x, c in enumerate(row):
                if c != ".":
                    self.dot(x0 + x, y0 + y, c)


def field(cv, y0=4, y1=11, x0=1, x1=14):
    cv.rect(x0, y0, x1, y1, "g", "w")
    cv.hline(x0 + 1, x1 - 1, y0 + 1, "d")
    cv.vline(x0 + 1, y0 + 1, y1 - 1, "d")


def window_frame(cv, x0=1, y0=1, x1=14, y1=14):
    cv.rect(x0, y0, x1, y1, "d", "w")
    cv.fill(x0 + 1, y0 + 1, x1 - 1, y0 + 3, "b")
    cv.hline(x1 - 3, x1 - 2, y0 + 2, "w")


def folder(cv, open_):
    cv.rect(1, 4, 14, 13, "Y", "y")
    cv.hline(2, 6, 3, "Y")
    cv.dot(1, 4, "Y")
    if open_:
        cv.fill(3, 7, 15, 13, "y")
        cv.hline(3, 15, 7, "Y")
        cv.line(15, 7, 13, 13, "Y")
        cv.line(3, 7, 1, 13, "Y")
        cv.hline(1, 13, 13, "Y")


def book(cv, cover, mark=None):
    cv.rect(3, 1, 13, 14, "k", cover)
    cv.vline(4, 2, 13, "k")
    cv.fill(5, 12, 12, 13, "w")
    cv.hline(5, 12, 12, "l")
    cv.rect(6, 3, 11, 6, "k", "w")
    if mark:
        mark(cv)


def open_book(cv):
    cv.rows([
        "................",
        "................",
        "..ggg......ggg..",
        ".gwwwgg..ggwwwg.",
        ".gwkkwwggwwkkwg.",
        ".gwwwwwggwwwwwg.",
        ".gwkkkwggwkkkwg.",
        ".gwwwwwggwwwwwg.",
        ".gwkkwwggwwkkwg.",
        ".gwwwwwggwwwwwg.",
        ".gwkkkwggwkkkwg.",
        ".gwwwwwggwwwwwg.",
        ".BBBBBBggBBBBBB.",
        "..BBBBBBBBBBBB..",
        "................",
        "................",
    ])


def application(cv):
    window_frame(cv, 0, 1, 13, 13)
    cv.rows([
        "...R...",
        "..RyR..",
        ".RyyyR.",
        "RyyyyyR",
        ".RyyyR.",
        "..RyR..",
        "...R...",
    ], 3, 5)


def arrow_right(cv, x0, y0, c):
    cv.rows([
        "..c..",
        "..cc.",
        "ccccc",
        "..cc.",
        "..c..",
    ], x0, y0)
    for y in range(5):
        for x in range(5):
            if cv.px[y0 + y][x0 + x] == "c":
                cv.px[y0 + y][x0 + x] = c


def draw_all():
    art = {}

    def icon(name):
        def wrap(f):
            cv = Canvas()
            f(cv)
            art[name] = cv
            return f
        return wrap

    @icon("PLUS")
    def _(cv):
        cv.rect(3, 3, 11, 11, "g", "w")
        cv.hline(5, 9, 7, "k")
        cv.vline(7, 5, 9, "k")

    @icon("MINUS")
    def _(cv):
        cv.rect(3, 3, 11, 11, "g", "w")
        cv.hline(5, 9, 7, "k")

    @icon("OPEN")
    def _(cv):
        folder(cv, True)

    @icon("CLOSED")
    def _(cv):
        folder(cv, False)

    @icon("LEAF")
    def _(cv):
        cv.rect(3, 1, 12, 14, "g", "w")
        cv.line(9, 1, 12, 4, "g")
        cv.fill(10, 1, 12, 1, " ")
        cv.fill(11, 2, 12, 2, " ")
        cv.dot(12, 3, " ")
        for y in (5, 7, 9, 11):
            cv.hline(5, 10, y, "l")

    @icon("LIBRARYCLOSED")
    def _(cv):
        book(cv, "B")

    @icon("LIBRARYOPEN")
    def _(cv):
        open_book(cv)

    @icon("LIBRARYRED")
    def _(cv):
        book(cv, "R", lambda c: (c.line(6, 3, 11, 6, "R"), c.line(6, 6, 11, 3, "R")))

    @icon("APPLICATION")
    def _(cv):
        application(cv)

    @icon("APPLICATIONREPLICATIONSOURCE")
    def _(cv):
        application(cv)
        cv.fill(10, 10, 15, 15, " ")
        arrow_right(cv, 11, 11, "G")

    @icon("APPLICATIONREPLICATIONDESTINATION")
    def _(cv):
        application(cv)
        cv.fill(9, 9, 15, 15, " ")
        cv.rect(10, 10, 15, 15, "o", "t")
        cv.hline(11, 14, 12, "o")
        cv.hline(11, 14, 13, "o")

    @icon("SYSTEM")
    def _(cv):
        cv.ellipse(7, 7, 6, 6, "b", "s")
        cv.ellipse(7, 7, 2, 6, "b", None)
        cv.hline(2, 12, 7, "b")
        cv.hline(3, 11, 4, "B")
        cv.hline(3, 11, 10, "B")

    @icon("WINDOW")
    def _(cv):
        window_frame(cv)

    @icon("MENU")
    def _(cv):
        cv.rect(0, 1, 15, 4, "g", "l")
        cv.fill(2, 2, 4, 3, "k")
        cv.fill(7, 2, 9, 3, "k")
        cv.rect(1, 4, 10, 14, "d", "w")
        cv.fill(2, 5, 9, 7, "b")
        cv.hline(3, 7, 6, "w")
        cv.hline(3, 8, 9, "k")
        cv.hline(3, 6, 11, "k")
        cv.hline(3, 7, 13, "k")

    @icon("DATAWINDOW")
    def _(cv):
        cv.rect(0, 1, 15, 14, "d", "w")
        cv.fill(1, 2, 14, 4, "B")
        for y in (7, 10):
            cv.hline(1, 14, y, "l")
        for x in (5, 10):
            cv.vline(x, 5, 13, "l")
        cv.fill(1, 8, 4, 9, "y")

    @icon("FUNCTION_OBJECT")
    def _(cv):
        cv.rows([
            "......kk..",
            ".....k....",
            ".....k....",
            "...kkkkk..",
            ".....k....",
            ".....k....",
            ".....k....",
            ".....k....",
            ".....k....",
            "....k.....",
            "..kk......",
        ], 0, 2)
        cv.rows([
            ".k...k.",
            "k.k.k.k",
            "k..k..k",
            "k.k.k.k",
            ".k...k.",
        ], 8, 7)

    @icon("USEROBJECT")
    def _(cv):
        cv.rows([
            "......dddd......",
            ".....dBBBBd.....",
            "....dBsBBBBd....",
            "....dBBBBBBd....",
            ".....dBBBBd.....",
            "......dddd......",
            "....dddddddd....",
            "..ddBBBBBBBBdd..",
            ".dBsBBBBBBBBBBd.",
            ".dBsBBBBBBBBBBd.",
            ".dBBBBBBBBBBBBd.",
            ".dBBBBBBBBBBBBd.",
            ".dddddddddddddd.",
        ], 0, 2)

    @icon("NONVISUALOBJECT")
    def _(cv):
        cv.rows([
            "....kkkkkkkkk...",
            "...kyyyyyyyyk...",
            "..kyyyyyyyykk...",
            ".kkkkkkkkkkYk...",
            ".kwwwwwwwwkYk...",
            ".kwwwwwwwwkYk...",
            ".kwwwwwwwwkYk...",
            ".kwwwwwwwwkYk...",
            ".kwwwwwwwwkYk...",
            ".kwwwwwwwwkk....",
            ".kwwwwwwwwk.....",
            ".kkkkkkkkkk.....",
        ], 0, 2)

    @icon("STRUCTURE")
    def _(cv):
        cv.rows([
            "..kk",
            ".k..",
            ".k..",
            ".k..",
            "k...",
            ".k..",
            ".k..",
            ".k..",
            "..kk",
        ], 0, 3)
        cv.rows([
            "kk..",
            "..k.",
            "..k.",
            "..k.",
            "...k",
            "..k.",
            "..k.",
            "..k.",
            "kk..",
        ], 12, 3)
        for y in (4, 7, 10):
            cv.fill(5, y, 10, y + 1, "c")

    @icon("QUERY")
    def _(cv):
        cv.rect(0, 0, 11, 10, "d", "w")
        cv.fill(1, 1, 10, 2, "B")
        cv.hline(1, 10, 5, "l")
        cv.vline(5, 3, 9, "l")
        cv.ellipse(10, 10, 3, 3, "k", "s")
        cv.line(12, 13, 15, 15, "k")
        cv.line(13, 13, 15, 14, "k")

    @icon("PIPELINE")
    def _(cv):
        for x0 in (0, 10):
            cv.ellipse(x0 + 2, 3, 2, 1, "d", "l")
            cv.fill(x0, 4, x0 + 4, 11, "l")
            cv.vline(x0, 3, 12, "d")
            cv.vline(x0 + 4, 3, 12, "d")
            cv.hline(x0 + 1, x0 + 3, 13, "d")
        cv.fill(5, 7, 9, 8, "G")
        cv.dot(8, 6, "G")
        cv.dot(8, 9, "G")

    @icon("PROJECT")
    def _(cv):
        cv.rect(1, 5, 14, 14, "n", "o")
        cv.rect(5, 2, 10, 5, "n", None)
        cv.hline(1, 14, 9, "n")
        cv.fill(7, 8, 8, 10, "y")

    @icon("PROXY_OBJECT")
    def _(cv):
        for i in range(1, 15, 2):
            cv.dot(i, 1, "g")
            cv.dot(i, 14, "g")
            cv.dot(1, i, "g")
            cv.dot(14, i, "g")
        cv.rect(4, 4, 11, 11, "p", "t")
        arrow_right(cv, 9, 9, "p")

    @icon("CHECKBOX")
    def _(cv):
        cv.rect(2, 2, 13, 13, "d", "w")
        cv.line(4, 7, 6, 10, "k")
        cv.line(4, 8, 6, 11, "k")
        cv.line(6, 10, 11, 4, "k")
        cv.line(6, 11, 11, 5, "k")

    @icon("RADIOBUTTON")
    def _(cv):
        cv.ellipse(7, 7, 6, 6, "d", "w")
        cv.ellipse(7, 7, 2, 2, "k", "k")

    @icon("COMMANDBUTTON")
    def _(cv):
        cv.rect(0, 3, 15, 12, "d", "l")
        cv.hline(1, 14, 4, "w")
        cv.vline(1, 4, 11, "w")
        cv.hline(1, 14, 11, "g")
        cv.vline(14, 4, 11, "g")
        cv.hline(4, 11, 7, "k")
        cv.hline(5, 10, 8, "k")

    @icon("PICTURE")
    def _(cv):
        cv.rect(0, 1, 15, 14, "d", "s")
        cv.ellipse(11, 4, 1, 1, "y", "y")
        cv.line(1, 12, 6, 6, "G")
        cv.line(6, 6, 10, 11, "G")
        cv.fill(1, 12, 14, 13, "G")
        for y in range(7, 12):
            cv.hline(6 - (y - 6), 6 + (y - 6), y, "G")

    @icon("PICTUREBUTTON")
    def _(cv):
        cv.rect(0, 1, 15, 14, "d", "l")
        cv.hline(1, 14, 2, "w")
        cv.vline(1, 2, 13, "w")
        cv.hline(1, 14, 13, "g")
        cv.vline(14, 2, 13, "g")
        cv.rect(4, 4, 11, 11, "d", "s")
        cv.fill(5, 9, 10, 10, "G")
        cv.dot(9, 6, "y")

    @icon("PICTURELISTBOX")
    def _(cv):
        cv.rect(0, 0, 15, 15, "d", "w")
        cv.fill(12, 1, 14, 14, "l")
        for y, c in ((2, "R"), (7, "G"), (12, "B")):
            cv.fill(2, y - 1, 4, y + 1, c)
            cv.hline(6, 10, y, "k")

    @icon("LISTBOX")
    def _(cv):
        cv.rect(0, 0, 15, 15, "d", "w")
        cv.fill(12, 1, 14, 14, "l")
        cv.fill(1, 5, 11, 7, "b")
        for y in (3, 6, 9, 12):
            cv.hline(2, 9, y, "w" if y == 6 else "k")

    @icon("DROPDOWNLISTBOX")
    def _(cv):
        field(cv, 4, 11, 0, 15)
        cv.fill(10, 5, 14, 10, "l")
        cv.hline(11, 13, 7, "k")
        cv.dot(12, 8, "k")
        cv.hline(3, 7, 7, "k")

    @icon("DROPDOWNPICTURELISTBOX")
    def _(cv):
        field(cv, 4, 11, 0, 15)
        cv.fill(10, 5, 14, 10, "l")
        cv.hline(11, 13, 7, "k")
        cv.dot(12, 8, "k")
        cv.fill(3, 6, 5, 8, "R")
        cv.hline(6, 8, 7, "k")

    @icon("SINGLELINEEDIT")
    def _(cv):
        field(cv, 4, 11, 0, 15)
        cv.hline(3, 8, 8, "k")
        cv.vline(10, 6, 9, "k")

    @icon("EDITMASK")
    def _(cv):
        field(cv, 4, 11, 0, 15)
        for x in (3, 5, 9, 11):
            cv.dot(x, 8, "k")
            cv.dot(x, 6, "k")
        cv.dot(7, 9, "R")

    @icon("MULTILINEEDIT")
    def _(cv):
        field(cv, 1, 14, 0, 15)
        for y, w in ((4, 10), (6, 9), (8, 11), (10, 7), (12, 9)):
            cv.hline(3, w, y, "k")

    @icon("RICHTEXTEDIT")
    def _(cv):
        field(cv, 1, 14, 0, 15)
        cv.fill(3, 4, 9, 5, "k")
        cv.hline(3, 11, 8, "R")
        cv.hline(3, 10, 10, "B")
        cv.hline(3, 8, 12, "G")

    @icon("STATICTEXT")
    def _(cv):
        cv.rows([
            "......kk......",
            "......kk......",
            ".....k.kk.....",
            ".....k.kk.....",
            "....k...kk....",
            "....k...kk....",
            "...kkkkkkkk...",
            "...k.....kk...",
            "..k......kk...",
            "..k.......kk..",
            "kkkk.....kkkk.",
        ], 1, 2)

    @icon("GROUPBOX")
    def _(cv):
        cv.rect(0, 4, 15, 15, "g", None)
        cv.hline(2, 9, 4, " ")
        cv.fill(3, 2, 8, 5, "k")
        cv.fill(4, 3, 7, 4, " ")
        cv.hline(3, 8, 4, "k")

    @icon("TAB")
    def _(cv):
        cv.rect(0, 5, 15, 15, "d", "l")
        cv.rect(1, 1, 6, 5, "d", "l")
        cv.hline(2, 5, 5, "l")
        cv.rect(6, 2, 11, 5, "d", "g")

    @icon("TREEVIEW")
    def _(cv):
        cv.rect(0, 0, 15, 15, "d", "w")
        cv.fill(2, 2, 4, 4, "Y")
        cv.vline(3, 5, 12, "g")
        for y in (7, 12):
            cv.hline(4, 6, y, "g")
            cv.fill(7, y - 1, 9, y + 1, "y")
        cv.hline(10, 13, 7, "k")
        cv.hline(10, 12, 12, "k")

    @icon("LISTVIEW")
    def _(cv):
        cv.rect(0, 0, 15, 15, "d", "w")
        for x, y, c in ((2, 2, "B"), (9, 2, "R"), (2, 9, "G"), (9, 9, "y")):
            cv.rect(x, y, x + 4, y + 3, "d", c)
            cv.hline(x, x + 4, y + 5, "k")

    @icon("GRAPH")
    def _(cv):
        cv.vline(1, 1, 14, "k")
        cv.hline(1, 14, 14, "k")
        cv.fill(3, 8, 5, 13, "B")
        cv.fill(7, 3, 9, 13, "R")
        cv.fill(11, 6, 13, 13, "G")

    @icon("HSCROLLBAR")
    def _(cv):
        cv.rect(0, 4, 15, 11, "d", "l")
        cv.fill(1, 5, 4, 10, "g")
        cv.fill(11, 5, 14, 10, "g")
        cv.rows([".k", "kk", ".k"], 2, 6)
        cv.rows(["k.", "kk", "k."], 12, 6)
        cv.rect(6, 5, 9, 10, "d", "w")

    @icon("VSCROLLBAR")
    def _(cv):
        cv.rect(4, 0, 11, 15, "d", "l")
        cv.fill(5, 1, 10, 4, "g")
        cv.fill(5, 11, 10, 14, "g")
        cv.rows([".k.", "kkk"], 6, 2)
        cv.rows(["kkk", ".k."], 6, 12)
        cv.rect(5, 6, 10, 9, "d", "w")

    @icon("LINE")
    def _(cv):
        cv.line(1, 14, 14, 1, "k")
        cv.line(2, 14, 14, 2, "k")

    @icon("OVAL")
    def _(cv):
        cv.ellipse(7, 7, 7, 5, "k", "C")

    @icon("RECTANGLE")
    def _(cv):
        cv.rect(1, 3, 14, 12, "k", "C")

    @icon("ROUNDRECTANGLE")
    def _(cv):
        cv.rect(1, 3, 14, 12, "k", "C")
        for x, y in ((1, 3), (14, 3), (1, 12), (14, 12)):
            cv.dot(x, y, " ")
        for x, y in ((2, 4), (13, 4), (2, 11), (13, 11)):
            cv.dot(x, y, "k")

    @icon("OLECONTROL")
    def _(cv):
        cv.rect(0, 1, 9, 10, "b", "s")
        cv.rect(6, 5, 15, 14, "r", "t")
        cv.line(3, 5, 11, 10, "k")

    return art


def write_xpm(name, cv, folder):
    used = sorted({c for row in cv.px for c in row})
    ident = name.lower()
    lines = ["/* XPM */", "static const char *%s[] = {" % ident,
             '"%d %d %d 1",' % (SIZE, SIZE, len(used))]
    lines += ['"%s c %s",' % (c, PALETTE[c]) for c in used]
    lines += ['"%s"%s' % ("".join(row), "," if i < SIZE - 1 else "")
              for i, row in enumerate(cv.px)]
    lines.append("};")
    with open(os.path.join(folder, ident + ".xpm"), "w", newline="\n") as f:
        f.write("\n".join(lines) + "\n")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    folder = os.path.join(here, "bitmaps")
    os.makedirs(folder, exist_ok=True)
    art = draw_all()
    for name, cv in sorted(art.items()):
        write_xpm(name, cv, folder)
    with open(os.path.join(here, "wintree.qrc"), "w", newline="\n") as f:
        f.write("<!DOCTYPE RCC>\n<RCC version=\"1.0\">\n<qresource prefix=\"/bitmaps\">\n")
        for name in sorted(art):
            f.write("    <file alias=\"%s.xpm\">bitmaps/%s.xpm</file>\n" % (name.lower(), name.lower()))
        f.write("</qresource>\n</RCC>\n")
    print("%d bitmaps written to %s" % (len(art), folder), file=sys.stderr)


if __name__ == "__main__":
    main()
