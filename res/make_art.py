#!/usr/bin/env python3
"""Draws the program icon (ferrune.ico) and the status-page logo (logo.bmp).

Run from the repository root: python3 res/make_art.py
The icon is a padlock on a rounded teal square, one image per size, 32 bits
per pixel with alpha. The logo is 155 x 32 at 16 bits per pixel (5-5-5); its
magenta background is the transparent colour (the bottom-left pixel).
Text for the logo is rendered by ImageMagick (convert) in DejaVu Sans Bold.
"""
import struct, subprocess, math, os

HERE = os.path.dirname(os.path.abspath(__file__))
TEAL = (18, 110, 130)
GOLD = (240, 190, 60)


def rounded_rect(x, y, x0, y0, x1, y1, r):
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def lock_pixel(u, v):
    """u, v in 0..1; returns RGBA of the design at that point."""
    if not rounded_rect(u, v, 0.02, 0.02, 0.98, 0.98, 0.2):
        return (0, 0, 0, 0)
    # Shackle: a ring arc above the body.
    d = math.hypot(u - 0.5, v - 0.42)
    if v < 0.46 and 0.17 < d < 0.26:
        return (250, 250, 250, 255)
    if 0.46 <= v < 0.5 and (0.24 < u < 0.33 or 0.67 < u < 0.76):
        return (250, 250, 250, 255)
    # Body with a keyhole.
    if 0.20 <= u <= 0.80 and 0.48 <= v <= 0.86:
        if math.hypot(u - 0.5, v - 0.62) < 0.06 or (0.47 < u < 0.53 and 0.62 < v < 0.76):
            return TEAL + (255,)
        return GOLD + (255,)
    return TEAL + (255,)


def render_icon_image(size):
    ss = 4
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            acc = [0, 0, 0, 0]
            for sy in range(ss):
                for sx in range(ss):
                    r, g, b, a = lock_pixel((x + (sx + 0.5) / ss) / size, (y + (sy + 0.5) / ss) / size)
                    acc[0] += r * a; acc[1] += g * a; acc[2] += b * a; acc[3] += a
            a = acc[3] / (ss * ss)
            if acc[3]:
                row.append((round(acc[0] / acc[3]), round(acc[1] / acc[3]), round(acc[2] / acc[3]), round(a)))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    # BITMAPINFOHEADER with doubled height (colour + mask), bottom-up BGRA, then the AND mask.
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + pixels + mask


def write_icon(path, sizes):
    images = [render_icon_image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for s, img in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s % 256, s % 256, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    out += b''.join(images)
    with open(path, 'wb') as f:
        f.write(out)


def write_logo(path):
    w, h = 155, 32
    # Text in dark teal on the transparent magenta, no antialiasing so that no
    # fringe pixels of mixed colour appear around the letters.
    raw = subprocess.run(
        ['convert', '-size', f'{w}x{h}', 'xc:#FF00FF', '+antialias', '-font', 'DejaVu-Sans-Bold', '-pointsize', '21',
         '-fill', '#126E82', '-annotate', '+40+24', 'Ferrune', '-depth', '8', 'rgb:-'],
        check=True, capture_output=True).stdout
    assert len(raw) == w * h * 3
    px = [[tuple(raw[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]
    # A small padlock at the left, drawn like the icon.
    for y in range(h):
        for x in range(4, 32):
            r, g, b, a = lock_pixel((x - 4 + 0.5) / 28, (y - 2 + 0.5) / 28) if 2 <= y < 30 else (0, 0, 0, 0)
            if a >= 128:
                px[y][x] = (r, g, b)
    stride = (w * 2 + 3) // 4 * 4
    data = b''
    for row in reversed(px):
        line = b''.join(struct.pack('<H', (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3)) for (r, g, b) in row)
        data += line + b'\0' * (stride - len(line))
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 16, 0, len(data), 3780, 3780, 0, 0)
    head = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(data), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(head + info + data)


if __name__ == '__main__':
    write_icon(os.path.join(HERE, 'ferrune.ico'), [72, 64, 48, 32, 24, 16])
    write_logo(os.path.join(HERE, 'logo.bmp'))
