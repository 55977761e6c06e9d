#!/usr/bin/python3
"""Draw the ZENTRIQ application icon and write it as a nine-image .ico plus PNGs, and the window
icon the program sets as raw pixels (window_icon/<size>.rgba).

The artwork is a light-grey PLC module with green terminal strips, seen from
the front, and a blue address tag reading "0x" over its lower right corner.
It is drawn from simple shapes, rendered supersampled and box-filtered down:
on a 48-unit grid for 48 and 256 px, on a pixel-aligned 32-unit variant for
32 px. The 16 px image is drawn pixel by pixel because a scaled-down drawing
turns to mush at that size.

zentriq.ico holds 48, 32 and 16 px, each at 4 bpp (fixed 16-colour VGA
palette), 8 bpp (adaptive palette) and 24 bpp, written by hand because PIL's
ICO writer only makes 32-bit entries. The output is deterministic.

Usage: /usr/bin/python3 assets/make_icon.py   (from any directory)
"""

import os
import struct

import numpy as np
from PIL import Image, ImageDraw

HERE = os.path.dirname(os.path.abspath(__file__))


# ---------------------------------------------------------------- drawing

class Canvas:
    """A supersampled RGBA canvas addressed in design units (0..grid)."""

    def __init__(self, size, supersample, grid):
        self.size = size
        self.ss = supersample
        self.px = size * supersample
        self.scale = self.px / grid
        self.rgb = np.zeros((self.px, self.px, 3), np.float64)
        self.alpha = np.zeros((self.px, self.px), np.float64)
        # Sample centres in design units, for gradients.
        c = (np.arange(self.px) + 0.5) / self.scale
        self.x, self.y = np.meshgrid(c, c)

    def _mask(self, draw_fn):
        img = Image.new("L", (self.px, self.px), 0)
        draw_fn(ImageDraw.Draw(img), self.scale)
        return np.asarray(img, np.float64) / 255.0

    def paint(self, mask, colour):
        """Paint colour (an RGB triple or an HxWx3 array) where mask is set."""
        col = np.broadcast_to(np.asarray(colour, np.float64), self.rgb.shape)
        m = mask[..., None]
        self.rgb = self.rgb * (1 - m) + col * m
        self.alpha = self.alpha * (1 - mask) + mask

    def vgrad(self, y0, y1, top, bottom):
        t = np.clip((self.y - y0) / (y1 - y0), 0, 1)[..., None]
        return np.asarray(top, np.float64) * (1 - t) + np.asarray(bottom, np.float64) * t

    # Shape masks (hard-edged at the supersampled resolution).
    def rrect(self, x0, y0, x1, y1, r):
        return self._mask(lambda d, s: d.rounded_rectangle(
            [x0 * s, y0 * s, x1 * s - 1, y1 * s - 1], radius=r * s, fill=255))

    def circle(self, cx, cy, r):
        return self._mask(lambda d, s: d.ellipse(
            [(cx - r) * s, (cy - r) * s, (cx + r) * s - 1, (cy + r) * s - 1], fill=255))

    def polygon(self, pts):
        return self._mask(lambda d, s: d.polygon([(x * s, y * s) for x, y in pts], fill=255))

    def line(self, x0, y0, x1, y1, width):
        # A thick segment as a polygon, so its ends are square and exact.
        dx, dy = x1 - x0, y1 - y0
        n = (dx * dx + dy * dy) ** 0.5
        ox, oy = -dy / n * width / 2, dx / n * width / 2
        return self.polygon([(x0 + ox, y0 + oy), (x1 + ox, y1 + oy),
                             (x1 - ox, y1 - oy), (x0 - ox, y0 - oy)])

    def result(self):
        """Box-filter down to the final size; returns straight (not premultiplied) RGBA uint8."""
        n, s = self.size, self.ss
        a = self.alpha.reshape(n, s, n, s).mean(axis=(1, 3))
        pm = (self.rgb * self.alpha[..., None]).reshape(n, s, n, s, 3).mean(axis=(1, 3))
        rgb = np.where(a[..., None] > 0, pm / np.maximum(a, 1e-9)[..., None], 0)
        out = np.dstack([rgb, a * 255])
        return Image.fromarray(np.clip(np.rint(out), 0, 255).astype(np.uint8), "RGBA")


