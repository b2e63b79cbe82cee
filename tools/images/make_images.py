#!/usr/bin/python3
"""Draws the bitmaps that frameLock PRO's widgets load from its resources.

    tools/images/make_images.py [output directory]     (default: resources/images)

Writes the twelve LED faces, SpinUp and SpinDown as 16-colour BMPs and SPLASHMAP, SPLASHMASK and
LOGO as 256-colour BMPs, and the desktop icon (the logo's padlock) as PNGs in several sizes in
the sibling directory icons/. The LED faces keep the fixed colours the lamp recolours by flood fill:
a pure green (0x00FF00) body containing the centre pixel, a black outline, white highlight and dark
grey shading pixels, and silver everywhere else; the frameless faces have silver reaching every
corner, the framed ones a raised one-pixel frame. Needs Pillow (Debian: python3-pil) and the
DejaVu fonts (fonts-dejavu-core). The output is deterministic, so the committed files can be
checked by running the script again.
"""

import math
import os
import struct
import sys

from PIL import Image, ImageDraw, ImageFilter, ImageFont

# The standard 16-colour palette; the LED faces use black, silver, grey, lime and white from it.
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, SILVER, GREY, LIME, WHITE = 0, 7, 8, 10, 15

FONT_DIR = "/usr/share/fonts/truetype/dejavu"


def font(name, size):
    return ImageFont.truetype(os.path.join(FONT_DIR, name), size)


def write_bmp(path, width, height, palette, rows, bits):
    """Writes an uncompressed bottom-up BMP with a colour table (4 or 8 bits a pixel)."""
    row_bytes = ((width * bits + 31) // 32) * 4
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = rows[y]
        packed = bytearray()
        if bits == 4:
            for x in range(0, width, 2):
                hi = row[x]
                lo = row[x + 1] if x + 1 < width else 0
                packed.append((hi << 4) | lo)
        else:
            packed.extend(row)
        packed.extend(b"\0" * (row_bytes - len(packed)))
        data.extend(packed)
    colours = 1 << bits
    table = bytearray()
    for i in range(colours):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        table.extend((b, g, r, 0))
    offset = 14 + 40 + len(table)
    header = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835,
                       colours, 0)
    with open(path, "wb") as f:
        f.write(header + info + table + data)


def save_indexed(path, image):
    """Saves a Pillow "P" or "L" image as an 8-bit BMP."""
    if image.mode == "L":
        palette = [(g, g, g) for g in range(256)]
    else:
        flat = image.getpalette()[:768]
        palette = [tuple(flat[i:i + 3]) for i in range(0, len(flat), 3)]
    width, height = image.size
    pixels = image.load()
    rows = [[pixels[x, y] for x in range(width)] for y in range(height)]
    write_bmp(path, width, height, palette, rows, 8)


# ---------------------------------------------------------------------------------------------
# LED faces


def lamp_circle(grid, box):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    r = (x1 - x0 + 1) / 2
    hx, hy = cx - r * 0.38, cy - r * 0.38
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            d = math.hypot(x - cx, y - cy)
            if d > r - 0.3:
                continue
            if d > r - 1.3:
                grid[y][x] = BLACK
            elif math.hypot(x - hx, y - hy) < max(1.0, r * 0.26):
                grid[y][x] = WHITE
            elif d > r - 2.4 and (x - cx) + (y - cy) > r * 0.55:
                grid[y][x] = GREY
            else:
                grid[y][x] = LIME


def lamp_rect(grid, box, rounded):
    x0, y0, x1, y1 = box
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            corner = (x in (x0, x1)) and (y in (y0, y1))
            if corner and rounded:
                continue
            edge = x in (x0, x1) or y in (y0, y1)
            if edge:
                grid[y][x] = BLACK
            elif x == x1 - 1 or y == y1 - 1:
                grid[y][x] = GREY
            else:
                grid[y][x] = LIME
    # A short highlight along the upper left, inside the outline.
    grid[y0 + 1][x0 + 1] = WHITE
    grid[y0 + 1][x0 + 2] = WHITE
    grid[y0 + 2][x0 + 1] = WHITE
    if (x1 - x0) > 8:
        grid[y0 + 1][x0 + 3] = WHITE
    if (y1 - y0) > 8:
        grid[y0 + 3][x0 + 1] = WHITE


