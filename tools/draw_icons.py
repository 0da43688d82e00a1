#!/usr/bin/python3
"""Draws the program's icons and tool-bar images as XPM files.

The pictures are simple shapes on the classic 16-colour palette, so that
they look the same on every desktop. Run it from the repository root and
commit the files it writes into ui/resources/:

    /usr/bin/python3 tools/draw_icons.py
"""
import math
import os

# The 16-colour palette; "None" is the transparent background.
PALETTE = {
    ' ': 'None',
    'k': '#000000', 'm': '#800000', 'g': '#008000', 'o': '#808000',
    'n': '#000080', 'p': '#800080', 't': '#008080', 's': '#C0C0C0',
    'd': '#808080', 'r': '#FF0000', 'l': '#00FF00', 'y': '#FFFF00',
    'b': '#0000FF', 'f': '#FF00FF', 'c': '#00FFFF', 'w': '#FFFFFF',
}


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[' '] * size for _ in range(size)]

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0..x1, y0..y1 (inclusive)."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def frame(self, x0, y0, x1, y1, colour):
        for x in range(x0, x1 + 1):
            self.put(x, y0, colour)
            self.put(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.put(x0, y, colour)
            self.put(x1, y, colour)

    def disc(self, cx, cy, radius, colour):
        for y in range(self.size):
            for x in range(self.size):
                if math.hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius:
                    self.put(x, y, colour)

    def polygon(self, points, colour):
        """Fills every pixel whose centre lies inside the polygon."""
        for y in range(self.size):
            for x in range(self.size):
                if inside(points, x + 0.5, y + 0.5):
                    self.put(x, y, colour)

    def xpm(self, name):
        used = sorted({c for row in self.pixels for c in row})
        lines = ['/* XPM */', 'static const char *%s[] = {' % name,
                 '"%d %d %d 1",' % (self.size, self.size, len(used))]
        lines += ['"%s c %s",' % (c, PALETTE[c]) for c in used]
        rows = ['"%s"' % ''.join(row) for row in self.pixels]
        lines.append(',\n'.join(rows))
        lines.append('};')
        return '\n'.join(lines) + '\n'


def inside(points, px, py):
    result = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > py) != (yj > py):
            if px < (xj - xi) * (py - yi) / (yj - yi) + xi:
                result = not result
        j = i
    return result


def gateway_base(body, edge):
    """Two boxes, a network on the left and a serial device on the right,
    joined by arrows both ways: the picture of the program."""
    c = Canvas(32)
    c.rect(1, 3, 30, 28, edge)
    c.rect(2, 4, 29, 27, body)
    # Network side: three stacked ports.
    c.rect(4, 7, 11, 22, 'w')
    c.frame(4, 7, 11, 22, 'k')
    for top in (9, 14, 19):
        c.rect(6, top, 9, top + 1, 'k')
    # Serial side: a connector with pins.
    c.polygon([(20, 7), (28, 7), (27, 23), (21, 23)], 's')
    for y in (9, 12, 15, 18, 21):
        c.put(23, y, 'k')
        c.put(25, y, 'k')
    # Arrows between them.
    c.rect(12, 10, 17, 11, 'y')
    c.polygon([(17, 7.5), (20, 11), (17, 14.5)], 'y')
    c.rect(14, 17, 19, 18, 'y')
    c.polygon([(14, 14.5), (11, 18), (14, 21.5)], 'y')
    return c


def main_icon():
    return gateway_base('n', 'k')


def online_icon():
    c = gateway_base('n', 'k')
    c.disc(25.5, 25.5, 6.5, 'k')
    c.disc(25.5, 25.5, 5.5, 'l')
    c.disc(24, 24, 1.5, 'w')
    return c


def offline_icon():
    c = gateway_base('d', 'k')
    c.disc(25.5, 25.5, 6.5, 'k')
    c.disc(25.5, 25.5, 5.5, 'r')
    c.rect(22, 25, 29, 26, 'w')
    return c


def run_image():
    c = Canvas(16)
    c.polygon([(3, 1), (14, 8), (3, 15)], 'k')
    c.polygon([(4, 3), (12, 8), (4, 13)], 'l')
    return c


def stop_image():
    c = Canvas(16)
    c.rect(2, 2, 13, 13, 'k')
    c.rect(3, 3, 12, 12, 'r')
    return c


def clear_image():
    c = Canvas(16)
    # A page of text with a red cross over it.
    c.rect(2, 1, 11, 14, 'w')
    c.frame(2, 1, 11, 14, 'k')
    for y in (4, 6, 8, 10):
        c.rect(4, y, 9, y, 'd')
    for i in range(7):
        for d in (0, 1):
            c.put(8 + i + d, 8 + i, 'r')
            c.put(14 - i + d, 8 + i, 'r')
    return c


def save_image():
    c = Canvas(16)
    # A floppy disk.
    c.rect(1, 1, 14, 14, 'k')
    c.rect(2, 2, 13, 13, 'n')
    c.rect(4, 2, 11, 6, 'w')
    c.rect(9, 3, 10, 5, 'n')
    c.rect(4, 9, 11, 13, 's')
    return c


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)),
                       '..', 'ui', 'resources')
    os.makedirs(out, exist_ok=True)
    pictures = {
        'mainicon': main_icon, 'onlineicon': online_icon,
        'offlineicon': offline_icon, 'run': run_image, 'stop': stop_image,
        'clear': clear_image, 'save': save_image,
    }
    for name, draw in pictures.items():
        with open(os.path.join(out, name + '.xpm'), 'w') as f:
            f.write(draw().xpm(name + '_xpm'))


if __name__ == '__main__':
    main()