# Two colour schemes for one drawing: the full-colour one, and one made of
# VGA colours only for the 16-colour images, where every part is given the
# VGA colour that keeps it recognisable (a nearest-colour mapping of the
# full-colour art would turn the blue tag teal and the grey body white).
FULL = dict(
    outline=(47, 54, 61), body_top=(236, 238, 240), body_bottom=(190, 196, 202),
    green_top=(58, 178, 84), green_bottom=(28, 118, 52), green_dark=(16, 78, 34),
    screw=(214, 219, 223), screw_slot=(70, 76, 82),
    panel_top=(120, 130, 140), panel_bottom=(96, 105, 114),
    led_green=(110, 255, 90), led_amber=(255, 176, 32), label=(248, 248, 244),
    tag_top=(58, 122, 230), tag_bottom=(26, 76, 178), tag_outline=(14, 40, 100),
    white=(255, 255, 255), small_body=(222, 226, 230), small_tag=(40, 98, 208),
)
VGA = dict(
    outline=(0, 0, 0), body_top=(192, 192, 192), body_bottom=(192, 192, 192),
    green_top=(0, 128, 0), green_bottom=(0, 128, 0), green_dark=(0, 0, 0),
    screw=(192, 192, 192), screw_slot=(0, 0, 0),
    panel_top=(128, 128, 128), panel_bottom=(128, 128, 128),
    led_green=(0, 255, 0), led_amber=(255, 255, 0), label=(255, 255, 255),
    tag_top=(0, 0, 255), tag_bottom=(0, 0, 255), tag_outline=(0, 0, 128),
    white=(255, 255, 255), small_body=(192, 192, 192), small_tag=(0, 0, 255),
)


# Where each part goes, in design units. The 48-unit layout is the drawing
# (also scaled up for 256 px); the 32-unit one is the same drawing with its
# edges moved onto whole pixels, since 32/48 scaling would leave every edge
# half a pixel soft.
LAYOUT48 = dict(
    grid=48, body=(3.5, 1, 32.5, 47, 4), face=(5, 2.5, 31, 45.5, 2.8),
    strips=[(7, 5, 29, 13, 1.2), (7, 35, 29, 43, 1.2)], strip_inset=0.8,
    screw_x=[10.5, 15.5, 20.5, 25.5], screw_ring=2.0, screw_head=1.45, screw_slot=1.3,
    panel=(7, 16, 29, 32, 1.2), leds=[(10.5, 19.5), (10.5, 23.7), (10.5, 27.9)], led_r=1.5,
    label=(14, 18, 27, 23, 0.6),
    tag=[(17, 35), (24.5, 23.5), (46.5, 23.5), (46.5, 46.5), (24.5, 46.5)],
    tag_inner=[(19.2, 35), (25.4, 25.3), (44.8, 25.3), (44.8, 44.7), (25.4, 44.7)],
    hole=(24.2, 35, 2.2, 1.3),
    zero=(28, 28.5, 35.5, 41.5, 3.2), zero_counter=(30.4, 30.9, 33.1, 39.1, 1.2),
    cross=[(37.3, 32.2, 43.4, 41.2), (43.4, 32.2, 37.3, 41.2)], cross_w=2.4,
)
LAYOUT32 = dict(
    grid=32, body=(2, 1, 21, 31, 3), face=(3, 2, 20, 30, 2),
    strips=[(4, 3, 19, 9, 0.8), (4, 23, 19, 29, 0.8)], strip_inset=1,
    screw_x=[7, 10, 13, 16], screw_ring=0, screw_head=1.05, screw_slot=0,
    panel=(4, 11, 19, 21, 0.8), leds=[(6, 13), (6, 16), (6, 19)], led_r=1.05,
    label=(9, 12, 18, 15, 0.3),
    tag=[(10, 23.5), (15, 16), (31, 16), (31, 31), (15, 31)],
    tag_inner=[(11.6, 23.5), (15.6, 17), (30, 17), (30, 30), (15.6, 30)],
    hole=(14.5, 23.5, 1.6, 0.9),
    zero=(17, 19, 23, 28, 2), zero_counter=(19, 21, 21, 26, 0.4),
    cross=[(24.3, 22, 28.7, 28), (28.7, 22, 24.3, 28)], cross_w=1.9,
)


def terminal_strip(c, p, L, rect):
    """A green terminal block strip with four screw heads."""
    x0, y0, x1, y1, r = rect
    i = L["strip_inset"]
    cy = (y0 + y1) / 2
    c.paint(c.rrect(x0, y0, x1, y1, r), p["green_dark"])
    c.paint(c.rrect(x0 + i, y0 + i, x1 - i, y1 - i, r * 0.6),
            c.vgrad(y0, y1, p["green_top"], p["green_bottom"]))
    for cx in L["screw_x"]:
        if L["screw_ring"]:
            c.paint(c.circle(cx, cy, L["screw_ring"]), p["screw_slot"])
        c.paint(c.circle(cx, cy, L["screw_head"]), p["screw"])
        if L["screw_slot"]:
            c.paint(c.line(cx - L["screw_slot"], cy, cx + L["screw_slot"], cy, 0.7), p["screw_slot"])