def join_body(grid, width, height):
    """The lamp recolours the body as one 4-connected area from the centre: a green pixel cut off
    by the highlight would stay green, so it joins the highlight instead."""
    reached = set()
    pending = [(width // 2, height // 2)]
    while pending:
        x, y = pending.pop()
        if (x, y) in reached or not (0 <= x < width and 0 <= y < height) or grid[y][x] != LIME:
            continue
        reached.add((x, y))
        pending += [(x + 1, y), (x - 1, y), (x, y + 1), (x, y - 1)]
    for y in range(height):
        for x in range(width):
            if grid[y][x] == LIME and (x, y) not in reached:
                grid[y][x] = WHITE


def led_face(width, height, shape, framed):
    grid = [[SILVER] * width for _ in range(height)]
    inset = 2 if framed else 1
    if shape == "bar_v":
        bar = 8 if framed else 10
        left = (width - bar) // 2
        box = (left, inset, left + bar - 1, height - 1 - inset)
    elif shape == "bar_h":
        bar = 8 if framed else 10
        top = (height - bar) // 2
        box = (inset, top, width - 1 - inset, top + bar - 1)
    else:
        box = (inset, inset, width - 1 - inset, height - 1 - inset)
    if shape == "circle":
        lamp_circle(grid, box)
    else:
        lamp_rect(grid, box, rounded=True)
    if framed:
        for x in range(width):
            grid[0][x] = WHITE
            grid[height - 1][x] = GREY
        for y in range(height):
            grid[y][0] = WHITE
            grid[y][width - 1] = GREY
        grid[0][width - 1] = GREY
        grid[height - 1][0] = GREY
    assert grid[height // 2][width // 2] == LIME, "the body must contain the centre pixel"
    join_body(grid, width, height)
    if not framed:
        assert grid[0][0] == SILVER
    return grid


LED_STYLES = [
    # name without the B/N prefix, width, height, shape
    ("SM", 16, 16, "circle"),
    ("LG", 22, 22, "circle"),
    ("SQSM", 16, 16, "square"),
    ("SQLG", 22, 22, "square"),
    ("VT", 16, 22, "bar_v"),
    ("HZ", 22, 16, "bar_h"),
]


def make_leds(out):
    for name, width, height, shape in LED_STYLES:
        for prefix, framed in (("B", True), ("N", False)):
            grid = led_face(width, height, shape, framed)
            write_bmp(os.path.join(out, prefix + name + ".bmp"), width, height, VGA16, grid, 4)


def make_spin_glyphs(out):
    # Black triangles, 7 pixels at the base and 4 rows high, on a 9 x 6 field whose colour (the
    # bottom-left pixel's) the buttons draw transparent.
    up = [[SILVER] * 9 for _ in range(6)]
    for row in range(4):
        for x in range(4 - row, 5 + row):
            up[1 + row][x] = BLACK
    down = [list(r) for r in reversed(up)]
    write_bmp(os.path.join(out, "SpinUp.bmp"), 9, 6, VGA16, up, 4)
    write_bmp(os.path.join(out, "SpinDown.bmp"), 9, 6, VGA16, down, 4)


# ---------------------------------------------------------------------------------------------
# Splash picture and mask

SPLASH_W, SPLASH_H = 602, 257
SCALE = 3
ORANGE = (255, 128, 0)
INK = (28, 44, 72)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(len(a)))


def vertical_gradient(size, top, bottom):
    w, h = size
    img = Image.new("RGB", size)
    d = ImageDraw.Draw(img)
    for y in range(h):
        d.line([(0, y), (w, y)], fill=lerp(top, bottom, y / max(1, h - 1)))
    return img


def screen_picture(w, h, seed):
    """A small landscape as every synchronised screen shows it: sky, sun, hills."""
    img = vertical_gradient((w, h), (70, 140, 220), (190, 220, 245))
    d = ImageDraw.Draw(img)
    sun = (w * 0.72, h * 0.34)
    rad = h * 0.14
    d.ellipse([sun[0] - rad, sun[1] - rad, sun[0] + rad, sun[1] + rad], fill=(255, 210, 90))
    pts = [(0, h)]
    for i in range(0, 41):
        x = w * i / 40
        y = h * (0.66 + 0.08 * math.sin(i * 0.45 + seed) + 0.04 * math.sin(i * 1.3))
        pts.append((x, y))
    pts.append((w, h))
    d.polygon(pts, fill=(46, 120, 70))
    pts = [(0, h)]
    for i in range(0, 41):
        x = w * i / 40
        y = h * (0.80 + 0.05 * math.sin(i * 0.7 + 1.7))
        pts.append((x, y))
    pts.append((w, h))
    d.polygon(pts, fill=(30, 88, 52))
    return img


def draw_monitor(canvas, x, y, w, h, label):
    s = SCALE
    d = ImageDraw.Draw(canvas)
    # Soft shadow under the screen.
    shadow = Image.new("L", canvas.size, 0)
    ImageDraw.Draw(shadow).rounded_rectangle([x + 4 * s, y + 6 * s, x + w + 4 * s, y + h + 6 * s],
                                             radius=6 * s, fill=90)
    shadow = shadow.filter(ImageFilter.GaussianBlur(5 * s))
    canvas.paste((20, 30, 50), (0, 0), shadow)
    d.rounded_rectangle([x, y, x + w, y + h], radius=5 * s, fill=(36, 40, 48),
                        outline=(90, 96, 108), width=s)
    bezel = 5 * s
    pic = screen_picture(w - 2 * bezel, h - 2 * bezel - 3 * s, seed=0.8)
    canvas.paste(pic, (x + bezel, y + bezel))
    # Every screen shows the same frame: that is the point of the product.
    tc = font("DejaVuSansMono-Bold.ttf", 7 * s)
    text = "F 01:24:07"
    tw = d.textlength(text, font=tc)
    d.rectangle([x + bezel + 3 * s, y + bezel + 3 * s, x + bezel + 7 * s + tw, y + bezel + 13 * s],
                fill=(0, 0, 0))
    d.text((x + bezel + 5 * s, y + bezel + 3.5 * s), text, font=tc, fill=(255, 255, 255))
    # Stand.
    d.polygon([(x + w / 2 - 10 * s, y + h), (x + w / 2 + 10 * s, y + h),
               (x + w / 2 + 16 * s, y + h + 9 * s), (x + w / 2 - 16 * s, y + h + 9 * s)],
              fill=(70, 76, 88))
    lf = font("DejaVuSans-Bold.ttf", 8 * s)
    lw = d.textlength(label, font=lf)
    d.text((x + (w - lw) / 2, y + h + 11 * s), label, font=lf, fill=INK)


def make_splash_map():
    s = SCALE
    W, H = SPLASH_W * s, SPLASH_H * s
    img = vertical_gradient((W, H), (252, 253, 255), (214, 226, 242))
    d = ImageDraw.Draw(img)
    # A pale diagonal sweep behind the title.
    sweep = Image.new("L", (W, H), 0)
    ImageDraw.Draw(sweep).polygon([(250 * s, 0), (470 * s, 0), (330 * s, H), (110 * s, H)],
                                  fill=70)
    sweep = sweep.filter(ImageFilter.GaussianBlur(30 * s))
    img.paste((255, 255, 255), (0, 0), sweep)

    # Three screens showing the same frame, joined by the sync line.
    mon_w, mon_h = 84 * s, 56 * s
    tops = [(18, 110), (112, 100), (206, 110)]
    labels = ["Master", "Slave 1", "Slave 2"]
    centres = []
    for (mx, my), label in zip(tops, labels):
        draw_monitor(img, mx * s, my * s, mon_w, mon_h, label)
        centres.append((mx * s + mon_w / 2, my * s + mon_h + 30 * s))
    d = ImageDraw.Draw(img)
    line_y = 208 * s
    # Whole pixel rows: an anti-aliased edge would band in 256 colours.
    d.rectangle([centres[0][0], line_y - s, centres[-1][0], line_y + 2 * s - 1], fill=ORANGE)
    for cx, _ in centres:
        d.line([(cx, line_y - 6 * s), (cx, line_y)], fill=ORANGE, width=2 * s)
        d.ellipse([cx - 4 * s, line_y - 4 * s, cx + 4 * s, line_y + 4 * s], fill=ORANGE,
                  outline=(200, 90, 0), width=s)

    # The right half: a show timeline with its Sync points under the title.
    tl_x0, tl_x1, tl_y = 312 * s, 586 * s, 150 * s
    d.rounded_rectangle([tl_x0, tl_y - 13 * s, tl_x1, tl_y + 13 * s], radius=4 * s,
                        fill=(232, 238, 247), outline=(176, 190, 212), width=s)
    segments = [0.0, 0.22, 0.47, 0.63, 0.86, 1.0]
    seg_colours = [(92, 140, 210), (112, 160, 222), (92, 140, 210), (112, 160, 222),
                   (92, 140, 210)]
    for i in range(len(segments) - 1):
        a = tl_x0 + 4 * s + (tl_x1 - tl_x0 - 8 * s) * segments[i]
        b = tl_x0 + 4 * s + (tl_x1 - tl_x0 - 8 * s) * segments[i + 1]
        d.rectangle([a + s, tl_y - 8 * s, b - s, tl_y + 8 * s], fill=seg_colours[i])
    small = font("DejaVuSans-Bold.ttf", 7 * s)
    for i, p in enumerate(segments[1:]):
        x = tl_x0 + 4 * s + (tl_x1 - tl_x0 - 8 * s) * p
        d.polygon([(x, tl_y - 18 * s), (x + 5 * s, tl_y - 23 * s), (x, tl_y - 28 * s),
                   (x - 5 * s, tl_y - 23 * s)], fill=ORANGE)
        d.line([(x, tl_y - 18 * s), (x, tl_y + 13 * s)], fill=(200, 90, 0), width=s)
        label = "Out" if i == len(segments) - 2 else str(i + 1)
        lw = d.textlength(label, font=small)
        d.text((x - lw / 2, tl_y + 16 * s), label, font=small, fill=INK)
    d.text((tl_x0, tl_y + 16 * s), "In", font=small, fill=INK)

    # A film strip along the bottom edge.
    strip_top = 232 * s
    d.rectangle([0, strip_top, W, H], fill=(34, 38, 46))
    hole_w, hole_h, pitch = 7 * s, 5 * s, 14 * s
    for x in range(4 * s, W, pitch):
        d.rounded_rectangle([x, strip_top + 3 * s, x + hole_w, strip_top + 3 * s + hole_h],
                            radius=s, fill=(226, 230, 238))
        d.rounded_rectangle([x, H - 3 * s - hole_h, x + hole_w, H - 3 * s], radius=s,
                            fill=(226, 230, 238))
    img = img.resize((SPLASH_W, SPLASH_H), Image.LANCZOS)
    # Dithering keeps the soft gradients free of bands in 256 colours.
    return img.quantize(colors=256, method=Image.Quantize.MEDIANCUT,
                        dither=Image.Dither.FLOYDSTEINBERG)


def smoothstep(t):
    t = min(1.0, max(0.0, t))
    return t * t * (3 - 2 * t)


def make_splash_mask():
    """Grey value = opacity of the splash picture: 255 over most of it, falling off to the left
    edge and to the top and bottom edges, lowest (69) in the two left corners."""
    mask = Image.new("L", (SPLASH_W, SPLASH_H))
    px = mask.load()
    left_band, edge_band = 150.0, 34.0
    left_floor, edge_floor = 0.52, 0.52
    for y in range(SPLASH_H):
        dy = min(y, SPLASH_H - 1 - y)
        fy = edge_floor + (1 - edge_floor) * smoothstep(dy / edge_band)
        for x in range(SPLASH_W):
            fx = left_floor + (1 - left_floor) * smoothstep(x / left_band)
            px[x, y] = int(round(255 * fx * fy))
    return mask


# ---------------------------------------------------------------------------------------------
# Logo

LOGO_W, LOGO_H = 150, 161
LOGO_FACE = (240, 240, 240)


def draw_lock(img, s, dx=0, dy=0, shadow=True, badge=True):
    """The padlock with the film strip, in logo units of s pixels, moved by (dx, dy) units."""
    def box(x0, y0, x1, y1):
        return [(x0 + dx) * s, (y0 + dy) * s, (x1 + dx) * s, (y1 + dy) * s]

    W, H = img.size
    d = ImageDraw.Draw(img)
    # Shackle of the lock.
    d.rounded_rectangle(box(38, 6, 112, 86), radius=37 * s, outline=(120, 128, 142),
                        width=13 * s)
    d.rounded_rectangle(box(42, 10, 108, 82), radius=33 * s, outline=(176, 184, 198),
                        width=4 * s)
    # Body: a blue lock face with a film frame in it.
    if shadow:
        mask = Image.new("L", (W, H), 0)
        ImageDraw.Draw(mask).rounded_rectangle(box(10, 58, 146, 158), radius=16 * s, fill=110)
        mask = mask.filter(ImageFilter.GaussianBlur(4 * s))
        img.paste((60, 70, 90), (0, 0), mask)
    body = vertical_gradient((136 * s, 98 * s), (58, 120, 210), (18, 52, 120))
    body_mask = Image.new("L", body.size, 0)
    ImageDraw.Draw(body_mask).rounded_rectangle([0, 0, body.size[0] - 1, body.size[1] - 1],
                                                radius=15 * s, fill=255)
    img.paste(body, ((7 + dx) * s, (54 + dy) * s), body_mask)
    d = ImageDraw.Draw(img)
    d.rounded_rectangle(box(7, 54, 143, 152), radius=15 * s, outline=(14, 36, 90), width=2 * s)
    # Film strip across the body.
    d.rectangle(box(7, 72, 143, 130), fill=(22, 26, 34))
    for x in range(12, 140, 11):
        d.rounded_rectangle(box(x, 75, x + 6, 80), radius=s, fill=(230, 234, 240))
        d.rounded_rectangle(box(x, 122, x + 6, 127), radius=s, fill=(230, 234, 240))
    pic = screen_picture(108 * s, 36 * s, seed=2.1)
    img.paste(pic, ((21 + dx) * s, (84 + dy) * s))
    d.rectangle(box(21, 84, 129, 120), outline=(250, 250, 250), width=s)
    # The sync mark: an orange play triangle over the frame.
    d.ellipse(box(59, 86, 91, 118), fill=ORANGE, outline=(255, 255, 255), width=2 * s)
    d.polygon([((70 + dx) * s, (93 + dy) * s), ((70 + dx) * s, (111 + dy) * s),
               ((84 + dx) * s, (102 + dy) * s)], fill=(255, 255, 255))
    if badge:
        # "PRO" badge under the strip.
        f = font("DejaVuSans-Bold.ttf", 13 * s)
        text = "PRO"
        tw = d.textlength(text, font=f)
        d.text(((LOGO_W * s - tw) / 2 + dx * s, (133 + dy) * s), text, font=f,
               fill=(255, 255, 255))


def make_logo():
    s = 4
    img = Image.new("RGB", (LOGO_W * s, LOGO_H * s), LOGO_FACE)
    draw_lock(img, s)
    img = img.resize((LOGO_W, LOGO_H), Image.LANCZOS)
    # The corners outside the lamp shape keep the exact face colour, so the dialog can draw them
    # transparent.
    return img.quantize(colors=256, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)


# ---------------------------------------------------------------------------------------------
# Desktop icon

ICON_SIZES = (32, 48, 64, 128, 256)


def make_icon(size):
    """The logo's padlock on a transparent square, without the badge that small sizes blur."""
    s = 4
    units = 160
    img = Image.new("RGBA", (units * s, units * s), (0, 0, 0, 0))
    draw_lock(img, s, dx=5, dy=2, shadow=False, badge=False)
    return img.resize((size, size), Image.LANCZOS)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "..", "resources",
                                                             "images")
    os.makedirs(out, exist_ok=True)
    make_leds(out)
    make_spin_glyphs(out)
    save_indexed(os.path.join(out, "SPLASHMAP.bmp"), make_splash_map())
    save_indexed(os.path.join(out, "SPLASHMASK.bmp"), make_splash_mask())
    save_indexed(os.path.join(out, "LOGO.bmp"), make_logo())
    icons = os.path.join(out, "..", "icons")
    os.makedirs(icons, exist_ok=True)
    for size in ICON_SIZES:
        make_icon(size).save(os.path.join(icons, "framelock-%d.png" % size), optimize=True)


if __name__ == "__main__":
    main()