def draw_large(size, supersample, p=FULL, L=LAYOUT48):
    c = Canvas(size, supersample, L["grid"])
    # Housing: dark rim, then a softly lit face.
    c.paint(c.rrect(*L["body"]), p["outline"])
    fx0, fy0, fx1, fy1, _ = L["face"]
    c.paint(c.rrect(*L["face"]), c.vgrad(fy0, fy1, p["body_top"], p["body_bottom"]))
    for rect in L["strips"]:
        terminal_strip(c, p, L, rect)
    # Front panel with status LEDs and a label field.
    px0, py0, px1, py1, _ = L["panel"]
    c.paint(c.rrect(*L["panel"]), c.vgrad(py0, py1, p["panel_top"], p["panel_bottom"]))
    for (x, y), led in zip(L["leds"], (p["led_green"], p["led_green"], p["led_amber"])):
        c.paint(c.circle(x, y, L["led_r"]), led)
    c.paint(c.rrect(*L["label"]), p["label"])
    # Address tag: a pointed luggage tag with a punched hole and "0x" on it.
    ty0 = min(y for _, y in L["tag"])
    ty1 = max(y for _, y in L["tag"])
    tag_fill = c.vgrad(ty0, ty1, p["tag_top"], p["tag_bottom"])
    c.paint(c.polygon(L["tag"]), p["tag_outline"])
    c.paint(c.polygon(L["tag_inner"]), tag_fill)
    hx, hy, hr, hr_inner = L["hole"]
    c.paint(c.circle(hx, hy, hr), p["tag_outline"])
    c.paint(c.circle(hx, hy, hr_inner), p["label"])
    # "0": a rounded ring; "x": two crossed bars.
    c.paint(c.rrect(*L["zero"]), p["white"])
    c.paint(c.rrect(*L["zero_counter"]), tag_fill)
    for seg in L["cross"]:
        c.paint(c.line(*seg, L["cross_w"]), p["white"])
    return c.result()


# 16 px, pixel by pixel. Each letter is one colour; "." is transparent.
SMALL = [
    ".KKKKKKKKK......",
    "KLLLLLLLLLK.....",
    "KgggggggggK.....",
    "KGsGsGsGsGK.....",
    "KgggggggggK.....",
    "KLLLLLLLLLK.....",
    "KLDDDDDDDLK.....",
    "KLDEDDbbbbbbbbbb",
    "KLDEDbBBBBBBBBBb",
    "KLDAbBBwwwBBBBBb",
    "KLLbBBBwBwBBBBBb",
    "KgbBBoBwBwBwBwBb",
    "KGsbBBBwBwBBwBBb",
    "KgggbBBwwwBwBwBb",
    "KLLLLbBBBBBBBBBb",
    ".KKKKKbbbbbbbbbb",
]
SMALL_KEYS = {
    "K": "outline", "L": "small_body", "G": "green_top", "g": "green_bottom",
    "s": "screw", "D": "panel_top", "E": "led_green", "A": "led_amber", "w": "white",
    "B": "small_tag", "b": "tag_outline", "o": "label",
}


def draw_small(p=FULL):
    img = Image.new("RGBA", (16, 16), (0, 0, 0, 0))
    for y, row in enumerate(SMALL):
        assert len(row) == 16, row
        for x, ch in enumerate(row):
            if ch != ".":
                img.putpixel((x, y), p[SMALL_KEYS[ch]] + (255,))
    return img


# ---------------------------------------------------------------- colour reduction

VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def opaque_mask(img):
    return np.asarray(img, np.uint8)[..., 3] >= 128


def to_vga16(img):
    """Index each pixel of an image drawn in the VGA scheme into the VGA
    palette. Antialiased edge pixels go to the nearest colour the scheme
    uses, never to a stray VGA colour (teal, magenta) foreign to the art;
    no dithering, since at icon sizes a dither pattern reads as noise."""
    rgb = np.asarray(img, np.float64)[..., :3]
    used = sorted({VGA16.index(c) for c in VGA.values()})
    pal = np.asarray([VGA16[i] for i in used], np.float64)
    d = ((rgb[:, :, None, :] - pal[None, None, :, :]) ** 2).sum(axis=3)
    idx = np.asarray(used, np.uint8)[d.argmin(axis=2)]
    idx[~opaque_mask(img)] = 0
    return idx, VGA16


def to_adaptive256(img):
    """An adaptive palette of up to 255 colours for the opaque pixels, index 0
    kept black for the transparent ones."""
    a = np.asarray(img, np.uint8)
    opaque = opaque_mask(img)
    pixels = a[..., :3][opaque].reshape(1, -1, 3)
    strip = Image.fromarray(np.ascontiguousarray(pixels), "RGB")
    q = strip.quantize(colors=255, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    pal = q.getpalette()[: 3 * 255]
    palette = [(0, 0, 0)] + [tuple(pal[i:i + 3]) for i in range(0, len(pal), 3)]
    idx = np.zeros(opaque.shape, np.uint8)
    idx[opaque] = np.asarray(q, np.uint8).reshape(-1) + 1
    return idx, palette


# ---------------------------------------------------------------- ICO writing

def row_bytes(bits_per_row):
    return ((bits_per_row + 31) // 32) * 4


def and_mask(opaque):
    """1-bpp mask, bottom-up, 1 = transparent."""
    h, w = opaque.shape
    stride = row_bytes(w)
    out = bytearray()
    for y in range(h - 1, -1, -1):
        bits = np.packbits(~opaque[y]).tobytes()
        out += bits + b"\0" * (stride - len(bits))
    return bytes(out)


def dib(img, bpp):
    """One ICO image: BITMAPINFOHEADER, colour table, XOR bitmap, AND mask."""
    w, h = img.size
    opaque = opaque_mask(img)
    if bpp == 4:
        idx, palette = to_vga16(img)
    elif bpp == 8:
        idx, palette = to_adaptive256(img)
    else:
        idx, palette = None, []
    stride = row_bytes(w * bpp)
    xor = bytearray()
    for y in range(h - 1, -1, -1):
        if bpp == 4:
            r = idx[y]
            line = bytes(((r[i] << 4) | r[i + 1]) for i in range(0, w, 2))
        elif bpp == 8:
            line = idx[y].tobytes()
        else:
            rgb = np.asarray(img, np.uint8)[y, :, :3].copy()
            rgb[~opaque[y]] = 0
            line = rgb[:, ::-1].tobytes()  # BGR
        xor += line + b"\0" * (stride - len(line))
    mask = and_mask(opaque)
    ncolours = len(palette)
    if bpp <= 8:
        ncolours = 1 << bpp
        palette = list(palette) + [(0, 0, 0)] * (ncolours - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, ncolours if bpp <= 8 else 0, 0)
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + table + bytes(xor) + mask


def write_ico(path, entries):
    """entries: list of (RGBA image, bpp), in directory order."""
    blobs = [dib(img, bpp) for img, bpp in entries]
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    for (img, bpp), blob in zip(entries, blobs):
        w, h = img.size
        colour_count = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", w % 256, h % 256, colour_count, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    out += b"".join(blobs)
    with open(path, "wb") as f:
        f.write(out)


def save_png(img, size):
    d = os.path.join(HERE, "icons", f"{size}x{size}")
    os.makedirs(d, exist_ok=True)
    # No timestamps or text chunks, so the bytes depend on the pixels only.
    img.save(os.path.join(d, "zentriq.png"), optimize=True)


def save_window_rgba(img, size):
    """The window icon as the program sets it, uncompressed so that it starts without decoding an
    image: the .ico's 24-bit image with its mask as alpha (255 or 0), 4 bytes a pixel in the order
    R, G, B, A, top row first."""
    opaque = opaque_mask(img)
    rgba = np.asarray(img, np.uint8).copy()
    rgba[~opaque] = 0
    rgba[..., 3] = np.where(opaque, 255, 0)
    d = os.path.join(HERE, "window_icon")
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, f"{size}.rgba"), "wb") as f:
        f.write(rgba.tobytes())


def main():
    images = {48: draw_large(48, 8), 32: draw_large(32, 8, FULL, LAYOUT32), 16: draw_small()}
    vga = {48: draw_large(48, 8, VGA), 32: draw_large(32, 8, VGA, LAYOUT32), 16: draw_small(VGA)}
    entries = [((vga if bpp == 4 else images)[s], bpp) for s in (48, 32, 16) for bpp in (4, 8, 24)]
    write_ico(os.path.join(HERE, "zentriq.ico"), entries)
    for s, img in images.items():
        save_png(img, s)
        save_window_rgba(img, s)
    save_png(draw_large(256, 4), 256)


if __name__ == "__main__":
    main()
